#include "tuning/marker_set.h"

#include <algorithm>

namespace varnel {

void MarkerSet::keepSelectionInRange() {
    m_selected = std::max(0, std::min(m_selected, static_cast<int>(m_markers.size()) - 1));
}

void MarkerSet::select(int marker) {
    if (marker >= 0 && marker < static_cast<int>(m_markers.size()))
        m_selected = marker;
}

void MarkerSet::add(const Marker &marker) {
    if (marker.kind == Marker::AtF0) {
        const auto at = std::find_if(m_markers.begin(), m_markers.end(),
                                     [](const Marker &m) { return m.kind == Marker::AtF0; });
        if (at != m_markers.end()) {
            m_selected = static_cast<int>(at - m_markers.begin());
            return;
        }
    }
    if (m_markers.size() < maxMarkers) {
        m_markers.push_back(marker);
        m_selected = static_cast<int>(m_markers.size()) - 1;
    } else {
        m_markers[static_cast<std::size_t>(m_selected)] = marker;
    }
}

void MarkerSet::atLobePeaks(const CheckReport &report) {
    std::erase_if(m_markers, [](const Marker &m) { return m.kind != Marker::AtF0; });
    for (const Marker &peak : lobePeakMarkers(report))
        if (m_markers.size() < maxMarkers)
            m_markers.push_back(peak);
    m_selected = 0;
}

void MarkerSet::move(const CheckReport &report, int points) {
    if (m_selected >= static_cast<int>(m_markers.size()))
        return;
    Marker &marker = m_markers[static_cast<std::size_t>(m_selected)];
    const auto at = markerPoint(report, marker);
    if (!at)
        return;
    const auto last = static_cast<long>(report.fMHz.size()) - 1;
    const long to = std::clamp(static_cast<long>(*at) + points, 0L, last);
    // Moved by hand, it stays where it is put.
    marker = {Marker::Fixed, report.fMHz[static_cast<std::size_t>(to)], 0};
}

void MarkerSet::remove(int marker) {
    if (marker < 0 || marker >= static_cast<int>(m_markers.size()))
        return;
    m_markers.erase(m_markers.begin() + marker);
    keepSelectionInRange();
}

void MarkerSet::clear() {
    m_markers.clear();
    m_selected = 0;
}

void MarkerSet::set(std::vector<Marker> markers) {
    if (markers.size() > maxMarkers)
        markers.resize(maxMarkers);
    m_markers = std::move(markers);
    m_selected = 0;
}

MarkerSet::Readings MarkerSet::readings(const CheckReport *report, const MemoryComparison *memory,
                                        bool delta) const {
    Readings r;
    for (const Marker &marker : m_markers) {
        std::optional<MarkerReading> reading;
        if (report)
            if (const auto at = markerPoint(*report, marker))
                reading = readMarker(*report, *at, memory);
        r.markers.push_back(reading);
    }
    r.deltaOf = m_selected > 0 ? m_selected : static_cast<int>(r.markers.size()) - 1;
    if (delta && r.deltaOf > 0 && r.markers[0] && r.markers[static_cast<std::size_t>(r.deltaOf)])
        r.delta = markerDelta(*r.markers[0], *r.markers[static_cast<std::size_t>(r.deltaOf)]);
    return r;
}

} // namespace varnel
