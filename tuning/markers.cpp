#include "tuning/markers.h"

#include <algorithm>
#include <cmath>

namespace varnel {

std::size_t nearestPoint(const std::vector<double> &fMHz, double f) {
    const auto above = std::lower_bound(fMHz.begin(), fMHz.end(), f);
    if (above == fMHz.begin())
        return 0;
    if (above == fMHz.end())
        return fMHz.size() - 1;
    const auto below = std::prev(above);
    return static_cast<std::size_t>((*above - f < f - *below ? above : below) - fMHz.begin());
}

std::optional<std::size_t> markerPoint(const CheckReport &report, const Marker &marker) {
    if (report.fMHz.empty())
        return std::nullopt;
    switch (marker.kind) {
    case Marker::AtF0:
        return nearestPoint(report.fMHz, report.settings.f0);
    case Marker::LobePeak:
        if (marker.lobe < 0 || static_cast<std::size_t>(marker.lobe) >= report.lobes.size())
            return std::nullopt;
        return nearestPoint(report.fMHz, report.lobes[static_cast<std::size_t>(marker.lobe)].fMHz);
    case Marker::Fixed:
        break;
    }
    return nearestPoint(report.fMHz, marker.fMHz);
}

std::vector<Marker> lobePeakMarkers(const CheckReport &report) {
    std::vector<Marker> markers;
    for (std::size_t l = 0; l < report.lobes.size() && markers.size() < maxMarkers; ++l)
        markers.push_back({Marker::LobePeak, report.lobes[l].fMHz, static_cast<int>(l)});
    return markers;
}

MemoryComparison compareWithMemory(const CheckReport &now, const CheckReport &memory) {
    MemoryComparison c;
    c.differenceNs.reserve(now.fMHz.size());
    const double nan = std::nan("");
    for (std::size_t i = 0; i < now.fMHz.size(); ++i) {
        const auto m = interpolate(memory.fMHz, memory.delayMeasured, now.fMHz[i]);
        c.differenceNs.push_back(m ? now.delayMeasured[i] - *m : nan);
    }
    c.centreNs = now.measuredDelayNs - memory.measuredDelayNs;
    c.centrePercent = c.centreNs / memory.measuredDelayNs * 100;
    c.within = std::abs(c.centrePercent) <= now.settings.tolerancePercent;
    c.s11Db = now.s11DbMeasured - memory.s11DbMeasured;
    for (std::size_t l = 0; l < std::min(now.lobes.size(), memory.lobes.size()); ++l)
        c.lobes.push_back({now.lobes[l].fMHz - memory.lobes[l].fMHz,
                           now.lobes[l].delayNs - memory.lobes[l].delayNs});
    return c;
}

MarkerReading readMarker(const CheckReport &report, std::size_t point,
                         const MemoryComparison *memory) {
    MarkerReading r;
    if (report.fMHz.empty())
        return r;
    r.point = std::min(point, report.fMHz.size() - 1);
    r.fMHz = report.fMHz[r.point];
    r.measuredNs = report.delayMeasured[r.point];
    r.targetNs = report.delayTarget[r.point];
    r.differenceNs = r.measuredNs - r.targetNs;
    r.differencePercent = r.differenceNs / r.targetNs * 100;
    r.s11Db = report.s11DbMeasuredTrace[r.point];
    if (memory && r.point < memory->differenceNs.size() &&
        std::isfinite(memory->differenceNs[r.point])) {
        r.againstMemoryNs = memory->differenceNs[r.point];
        r.memoryNs = r.measuredNs - *r.againstMemoryNs;
    }
    return r;
}

MarkerDelta markerDelta(const MarkerReading &reference, const MarkerReading &other) {
    return {other.fMHz - reference.fMHz, other.measuredNs - reference.measuredNs,
            other.targetNs - reference.targetNs, other.s11Db - reference.s11Db};
}

} // namespace varnel
