#include "cli/report_html.h"

#include "number_text/number_text.h"
#include "quoting/quote.h"

#include <algorithm>
#include <cmath>

namespace varnel {

namespace {

constexpr double left = 60, right = 700, top = 20, bottom = 330, floorDb = -60;

double xOf(double f, double fMin, double fMax) {
    return fMax > fMin ? left + (f - fMin) / (fMax - fMin) * (right - left) : left;
}

double yOf(double db) {
    const double held = std::isfinite(db) ? std::clamp(db, floorDb, 0.0) : floorDb;
    return top + held / floorDb * (bottom - top);
}

std::string at(double v) {
    return formatFixed(v, 2);
}

void grid(std::string &svg, double fMin, double fMax) {
    for (int db = 0; db >= -60; db -= 10) {
        const std::string y = at(yOf(db));
        svg += "<line stroke=\"#ddd\" x1=\"60\" y1=\"" + y + "\" x2=\"700\" y2=\"" + y + "\"/>";
        svg += "<text x=\"54\" y=\"" + at(yOf(db) + 4) + "\" text-anchor=\"end\">" +
               std::to_string(db) + "</text>";
    }
    for (int k = 0; k <= 5; ++k) {
        const double f = fMin + (fMax - fMin) * k / 5;
        const std::string x = at(xOf(f, fMin, fMax));
        svg += "<line stroke=\"#ddd\" x1=\"" + x + "\" y1=\"20\" x2=\"" + x + "\" y2=\"330\"/>";
        svg += "<text x=\"" + x + "\" y=\"348\" text-anchor=\"middle\">" + formatFixed(f, 2) +
               "</text>";
    }
    svg += "<text x=\"380\" y=\"372\" text-anchor=\"middle\">Frequency (MHz)</text>"
           "<text x=\"14\" y=\"175\" transform=\"rotate(-90 14 175)\" "
           "text-anchor=\"middle\">dB</text>";
}

void table(std::string &html, const std::vector<std::string> &heads,
           const std::vector<std::vector<std::string>> &rows, const std::vector<bool> &marked) {
    html += "<table><thead><tr>";
    for (const std::string &h : heads)
        html += "<th>" + h + "</th>";
    html += "</tr></thead><tbody>";
    for (std::size_t r = 0; r < rows.size(); ++r) {
        html += r < marked.size() && marked[r] ? "<tr class=\"out\">" : "<tr>";
        for (const std::string &cell : rows[r])
            html += "<td>" + htmlText(cell) + "</td>";
        html += "</tr>";
    }
    html += "</tbody></table>\n";
}

constexpr const char *style = "body{font-family:sans-serif;margin:2em;color:#222}"
                              "table{border-collapse:collapse;margin:0.5em 0}"
                              "td,th{border:1px solid #bbb;padding:0.2em 0.6em;text-align:left}"
                              "tr.out td{color:#b00020;font-weight:bold}"
                              "svg text{fill:#333}";

} // namespace

std::string sheetSvg(const SheetPlot &plot) {
    const double fMin = plot.fMHz.empty() ? 0 : plot.fMHz.front();
    const double fMax = plot.fMHz.empty() ? 1 : plot.fMHz.back();
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"740\" height=\"410\" "
                      "viewBox=\"0 0 740 410\" font-family=\"sans-serif\" font-size=\"12\">";
    grid(svg, fMin, fMax);
    svg += "<rect x=\"60\" y=\"20\" width=\"640\" height=\"310\" fill=\"none\" stroke=\"#888\"/>";
    for (std::size_t c = 0; c < plot.curves.size(); ++c) {
        const SheetCurve &curve = plot.curves[c];
        svg += "<polyline fill=\"none\" stroke=\"" + htmlText(curve.colour) +
               "\" stroke-width=\"1.5\"" +
               (curve.dashed ? std::string(" stroke-dasharray=\"6 4\"") : std::string()) +
               " points=\"";
        for (std::size_t i = 0; i < curve.db.size() && i < plot.fMHz.size(); ++i)
            svg.append(i ? " " : "")
                .append(at(xOf(plot.fMHz[i], fMin, fMax)))
                .append(",")
                .append(at(yOf(curve.db[i])));
        svg += "\"><title>" + htmlText(curve.name) + "</title></polyline>";
        // The legend, a row under the frequency axis: a stroke, then the name.
        const double x = left + 160 * static_cast<double>(c);
        svg += "<line x1=\"" + at(x) + "\" y1=\"392\" x2=\"" + at(x + 24) +
               "\" y2=\"392\" stroke-width=\"2\" stroke=\"" + htmlText(curve.colour) + "\"" +
               (curve.dashed ? std::string(" stroke-dasharray=\"6 4\"") : std::string()) +
               "/><text x=\"" + at(x + 30) + "\" y=\"396\">" + htmlText(curve.name) + "</text>";
    }
    return svg + "</svg>";
}

std::string benchSheetHtml(const BenchSheet &s) {
    const std::string unit = htmlText(s.unit);
    std::string html = "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" "
                       "lang=\"en\"><head><meta charset=\"utf-8\"/><title>Bench sheet: unit " +
                       unit + "</title><style>" + style + "</style></head><body>\n";
    html += "<h1>Bench sheet: unit " + unit + "</h1>\n";
    html += "<p class=\"design\">Design: " + htmlText(s.design) + "</p>\n";
    html += "<p class=\"journal\">Journal: " + htmlText(s.journal) + "</p>\n";
    html += "<p class=\"verdict\">Verdict: <strong>" + htmlText(s.verdict) + "</strong></p>\n";
    html += "<p class=\"progress\">" + htmlText(s.progress) + "</p>\n";
    html += "<h2>The final sweep against the design</h2>\n<p>" + htmlText(s.plotNote) + "</p>\n";
    if (s.plot)
        html += sheetSvg(*s.plot) + "\n";
    html += "<h2>Elements</h2>\n<p>" + htmlText(s.elementsNote) + "</p>\n";
    std::vector<std::vector<std::string>> rows;
    std::vector<bool> out;
    for (const SheetElement &e : s.elements) {
        rows.push_back({e.name, e.value, e.tolerance, e.within ? "yes" : "no"});
        out.push_back(!e.within);
    }
    if (!rows.empty())
        table(html, {"element", "value", "tolerance", "within"}, rows, out);
    html += "<h2>History</h2>\n";
    rows.clear();
    for (const SheetRecord &r : s.history)
        rows.push_back({r.time, r.kind, r.verdict, r.returnLoss, r.source});
    table(html, {"time (UTC)", "kind", "verdict", "return loss", "source"}, rows, {});
    return html + "</body></html>\n";
}

} // namespace varnel
