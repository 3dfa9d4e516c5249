#pragma once

#include "window_runtime/services.h"

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace varnel::testing {

// Services on a pretend window: texts in a map, a size that can be held at a
// minimum, and every call recorded.
class FakeServices : public Services {
  public:
    std::map<std::string, std::string, std::less<>> texts;
    std::vector<std::string> reads;
    float heightTwips = 4440;
    float widthTwips = 2055;
    float minimumTwips = 0;
    std::vector<float> heightsSet;
    std::vector<float> widthsSet;
    int doEventsCalls = 0;
    int endCalls = 0;
    // Runs inside doEvents, with the number of the call (1, 2, ...).
    std::function<void(int)> pendingEvents;

    std::string text(std::string_view control) override {
        reads.emplace_back(control);
        return texts[std::string(control)];
    }
    void setText(std::string_view control, const std::string &text) override {
        texts[std::string(control)] = text;
    }
    float height() override { return heightTwips; }
    void setHeight(float twips) override {
        heightsSet.push_back(twips);
        heightTwips = std::max(twips, minimumTwips);
    }
    float width() override { return widthTwips; }
    void setWidth(float twips) override {
        widthsSet.push_back(twips);
        widthTwips = std::max(twips, minimumTwips);
    }
    void doEvents() override {
        ++doEventsCalls;
        if (pendingEvents)
            pendingEvents(doEventsCalls);
    }
    [[noreturn]] void end() override {
        ++endCalls;
        throw ProgramEnded{};
    }
};

} // namespace varnel::testing
