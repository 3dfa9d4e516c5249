#pragma once

#include "touchstone/touchstone.h"

#include <cstddef>
#include <deque>
#include <memory>

// The complex average of the last N sweeps, point by point: noise falls by
// about sqrt(N) while a steady response stays as it is (an average of
// magnitudes would bias a noisy |S11| upward, and one of delays would mix
// the aperture in). It starts afresh when a sweep's frequencies or
// parameters differ from those held, so that sweeps of two settings are
// never mixed.
// Worked example: depth 4, sweeps of S11 0.1, 0.2, 0.3, 0.4, 0.5 (one
// point, 1000 MHz) -> averages 0.1, 0.15, 0.2, 0.25, 0.35 (the last four),
// count 1, 2, 3, 4, 4; a sweep at 1001 MHz then -> its own value, count 1.
namespace varnel {

class SweepAverage {
  public:
    explicit SweepAverage(std::size_t depth = 1) : m_depth(depth ? depth : 1) {}
    // A new depth keeps the newest sweeps that fit in it.
    void setDepth(std::size_t depth);
    std::size_t depth() const { return m_depth; }
    // Adds a sweep and gives the average of the last `depth` sweeps.
    std::shared_ptr<const Network> add(std::shared_ptr<const Network> sweep);
    // The average of the sweeps held (none before the first).
    std::shared_ptr<const Network> current() const;
    // How many sweeps the average holds.
    std::size_t count() const { return m_sweeps.size(); }
    void clear();

  private:
    std::shared_ptr<const Network> average() const;

    std::size_t m_depth;
    std::deque<std::shared_ptr<const Network>> m_sweeps;
};

// Whether two sweeps can be averaged: the same frequencies, ports and
// parameters.
bool sameSweepGrid(const Network &a, const Network &b);

} // namespace varnel
