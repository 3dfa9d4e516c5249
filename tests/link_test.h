#pragma once

#include "analyser_link/analyser.h"
#include "analyser_link/source_address.h"
#include "fake_nanovna.h"
#include "fake_scpi_analyser.h"

#include <gtest/gtest.h>

#include <complex>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// What the analyser link's tests share: the fakes' addresses, a connection
// that must succeed, and sweeps that must come whole and in order.
namespace varnel::testing {

inline SourceAddress tcpAddress(SourceAddress::Kind kind, int port) {
    SourceAddress a;
    a.kind = kind;
    a.host = "127.0.0.1";
    a.port = port;
    a.text = (kind == SourceAddress::Scpi ? "scpi://127.0.0.1:" : "librevna://127.0.0.1:") +
             std::to_string(port);
    return a;
}

inline SourceAddress serialAddress(const FakeNanoVna &fake) {
    SourceAddress a;
    a.kind = SourceAddress::NanoVna;
    a.device = fake.device();
    a.text = "nanovna:" + fake.device();
    return a;
}

inline std::unique_ptr<Analyser> connected(const SourceAddress &address,
                                           AnalyserTimeouts timeouts = {}) {
    auto made = connectAnalyser(address, timeouts);
    if (auto *error = std::get_if<LinkError>(&made)) {
        ADD_FAILURE() << address.text << ": " << linkErrorText(*error);
        return nullptr;
    }
    return std::move(std::get<std::unique_ptr<Analyser>>(made));
}

// What sweep k of a fake must read as, to the last bit (or within a text
// reply's digits): none mixed, repeated or stale.
struct Expected {
    std::vector<double> frequencyHz;
    std::function<std::vector<std::complex<double>>(int)> s11;
    double tolerance = 0;
    int ports = 1;
    // A forward-only sweep's S21 (a NanoVNA's): checked too, and S12 and
    // S22 not measured.
    std::function<std::vector<std::complex<double>>(int)> s21{};
};

inline void expectSweepsInOrder(Analyser &analyser, int first, int count,
                                const Expected &expected) {
    for (int k = first; k < first + count; ++k) {
        auto sweep = analyser.sweep();
        ASSERT_TRUE(std::holds_alternative<Network>(sweep))
            << "sweep " << k << ": " << linkErrorText(std::get<LinkError>(sweep));
        const Network &n = std::get<Network>(sweep);
        ASSERT_EQ(n.size(), expected.frequencyHz.size());
        ASSERT_EQ(n.ports, expected.ports);
        for (std::size_t i = 0; i < n.size(); ++i)
            ASSERT_NEAR(n.frequencyMHz[i], expected.frequencyHz[i] / 1e6, 1e-9) << "point " << i;
        if (expected.s21) {
            ASSERT_TRUE(n.forwardOnly);
            ASSERT_FALSE(n.has({2, 2}) || n.has({1, 2}));
        }
        for (const SParameter p : {SParameter{1, 1}, SParameter{2, 1}}) {
            if (p.row == 2 && !expected.s21)
                continue;
            const auto got = n.parameter(p);
            const auto want = p.row == 1 ? expected.s11(k) : expected.s21(k);
            for (std::size_t i = 0; i < n.size(); ++i) {
                if (expected.tolerance == 0) {
                    ASSERT_EQ(got[i], want[i]) << p.name() << " sweep " << k << " point " << i;
                } else {
                    ASSERT_NEAR(std::abs(got[i] - want[i]), 0, expected.tolerance)
                        << p.name() << " sweep " << k << " point " << i;
                }
            }
        }
    }
}

struct FaultRow {
    const char *name;
    FakeFaults faults;
};

inline FakeFaults pieces(std::size_t bytes, int delayMs = 0) {
    FakeFaults f;
    f.pieceBytes = bytes;
    f.pieceDelayMs = delayMs;
    return f;
}

inline FakeFaults with(FakeFaults f, bool FakeFaults::*flag) {
    f.*flag = true;
    return f;
}

} // namespace varnel::testing
