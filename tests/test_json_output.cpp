// The JSON forms the reports share, on the examples of their header.
#include "report_json/json_output.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace varnel;

TEST(JsonOutput, HeaderExamples) {
    const nlohmann::ordered_json document = {{"a", 0.1}, {"b", {1}}};
    EXPECT_EQ(jsonText(document), "{\n  \"a\": 0.1,\n  \"b\": [\n    1\n  ]\n}");
    EXPECT_EQ(jsonLine(document), "{\"a\": 0.1, \"b\": [1]}");
    EXPECT_EQ(jsonLine(nlohmann::ordered_json{{"x", 48.14890203471687}, {"y", 1000}}),
              "{\"x\": 48.14890203471687, \"y\": 1000}");
    EXPECT_EQ(levelJson(-60.5), nlohmann::ordered_json(-60.5));
    EXPECT_TRUE(levelJson(-250).is_null());

    Finding high;
    high.element = Finding::Resonator;
    high.index = 3;
    high.offsetMHz = 0.3;
    high.direction = Finding::Down;
    EXPECT_EQ(jsonLine(findingJson(high)),
              "{\"element\": \"resonator\", \"index\": 3, \"direction\": \"down\", "
              "\"offset_mhz\": 0.3}");

    const nlohmann::ordered_json record = {{"qu", 3000}};
    EXPECT_EQ(jsonNumber(record, "qu"), 3000);
    EXPECT_TRUE(std::isnan(jsonNumber(record, "q")));
}

// Each element names itself as a tuner reads it, and a finding for the
// centre delay alone carries the delay's deviation, not an element's error.
TEST(JsonOutput, FindingsOfEachElement) {
    Finding coupling;
    coupling.element = Finding::Coupling;
    coupling.index = 5;
    coupling.percent = 3;
    coupling.direction = Finding::Weaken;
    EXPECT_EQ(jsonLine(findingJson(coupling)),
              "{\"element\": \"coupling\", \"from\": 4, \"to\": 5, \"direction\": \"weaken\", "
              "\"error_percent\": 3}");
    Finding port = coupling;
    port.element = Finding::External;
    port.index = 2;
    port.direction = Finding::Strengthen;
    EXPECT_EQ(jsonLine(findingJson(port)),
              "{\"element\": \"external\", \"port\": 2, \"direction\": \"strengthen\", "
              "\"error_percent\": 3}");
    Finding delay = coupling;
    delay.forDelay = true;
    delay.delayPercent = -2.5;
    EXPECT_EQ(jsonLine(findingJson(delay)),
              "{\"element\": \"coupling\", \"from\": 4, \"to\": 5, \"direction\": \"weaken\", "
              "\"delay_deviation_percent\": -2.5}");
    EXPECT_EQ(jsonLine(textsJson({"one", "two \"quoted\""})), "[\"one\", \"two \\\"quoted\\\"\"]");
}

} // namespace
