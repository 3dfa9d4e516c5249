#include "tuning/sweep_average.h"

namespace varnel {

bool sameSweepGrid(const Network &a, const Network &b) {
    const bool sameOnly =
        a.only.has_value() == b.only.has_value() &&
        (!a.only || (a.only->row == b.only->row && a.only->column == b.only->column));
    return a.ports == b.ports && sameOnly && a.frequencyMHz == b.frequencyMHz &&
           a.values.size() == b.values.size();
}

void SweepAverage::setDepth(std::size_t depth) {
    m_depth = depth ? depth : 1;
    while (m_sweeps.size() > m_depth)
        m_sweeps.pop_front();
}

void SweepAverage::clear() {
    m_sweeps.clear();
}

std::shared_ptr<const Network> SweepAverage::add(std::shared_ptr<const Network> sweep) {
    if (!m_sweeps.empty() && !sameSweepGrid(*m_sweeps.back(), *sweep))
        m_sweeps.clear();
    m_sweeps.push_back(std::move(sweep));
    if (m_sweeps.size() > m_depth)
        m_sweeps.pop_front();
    return current();
}

std::shared_ptr<const Network> SweepAverage::current() const {
    if (m_sweeps.size() <= 1)
        return m_sweeps.empty() ? nullptr : m_sweeps.back();
    return average();
}

std::shared_ptr<const Network> SweepAverage::average() const {
    auto mean = std::make_shared<Network>(*m_sweeps.back());
    // Summed afresh each time, so that no rounding builds up over a long run.
    for (std::size_t i = 0; i < mean->values.size(); ++i) {
        std::complex<double> sum = 0;
        for (const auto &sweep : m_sweeps)
            sum += sweep->values[i];
        mean->values[i] = sum / static_cast<double>(m_sweeps.size());
    }
    return mean;
}

} // namespace varnel
