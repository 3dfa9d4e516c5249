#pragma once

#include <optional>
#include <string>
#include <vector>

// A bench sheet: one unit's history in a journal as a page of its own,
// well-formed XML (so that any XML reader can check it) served as HTML,
// with the final sweep against the design drawn inline as SVG. Every text
// from outside is escaped (htmlText); numbers come formatted from the
// caller.
//
// The plot: frequency (MHz) across, dB up from -60 to 0, a grid line every
// 10 dB and at six frequencies; a value below -60 dB drawn at -60; the
// legend a row under the axis. The frame is 740 x 410, the plot inside it
// x 60..700, y 20..330, so that
// (fMin, 0 dB) is at (60, 20) and (fMax, -60 dB) at (700, 330).
// Example: a curve of 0 dB at 1000 MHz over 990..1010 MHz passes through
// (380.00, 20.00).
namespace varnel {

struct SheetCurve {
    std::string name;   // in the legend: "measured S11"
    std::string colour; // an SVG colour: "#1f5fbf"
    bool dashed = false;
    std::vector<double> db; // one value a frequency
};

struct SheetPlot {
    std::vector<double> fMHz;
    std::vector<SheetCurve> curves;
};

struct SheetElement {
    std::string name, value, tolerance;
    bool within = true;
};

struct SheetRecord {
    std::string time, kind, verdict, returnLoss, source;
};

struct BenchSheet {
    std::string unit, journal, design;
    std::string verdict;  // "PASS", "FAIL", ...
    std::string progress; // "PASS after 7 sweeps, 12 min 30 s from the first"
    std::optional<SheetPlot> plot;
    std::string plotNote; // said where the plot is, or why there is none
    std::vector<SheetElement> elements;
    std::string elementsNote;
    std::vector<SheetRecord> history;
};

std::string sheetSvg(const SheetPlot &plot);
std::string benchSheetHtml(const BenchSheet &sheet);

} // namespace varnel
