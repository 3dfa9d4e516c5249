#include "cli/report_html.h"
#include "learn_sweeps.h"

#include <QByteArray>
#include <QFile>
#include <QSvgRenderer>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>

// The bench sheet: read back as XML, its plot's every point inside the
// frame and its SVG drawn by Qt's own renderer; text from outside escaped.
namespace {

using varnel::testing::calc;
using varnel::testing::sweepFile;

varnel::testing::CalcRun report(std::vector<std::string> args) {
    return varnel::testing::runForm("report", std::move(args));
}

// What a reader finds in the page.
struct Page {
    bool wellFormed = false;
    std::map<std::string, std::string> firstText; // an element's first text, by name
    std::vector<std::string> polylines;           // their points
    int rows = 0;                                 // table rows with cells
    std::string svg;                              // the svg element, whole
    std::string all;                              // every text, one after another
};

Page readPage(const std::string &path) {
    QFile file(QString::fromStdString(path));
    Page page;
    if (!file.open(QIODevice::ReadOnly))
        return page;
    const QByteArray bytes = file.readAll();
    const qsizetype from = bytes.indexOf("<svg"), to = bytes.indexOf("</svg>");
    if (from >= 0 && to > from)
        page.svg = bytes.mid(from, to + 6 - from).toStdString();
    QXmlStreamReader xml(bytes);
    std::string open;
    bool rowOpen = false; // a row whose first cell is still to come
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            open = xml.name().toString().toStdString();
            if (open == "polyline")
                page.polylines.push_back(xml.attributes().value("points").toString().toStdString());
            if (open == "tr")
                rowOpen = true;
            if (open == "td") {
                page.rows += rowOpen ? 1 : 0;
                rowOpen = false;
                page.all += "|";
            }
        } else if (xml.isCharacters() && !xml.isWhitespace()) {
            const std::string text = xml.text().toString().toStdString();
            page.firstText.emplace(open, text);
            page.all += text + " ";
        } else if (xml.isEndElement() && xml.name() == QStringLiteral("tr")) {
            page.all += "\n";
        }
    }
    page.wellFormed = !xml.hasError();
    return page;
}

// The header's worked example of the plot's frame.
TEST(ReportCommand, PlotFrameWorkedExample) {
    const std::string svg =
        varnel::sheetSvg({{990, 1000, 1010}, {{"c", "#000", false, {-80, 0, -60}}}});
    EXPECT_NE(svg.find("points=\"60.00,330.00 380.00,20.00 700.00,330.00\""), std::string::npos)
        << svg;
}

TEST(ReportCommand, ABenchSheetOfAUnitTunedToPass) {
    const std::string journal = ::testing::TempDir() + "/sheet.db";
    std::filesystem::remove(journal);
    const std::string unit = "<b>SN</b>&1";
    const std::string off = sweepFile("sheet_off", {0, 0, 0.5, 0, 0});
    const std::string tuned = sweepFile("sheet_tuned", {0, 0, 0, 0, 0});
    calc({"diagnose", off, "--journal", journal, "--unit", unit});
    calc({"diagnose", tuned, "--journal", journal, "--unit", unit, "--keep-sweeps"});
    const std::string out = ::testing::TempDir() + "/sheet.html";
    const auto r = report({journal, "--unit", unit, "--html", out});
    ASSERT_EQ(r.status, 0) << r.err;

    const Page page = readPage(out);
    ASSERT_TRUE(page.wellFormed);
    EXPECT_EQ(page.firstText.at("h1"), "Bench sheet: unit " + unit) << "escaped, read back";
    EXPECT_EQ(page.firstText.count("b"), 0u) << "no element from the serial";
    EXPECT_EQ(page.firstText.at("strong").rfind("PASS (diagnose, ", 0), 0u);
    EXPECT_NE(page.all.find("PASS after 2 sweeps"), std::string::npos) << page.all;
    // 5 resonators, 4 couplings, 2 ports; then 2 records.
    EXPECT_EQ(page.rows, 11 + 2);
    EXPECT_NE(page.all.find("|resonator 3 |+0.000 MHz"), std::string::npos) << page.all;
    EXPECT_NE(page.all.find("|FAIL |16."), std::string::npos) << page.all;
    // Measured S11 and S21, the design's S11 and S21: every point of the
    // 801 inside the plot.
    ASSERT_EQ(page.polylines.size(), 4u);
    for (const std::string &points : page.polylines) {
        std::istringstream in(points);
        double x = 0, y = 0;
        char comma = 0;
        int count = 0;
        while (in >> x >> comma >> y) {
            ++count;
            EXPECT_TRUE(x >= 60 && x <= 700 && y >= 20 && y <= 330) << x << ',' << y;
        }
        EXPECT_EQ(count, 801);
    }
    QSvgRenderer svg(QByteArray::fromStdString(page.svg));
    EXPECT_TRUE(svg.isValid());
    EXPECT_EQ(svg.viewBox(), QRect(0, 0, 740, 410));
}

struct RefusalRow {
    const char *name;
    std::vector<std::string> args;
    int status;
    std::string words;
};

TEST(ReportCommand, RefusalsAndASheetWithoutASweep) {
    const std::string journal = ::testing::TempDir() + "/sheet_refusals.db";
    std::filesystem::remove(journal);
    calc({"diagnose", sweepFile("sheet_one", {0, 0.4, 0, 0, 0}), "--journal", journal, "--unit",
          "U-1"});
    const std::string out = ::testing::TempDir() + "/sheet_refusals.html";
    const std::string badOut = ::testing::TempDir() + "/no/such/folder/sheet.html";
    const RefusalRow rows[] = {
        {"unknown_unit",
         {journal, "--unit", "U-2", "--html", out},
         1,
         "holds no record of unit U-2"},
        {"no_html", {journal, "--unit", "U-1"}, 2, "report needs --html"},
        {"no_unit", {journal, "--html", out}, 2, "report needs --unit"},
        {"unwritable",
         {journal, "--unit", "U-1", "--html", badOut},
         1,
         badOut + ": cannot be written: No such file or directory"},
        {"no_journal",
         {journal + ".none", "--unit", "U-1", "--html", out},
         1,
         "cannot be opened: no such file"},
    };
    for (const RefusalRow &row : rows) {
        const auto r = report(row.args);
        EXPECT_EQ(r.status, row.status) << row.name << ": " << r.err;
        EXPECT_NE(r.err.find(row.words), std::string::npos) << row.name << ": " << r.err;
    }
    ASSERT_EQ(report({journal, "--unit", "U-1", "--html", out}).status, 0);
    const Page page = readPage(out);
    ASSERT_TRUE(page.wellFormed);
    EXPECT_TRUE(page.polylines.empty());
    EXPECT_NE(page.all.find("No sweep of this unit was kept"), std::string::npos);
    EXPECT_NE(page.all.find("Not passed yet: 1 sweep since "), std::string::npos) << page.all;
}

} // namespace
