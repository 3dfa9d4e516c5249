#pragma once

#include "tuning/check.h"

#include <cstddef>
#include <optional>
#include <vector>

// Markers on the measured delay trace of a stage check, and the sweep on
// screen against a memory sweep (the previous sweep, or a golden unit's).
//
// A marker snaps to the point of the trace nearest its frequency and reads
// the report's own numbers there: the measured and target delay, their
// difference in ns and in percent of the target, and |S11|. A marker at f0
// or at a lobe's measured peak follows it from sweep to sweep; any other
// keeps its frequency and snaps again on each new sweep.
// Worked example: a trace at 999, 1000 and 1001 MHz, measured 50, 52 and
// 51 ns, target 50 ns throughout, |S11| -10, -12 and -11 dB. A marker at
// 1000.4 MHz snaps to 1000 MHz: measured 52 ns, target 50 ns, difference
// +2 ns or +4 %, |S11| -12 dB. A delta marker at 1001 MHz against it reads
// +1 MHz, -1 ns, -1 dB.
//
// Against a memory, both checked with the same inputs: at each point of the
// trace the measured delay minus the memory's (interpolated linearly; none
// outside the memory's span), at f0 that difference in ns and in percent of
// the memory's delay, within the tolerance or not, and each lobe's move in
// frequency and delay.
// Worked example: measured 48.5 ns at f0 and the memory 48.0 ns, tolerance
// 2 % -> +0.5 ns, +1.04 %, within; a lobe at 1002.1 MHz and 51 ns that was
// at 1002.4 MHz and 50.5 ns moved -0.3 MHz and +0.5 ns.
namespace varnel {

struct Marker {
    enum Kind { Fixed, AtF0, LobePeak } kind = Fixed;
    double fMHz = 0; // where a fixed marker was put
    int lobe = 0;    // a lobe peak's, from 0
};

inline constexpr std::size_t maxMarkers = 4;

// The point of `fMHz` (increasing) nearest to `f`; the lower on a tie.
std::size_t nearestPoint(const std::vector<double> &fMHz, double f);

// Where the marker sits on the report's trace; none on an empty trace, or
// for a lobe the report does not have.
std::optional<std::size_t> markerPoint(const CheckReport &report, const Marker &marker);

// A marker at each lobe's measured peak, at most maxMarkers.
std::vector<Marker> lobePeakMarkers(const CheckReport &report);

struct MemoryComparison {
    // Measured minus memory at each point of the trace; NaN outside the
    // memory's span.
    std::vector<double> differenceNs;
    double centreNs = 0, centrePercent = 0; // at f0
    bool within = false;                    // |centrePercent| <= the tolerance
    double s11Db = 0;                       // |S11| at f0, measured minus memory
    struct LobeMove {
        double fMHz = 0, delayNs = 0;
    };
    std::vector<LobeMove> lobes; // lobe by lobe, as many as both show
};

MemoryComparison compareWithMemory(const CheckReport &now, const CheckReport &memory);

struct MarkerReading {
    std::size_t point = 0;
    double fMHz = 0, measuredNs = 0, targetNs = 0, differenceNs = 0, differencePercent = 0,
           s11Db = 0;
    // With a memory: its delay there, and the measured minus it.
    std::optional<double> memoryNs, againstMemoryNs;
};

// Reads nothing (all zero) on an empty trace; a point beyond it reads the last.
MarkerReading readMarker(const CheckReport &report, std::size_t point,
                         const MemoryComparison *memory = nullptr);

// `other` minus `reference`, for a delta marker.
struct MarkerDelta {
    double fMHz = 0, measuredNs = 0, targetNs = 0, s11Db = 0;
};
MarkerDelta markerDelta(const MarkerReading &reference, const MarkerReading &other);

} // namespace varnel
