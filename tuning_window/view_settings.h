#pragma once

#include "tuning/markers.h"
#include "tuning_window/tuning_session.h"

#include <vector>

class QSettings;

// How the session is shown and its markers, kept between runs under
// "view/...": the mode, the dB view, the band, the verdict against the
// memory, the delta marker, each held scale as its [min, max], and each
// marker's kind, frequency and lobe.
// Example: a delay scale held at 40..120 ns is kept as view/lockDelay =
// (40, 120); without one the key is removed, and it reads back as none.
namespace varnel {

ViewState readViewState(const QSettings &settings);
void writeViewState(QSettings &settings, const ViewState &view);
// Markers of an unknown kind are left out.
std::vector<Marker> readMarkers(const QSettings &settings);
void writeMarkers(QSettings &settings, const std::vector<Marker> &markers);

} // namespace varnel
