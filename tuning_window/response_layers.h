#pragma once

#include "tuning_window/chart_layer.h"

#include <memory>
#include <vector>

class QLineSeries;
class QScatterSeries;

namespace varnel {

// The axis a layer of the response chart is drawn against.
enum class ResponseAxis { Delay, Db };

// A row of the response chart's table: a layer and its axis. A new trace
// kind is a layer class (or a TraceLayer source) and a row.
struct ResponseLayerRow {
    std::unique_ptr<ChartLayer> layer;
    ResponseAxis axis;
};

// The response chart's layers, bottom to top: the tolerance band, the
// target's delay and |S|, the memory's, the measured ones with the band's
// failing stretches, the f0 line, the whole filter's traces, a
// cross-coupled design's (design_layer.h), the markers.
// Example: stage mode with a report and the band on -> the band, the
// target, the measured delay and the f0 line are visible; |S| only with
// the dB view; the filter's traces only in the whole filter's mode.
std::vector<ResponseLayerRow> responseLayers();

// The layers' test hooks: how many stretches of the sweep are drawn outside
// the band, where marker n is drawn, the memory's delay trace.
int bandStretchesShown(const std::vector<ResponseLayerRow> &rows);
std::optional<QPointF> markerDrawnAt(const std::vector<ResponseLayerRow> &rows, int marker);
QLineSeries *memoryDelaySeries(const std::vector<ResponseLayerRow> &rows);

} // namespace varnel
