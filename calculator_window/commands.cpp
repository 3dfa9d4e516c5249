#include "calculator_window/commands.h"

#include "calculation/calculate.h"

namespace varnel {

void calculateCommand(Services &services) {
    // The fields are read in the order the calculation uses them.
    const std::string order = services.text("Text1");
    const std::string ripple = services.text("Text3");
    const std::string bandwidth = services.text("Text2");
    services.setText("Text4", calculate(order, bandwidth, ripple).valueOrThrow());
}

namespace {

constexpr float step = 10.0f;
constexpr float threshold = 11.0f;
constexpr float collapsedHeight = 30.0f;
constexpr float limitDivisor = 2.0f;

} // namespace

void exitCommand(Services &services) {
    const float heightLimit = services.height() / limitDivisor;
    for (float counter = 1; counter <= heightLimit; counter += 1) {
        services.doEvents();
        services.setHeight(services.height() - step);
        if (!(services.height() > threshold))
            break;
    }
    services.setHeight(collapsedHeight);

    const float widthLimit = services.width() / limitDivisor;
    for (float counter = 1; counter <= widthLimit; counter += 1) {
        services.doEvents();
        services.setWidth(services.width() - step);
        if (!(services.width() > threshold))
            services.end();
    }
    services.end();
}

} // namespace varnel
