#pragma once

// What the fake SCPI analyser (fake_scpi_analyser.h) answers.
namespace varnel::testing {

inline FakeTcpInstrument::Reply FakeScpiAnalyser::fire() {
    const bool ena = m_faults.dialect == "ena";
    // A channel sweeping on its own ignores a single sweep fired at it (the
    // ENA's bus trigger fires only a channel waiting on the bus; the PNA and
    // ZNB restart a continuous sweep): the fake never answers *OPC? then.
    const bool ready = ena ? setting("TRIG:SOUR") == "BUS" && setting("INIT1:CONT") == "1"
                           : setting(m_trigger) == "IMM" && setting(m_continuous) == "0";
    if (!ready) {
        m_errors.push_back("-211,\"Trigger ignored\"");
        return {};
    }
    const bool averaging = setting("SENS1:AVER") == "1";
    if (ena) {
        ++m_sweep;
        // Averaging without trigger averaging: one sweep of the average.
        m_partial = averaging && setting("TRIG:AVER") != "1";
    } else {
        ++m_fired;
        m_partial = averaging && m_fired < m_faults.averages;
        if (!averaging || m_fired == m_faults.averages)
            ++m_sweep;
    }
    if (m_faults.hostile == FakeFaults::Hostile::EscapesInErrors)
        m_errors.push_back("-113,\"Undefined \x1b[2J\x07\xff header\"");
    return {"1\n"};
}

inline FakeTcpInstrument::Reply FakeScpiAnalyser::answerTraces(const std::string &line,
                                                               bool &handled) {
    handled = true;
    if (m_faults.dialect == "ena") {
        const auto count = std::to_string(m_measurements.size());
        if (line == "CALC1:PAR:COUN?")
            return {count + "\n"};
        if (line == "SERV:CHAN1:TRAC:ACT?")
            return {m_selected + "\n"};
        if (line.starts_with("CALC1:PAR:COUN ")) {
            const std::size_t n = std::stoul(line.substr(15));
            if (n < 1 || n > 16) {
                m_errors.push_back("-222,\"Data out of range\"");
                return {};
            }
            const std::lock_guard lock(m_logged);
            while (m_measurements.size() < n) // a new trace measures S11
                m_measurements.push_back({std::to_string(m_measurements.size() + 1), "S11"});
            m_measurements.resize(n);
            if (std::stoul(m_selected) > n)
                m_selected = "1";
            return {};
        }
        std::size_t trace = 0, used = 0;
        if (line.starts_with("CALC1:PAR") &&
            std::sscanf(line.c_str() + 9, "%zu%zn", &trace, &used) == 1) {
            const std::string rest = line.substr(9 + used);
            if (trace < 1 || trace > m_measurements.size()) {
                m_errors.push_back("-114,\"Header suffix out of range\"");
                return {};
            }
            const std::lock_guard lock(m_logged);
            if (rest == ":DEF?")
                return {m_measurements[trace - 1].second + "\n"};
            if (rest.starts_with(":DEF ")) {
                define(std::to_string(trace), rest.substr(5));
                return {};
            }
            if (rest == ":SEL") {
                m_selected = std::to_string(trace);
                return {};
            }
        }
        handled = false;
        return {};
    }
    const std::lock_guard lock(m_logged);
    const bool pna = m_faults.dialect == "pna";
    if (line == (pna ? "CALC1:PAR:CAT:EXT?" : "CALC1:PAR:CAT?")) {
        std::string list;
        for (const auto &[name, p] : m_measurements)
            list += (list.empty() ? "" : ",") + name + "," + p;
        return {quoted(list.empty() ? "NO CATALOG" : list) + "\n"};
    }
    if (line.starts_with(pna ? "CALC1:PAR:DEF:EXT " : "CALC1:PAR:SDEF ")) {
        const auto [name, p] = quotedPair(line);
        define(name, p);
        return {};
    }
    if (line == "CALC1:PAR:SEL?")
        return {quoted(m_selected) + "\n"};
    if (line.starts_with("CALC1:PAR:SEL ") || line.starts_with("CALC1:PAR:DEL ")) {
        const std::string name = quotedPair(line).first;
        const auto m = measurement(name);
        if (m == m_measurements.end())
            m_errors.push_back("-113,\"Undefined measurement\"");
        else if (line.starts_with("CALC1:PAR:SEL "))
            m_selected = name;
        else
            m_measurements.erase(m);
        return {};
    }
    handled = false;
    return {};
}

// The settings the program may change: queried, or set (formats apart).
inline FakeTcpInstrument::Reply FakeScpiAnalyser::answerSetting(const std::string &line,
                                                                bool &handled) {
    handled = true;
    const bool ena = m_faults.dialect == "ena";
    for (const std::string &name :
         {m_trigger, m_continuous, std::string("FORM:DATA"), std::string("FORM:BORD"),
          std::string("TRIG:AVER"), std::string("SENS1:AVER")}) {
        if (name == "TRIG:AVER" && !ena)
            continue;
        if (line == name + "?")
            return {setting(name) + "\n"};
        if (!line.starts_with(name + " ") || name.starts_with("FORM"))
            continue;
        const std::string value = line.substr(name.size() + 1);
        const std::lock_guard lock(m_logged);
        m_settings[name] = value == "ON" ? "1" : value == "OFF" ? "0" : value;
        return {};
    }
    handled = false;
    return {};
}

inline void FakeScpiAnalyser::log(const std::string &sent) {
    const std::lock_guard lock(m_logged);
    // The latest lines only, so that a long soak's log does not grow the
    // process it measures.
    if (m_log.size() >= logCap)
        m_log.erase(m_log.begin(), m_log.begin() + logCap / 2);
    m_log.push_back(sent);
}

inline FakeTcpInstrument::Reply FakeScpiAnalyser::answer(const std::string &sent) {
    log(sent);
    const std::string line = sent.starts_with(':') ? sent.substr(1) : sent;
    using Hostile = FakeFaults::Hostile;
    using Refuses = FakeFaults::Refuses;
    const std::string &dialect = m_faults.dialect;
    const bool ena = dialect == "ena";
    const std::string dataQuery = ena ? "CALC1:DATA:SDAT?" : "CALC1:DATA? SDATA";
    if (line == "*IDN?" && m_faults.hostile == Hostile::FloodIdentity)
        return {std::string(40 << 20, 'x')};
    if (line == "*IDN?" && !m_faults.identity.empty())
        return {m_faults.identity + "\n"};
    if (line == "*IDN?")
        return {ena                ? "Fake,SCPI analyser,0,1\n"
                : dialect == "pna" ? "Keysight Technologies,E5080B,MY00000001,A.16.20\n"
                                   : "Rohde-Schwarz,ZNB8-4Port,1311601062100001,3.45\n"};
    if (line == dataQuery && m_faults.hostile == Hostile::HugeBlock)
        return {"#9999999999" + std::string(4096, '\0'), true};
    bool handled = false;
    if (Reply reply = answerSetting(line, handled); handled)
        return reply;
    if (line == "SENS1:AVER:CLE" && !ena) {
        m_fired = 0;
        return {};
    }
    if (line == "SENS1:AVER:COUN?" || line == "SENS1:SWE:TIME?")
        return {line == "SENS1:SWE:TIME?" ? "+1.5E-2\n" : std::to_string(m_faults.averages) + "\n"};
    if (line == "*CLS")
        m_errors.clear();
    else if (line == "FORM:DATA REAL,64" || line == "FORM:DATA REAL" || line == "FORM:DATA ASC") {
        const bool real64 = line.ends_with(",64"), ascii = line.ends_with("ASC");
        if ((real64 && m_faults.refuses != Refuses::None) ||
            (!ascii && m_faults.refuses == Refuses::Binary)) {
            m_errors.push_back("-224,\"Illegal parameter value\"");
        } else {
            m_ascii = ascii;
            m_real64 = real64;
        }
    } else if (line == "FORM:BORD SWAP" || line == "FORM:BORD NORM")
        m_swapped = line.ends_with("SWAP");
    else if (line == (ena ? "TRIG:SING;*OPC?" : "INIT1:IMM;*OPC?"))
        return fire();
    else if (line == (ena                ? "SENS1:FREQ:DATA?"
                      : dialect == "pna" ? "CALC1:X?"
                                         : "CALC1:DATA:STIM?"))
        return {numbers(frequenciesHz(m_faults.points)), false};
    else if (line == dataQuery) {
        std::string p;
        {
            const std::lock_guard lock(m_logged);
            p = measurement(m_selected) != m_measurements.end() ? measurement(m_selected)->second
                                                                : "S11";
        }
        std::vector<double> data;
        for (const auto &v : parameterValues(m_sweep, p, m_faults.points))
            data.insert(data.end(), {v.real(), v.imag()});
        if (m_partial) // an unfinished average is not sweep k's values
            data[0] += 0.01;
        if (m_faults.hostile == Hostile::NoDataMark)
            data[4] = 9.91e37;
        return {numbers(data), true};
    } else if (line == "SYST:ERR?") {
        if (m_errors.empty())
            return {"+0,\"No error\"\n"};
        const std::string error = m_errors.front();
        m_errors.pop_front();
        return {error + "\n"};
    } else if (line == "*OPC?")
        return {"1\n"};
    else {
        Reply reply = answerTraces(line, handled);
        if (!handled)
            m_errors.push_back("-113,\"Undefined header\"");
        return reply;
    }
    return {};
}

} // namespace varnel::testing
