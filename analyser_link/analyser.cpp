#include "analyser_link/analyser.h"

namespace varnel {

namespace {

struct Kind {
    SourceAddress::Kind kind;
    Connected (*connect)(const SourceAddress &, AnalyserTimeouts);
};
constexpr Kind kinds[] = {
    {SourceAddress::Scpi, connectScpiAnalyser},
    {SourceAddress::LibreVna, connectLibreVna},
    {SourceAddress::NanoVna, connectNanoVna},
};

} // namespace

Connected connectAnalyser(const SourceAddress &address) {
    return connectAnalyser(address, address.timeouts);
}

Connected connectAnalyser(const SourceAddress &address, AnalyserTimeouts timeouts) {
    for (const Kind &kind : kinds)
        if (kind.kind == address.kind)
            return kind.connect(address, timeouts);
    return LinkError{LinkError::Connect, "not an analyser's address", LinkError::Said::NotAnAddress,
                     0, 0};
}

} // namespace varnel
