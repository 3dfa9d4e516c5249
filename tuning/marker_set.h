#pragma once

#include "tuning/markers.h"

#include <optional>
#include <vector>

// The markers a tuner puts on a stage's delay trace, one of them selected,
// and the rules for adding, moving and removing them (markers.h reads
// them).
// - add: a marker at f0 is one only: asked again, it is selected. Below
//   maxMarkers a new marker is added and selected; at maxMarkers it takes
//   the selected one's place.
// - atLobePeaks: a marker at each lobe's peak after the markers at f0
//   (which stay), up to maxMarkers; any other is replaced.
// - move: the selected marker a number of trace points along, held at the
//   trace's ends, then fixed where it is put.
// - remove: the marker goes; the selection stays on the same index, or the
//   last marker when that was the last.
// readings(): each marker's reading of the report (none where the report
// lacks its point), and with `delta` the selected marker against marker 1
// (the last marker against it when marker 1 is the selected one).
// Worked example: add at f0, place at 1001 MHz, add at f0 again: two
// markers, the first selected. Lobe peaks on a report with lobes at 996
// and 1004 MHz: f0, 996, 1004. Remove marker 2 (index 1): f0, 1004, and
// the selection on 1004.
namespace varnel {

class MarkerSet {
  public:
    const std::vector<Marker> &markers() const { return m_markers; }
    int selected() const { return m_selected; }
    void select(int marker);
    void add(const Marker &marker);
    void place(double fMHz) { add({Marker::Fixed, fMHz, 0}); }
    void atLobePeaks(const CheckReport &report);
    void move(const CheckReport &report, int points);
    void remove(int marker);
    void clear();
    // As they were saved: at most maxMarkers kept, the first selected.
    void set(std::vector<Marker> markers);

    struct Readings {
        std::vector<std::optional<MarkerReading>> markers; // one a marker
        std::optional<MarkerDelta> delta;
        int deltaOf = 0; // the marker the delta is of
    };
    Readings readings(const CheckReport *report, const MemoryComparison *memory, bool delta) const;

  private:
    void keepSelectionInRange();

    std::vector<Marker> m_markers;
    int m_selected = 0;
};

} // namespace varnel
