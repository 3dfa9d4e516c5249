#pragma once

#include <QCoreApplication>

#include <chrono>
#include <functional>

// Runs the event loop until `done` or `ms` pass; whether it is done.
inline bool waitFor(const std::function<bool()> &done, int ms = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done() && std::chrono::steady_clock::now() < end)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}
