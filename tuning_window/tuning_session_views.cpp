#include "tuning_window/tuning_session.h"

#include "tuning/group_delay.h"

// The session's views of the reflection: the Smith chart's trace and the
// time domain.
namespace varnel {

std::vector<std::complex<double>> TuningSession::reflectionOf(const Network *network) const {
    const SParameter parameter = m_inputs ? m_inputs->check.parameter : SParameter{1, 1};
    if (!network || parameter.row > network->ports || parameter.column > network->ports ||
        (!network->only && !network->has(parameter)))
        return {};
    if (const auto &only = network->only;
        only && (only->row != parameter.row || only->column != parameter.column))
        return {};
    return withoutElectricalDelay(network->frequencyMHz, network->parameter(parameter),
                                  m_inputs ? m_inputs->check.electricalDelayNs : 0.0);
}

std::vector<std::complex<double>> TuningSession::reflectionShown() const {
    return reflectionOf(m_network.get());
}

std::vector<std::complex<double>> TuningSession::memoryReflectionShown() const {
    return reflectionOf(m_memory.get());
}

const TuningSession::TimeView &TuningSession::timeView() const {
    if (m_timeView)
        return *m_timeView;
    m_timeView.emplace();
    const std::vector<std::complex<double>> shown = reflectionShown();
    if (shown.empty())
        return *m_timeView;
    TimeDomainSettings settings;
    settings.window = m_timeWindow;
    auto measured = timeResponse(m_network->frequencyMHz, shown, settings);
    if (auto *refusal = std::get_if<TimeDomainRefusal>(&measured)) {
        m_timeView->refusal = *refusal;
        return *m_timeView;
    }
    m_timeView->measured = std::get<TimeResponse>(std::move(measured));
    m_timeView->dips = timeDips(*m_timeView->measured);
    if (m_inputs) {
        const std::size_t resonators = m_view.wholeFilter
                                           ? m_inputs->table.stages.size()
                                           : static_cast<std::size_t>(m_inputs->stage);
        if (m_timeView->dips.size() > resonators)
            m_timeView->dips.resize(resonators);
    }
    if (m_inputs && m_inputs->design) {
        // A cross-coupled design's target is its whole filter's, loaded.
        if (m_view.wholeFilter) {
            settings.startNs = m_timeView->measured->tNs.front();
            settings.stopNs = m_timeView->measured->tNs.back();
            std::vector<std::complex<double>> s11;
            for (const MatrixResponse &r : matrixResponses(
                     m_inputs->design->matrix, m_inputs->design->band, m_network->frequencyMHz))
                s11.push_back(r.s11);
            if (auto target = timeResponse(m_network->frequencyMHz, s11, settings);
                std::holds_alternative<TimeResponse>(target))
                m_timeView->target = std::get<TimeResponse>(std::move(target));
        }
    } else if (m_inputs) {
        const auto order = static_cast<int>(m_inputs->table.stages.size());
        const StageModel model =
            m_view.wholeFilter ? stageModel(m_inputs->table, order, m_inputs->f0, m_inputs->qu,
                                            m_curveResonator, StageOutput::Loaded, m_curveCutoff)
                               : targetModel(m_curveOutput);
        // The same times as the sweep's, so that the two lie over each other.
        settings.startNs = m_timeView->measured->tNs.front();
        settings.stopNs = m_timeView->measured->tNs.back();
        auto target = timeResponse(m_network->frequencyMHz,
                                   targetAt(model, m_network->frequencyMHz), settings);
        if (auto *response = std::get_if<TimeResponse>(&target))
            m_timeView->target = std::move(*response);
    }
    return *m_timeView;
}

void TuningSession::setTimeWindow(const TimeWindow &window) {
    if (window.kind == m_timeWindow.kind && window.beta == m_timeWindow.beta)
        return;
    m_timeWindow = window;
    emit timeWindowChanged();
}

} // namespace varnel
