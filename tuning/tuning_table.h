#pragma once

#include "calculation/calculate.h"

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// The tuning plan for every resonator from the same three field texts as the
// Calculate command, with the same reading rules and constants.
//
//   g_1 = 2 a_1 / gamma,  g_k = 4 a_(k-1) a_k / (b_(k-1) g_(k-1))  (k = 2..n)
//   a_k = ak(k, n),  b_k = gamma^2 + sin^2(k * 3.141596 / n)
//   g_(n+1) = 1 for odd n, coth^2(beta / 4) for even n
//   stage k delay [ns] = 636.6 * S_k / bandwidth, S_k = g_k + g_(k-2) + ...
//     (computed as the Calculate command computes stage 1: bandwidth / S_k,
//     rounded to 15 digits, then 636.6 divided by it, so stage 1 is always
//     the window's result)
//   return loss [dB] = -10 log10(1 - 10^(-ripple / 10))
//   with a band centre f0: Qe = g_1 f0 / bandwidth,
//     k_(j,j+1) = bandwidth / (f0 sqrt(g_j g_(j+1)))
// Worked example: n = 6, bandwidth 26.9 MHz, ripple 0.01 dB, f0 2300 MHz
//   g = 0.78135 1.36001 1.68967 1.53502 1.49703 0.70984, g_7 = 1.10075,
//   delays 18.49 32.19 58.48 68.51 93.91 85.31 ns, Qe 66.8, k12 0.01135.
namespace varnel {

inline constexpr int tableMinimumOrder = 1;
inline constexpr int tableMaximumOrder = 100;

struct TuningStage {
    double g = 0;
    double delay = 0;               // ns
    std::string delayText;          // "#.###"
    std::optional<double> coupling; // k_(k,k+1), with f0, not on the last stage
};

struct TuningTable {
    Calculation first; // the Calculate command's run on the same texts
    double beta = 0;
    double returnLoss = 0; // dB
    double loadG = 0;      // g_(n+1)
    std::optional<double> f0;
    std::optional<double> externalQ;
    std::vector<TuningStage> stages;
};

// Why a table cannot be made from texts the Calculate command can calculate.
struct TableRefusal {
    enum Reason {
        OrderOutOfRange,     // the order reads outside 1..100
        RippleNotPositive,   // the ripple reads below zero
        BandwidthNotPositive // the bandwidth reads as zero or below
    } reason;
    double value = 0; // the value as read (the order after its conversion)
};

// The refusal in English: "a tuning table needs a positive ripple in dB; the
// ripple reads as -0.01".
std::string tableRefusalText(const TableRefusal &refusal);

// A table, the refusal, or the run-time error of the calculation.
using TableResult = std::variant<TuningTable, TableRefusal, RunTimeError>;

// Runs the Calculate command's steps first (their run-time error comes
// first), then refuses an order outside 1..100, a ripple or a bandwidth that
// is not positive, then computes the table; a value that would not be finite
// is Overflow.
TableResult tuningTable(std::string_view orderText, std::string_view bandwidthText,
                        std::string_view rippleText, std::optional<double> f0);

// The table with f0's couplings, telling whose a run-time error is: when the
// fields alone make a table but f0's couplings do not (f0 1e-320
// overflows them), `f0Error` holds the error and `result` the table without
// f0; otherwise `result` is tuningTable's with f0.
struct TableWithF0 {
    TableResult result;
    std::optional<RunTimeError> f0Error;
};
TableWithF0 tuningTableWithF0(std::string_view orderText, std::string_view bandwidthText,
                              std::string_view rippleText, std::optional<double> f0);

} // namespace varnel
