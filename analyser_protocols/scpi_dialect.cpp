#include "analyser_protocols/scpi_dialect.h"

#include "quoting/quote.h"

#include <algorithm>
#include <cctype>

namespace varnel {

namespace {

constexpr KeptSetting enaKept[] = {
    {":TRIG:SOUR?", ":TRIG:SOUR "}, {":INIT1:CONT?", ":INIT1:CONT "},
    {":FORM:DATA?", ":FORM:DATA "}, {":FORM:BORD?", ":FORM:BORD "},
    {":TRIG:AVER?", ":TRIG:AVER "},
};
constexpr std::string_view enaSetUp[] = {":FORM:BORD SWAP", ":TRIG:SOUR BUS", ":INIT1:CONT ON"};

constexpr KeptSetting pnaKept[] = {
    {"TRIG:SOUR?", "TRIG:SOUR "},
    {"INIT:CONT?", "INIT:CONT "},
    {"FORM:DATA?", "FORM:DATA "},
    {"FORM:BORD?", "FORM:BORD "},
};
constexpr std::string_view pnaSetUp[] = {"FORM:BORD SWAP", "TRIG:SOUR IMM", "INIT:CONT OFF"};

constexpr KeptSetting znbKept[] = {
    {"TRIG1:SOUR?", "TRIG1:SOUR "},
    {"INIT1:CONT?", "INIT1:CONT "},
    {"FORM:DATA?", "FORM:DATA "},
    {"FORM:BORD?", "FORM:BORD "},
};
constexpr std::string_view znbSetUp[] = {"FORM:BORD SWAP", "TRIG1:SOUR IMM", "INIT1:CONT OFF"};

const ScpiDialect dialects[] = {
    {.kind = ScpiDialectKind::Ena,
     .name = "ena",
     .kept = enaKept,
     .setUp = enaSetUp,
     .trigger = ":TRIG:SING;*OPC?",
     .averaging = ":SENS1:AVER?",
     .triggerAveraging = ":TRIG:AVER ",
     .averageCount = {},
     .averageClear = {},
     .frequencies = ":SENS1:FREQ:DATA?",
     .data = ":CALC1:DATA:SDAT?",
     .catalog = {},
     .traceCount = ":CALC1:PAR:COUN?",
     .setTraceCount = ":CALC1:PAR:COUN ",
     .definition = ":CALC1:PAR%n:DEF?",
     .define = ":CALC1:PAR%n:DEF %p",
     .select = ":CALC1:PAR%n:SEL",
     .selected = ":SERV:CHAN1:TRAC:ACT?",
     .remove = {}},
    {.kind = ScpiDialectKind::Pna,
     .name = "pna",
     .kept = pnaKept,
     .setUp = pnaSetUp,
     .trigger = "INIT1:IMM;*OPC?",
     .averaging = "SENS1:AVER?",
     .triggerAveraging = {},
     .averageCount = "SENS1:AVER:COUN?",
     .averageClear = "SENS1:AVER:CLE",
     .frequencies = "CALC1:X?",
     .data = "CALC1:DATA? SDATA",
     .catalog = "CALC1:PAR:CAT:EXT?",
     .traceCount = {},
     .setTraceCount = {},
     .definition = {},
     .define = "CALC1:PAR:DEF:EXT '%n','%p'",
     .select = "CALC1:PAR:SEL '%n'",
     .selected = "CALC1:PAR:SEL?",
     .remove = "CALC1:PAR:DEL '%n'"},
    {.kind = ScpiDialectKind::Znb,
     .name = "znb",
     .kept = znbKept,
     .setUp = znbSetUp,
     .trigger = "INIT1:IMM;*OPC?",
     .averaging = "SENS1:AVER?",
     .triggerAveraging = {},
     .averageCount = "SENS1:AVER:COUN?",
     .averageClear = "SENS1:AVER:CLE",
     .frequencies = "CALC1:DATA:STIM?",
     .data = "CALC1:DATA? SDATA",
     .catalog = "CALC1:PAR:CAT?",
     .traceCount = {},
     .setTraceCount = {},
     .definition = {},
     .define = "CALC1:PAR:SDEF '%n','%p'",
     .select = "CALC1:PAR:SEL '%n'",
     .selected = "CALC1:PAR:SEL?",
     .remove = "CALC1:PAR:DEL '%n'"},
};

// Makers and model prefixes of the named-measurement families, as "*IDN?"
// gives them (maker, model, serial, firmware).
struct Family {
    std::string_view maker, model;
    ScpiDialectKind kind;
};
constexpr Family families[] = {
    {"KEYSIGHT", "E5080", ScpiDialectKind::Pna}, {"KEYSIGHT", "N52", ScpiDialectKind::Pna},
    {"KEYSIGHT", "P50", ScpiDialectKind::Pna},   {"KEYSIGHT", "M980", ScpiDialectKind::Pna},
    {"AGILENT", "N52", ScpiDialectKind::Pna},    {"ROHDE", "", ScpiDialectKind::Znb},
};

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

} // namespace

const ScpiDialect &scpiDialect(ScpiDialectKind kind) {
    for (const ScpiDialect &dialect : dialects)
        if (dialect.kind == kind)
            return dialect;
    return dialects[0];
}

std::optional<ScpiDialectKind> scpiDialectNamed(std::string_view name) {
    for (const ScpiDialect &dialect : dialects)
        if (dialect.name == name)
            return dialect.kind;
    return std::nullopt;
}

std::string scpiDialectNames() {
    return "ena, pna or znb";
}

ScpiDialectKind scpiDialectOf(std::string_view identity) {
    const std::size_t comma = identity.find(',');
    const std::string maker = asciiUpper(trimmed(identity.substr(0, comma)));
    const std::string_view rest =
        comma == std::string_view::npos ? std::string_view() : identity.substr(comma + 1);
    const std::string model = asciiUpper(trimmed(rest.substr(0, rest.find(','))));
    for (const Family &family : families)
        if (maker.starts_with(family.maker) && model.starts_with(family.model))
            return family.kind;
    return ScpiDialectKind::Ena;
}

std::string scpiCommand(std::string_view pattern, std::string_view name,
                        std::string_view parameter) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() &&
            (pattern[i + 1] == 'n' || pattern[i + 1] == 'p')) {
            out.append(pattern[i + 1] == 'n' ? name : parameter);
            ++i;
        } else {
            out.push_back(pattern[i]);
        }
    }
    return out;
}

std::string_view unquotedValue(std::string_view reply) {
    reply = trimmed(reply);
    if (reply.size() >= 2 && (reply.front() == '"' || reply.front() == '\'') &&
        reply.back() == reply.front())
        reply = reply.substr(1, reply.size() - 2);
    return trimmed(reply);
}

std::vector<ScpiMeasurement> parseScpiCatalog(std::string_view reply) {
    std::string_view list = unquotedValue(reply);
    std::vector<ScpiMeasurement> found;
    if (asciiUpper(list) == "NO CATALOG")
        return found;
    std::vector<std::string_view> items;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        items.push_back(trimmed(list.substr(0, comma)));
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    }
    for (std::size_t i = 0; i + 1 < items.size(); i += 2)
        found.push_back({std::string(items[i]), asciiUpper(items[i + 1])});
    return found;
}

bool plainScpiValue(std::string_view value) {
    return !value.empty() && value.size() <= 32 &&
           value.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                   "0123456789+-.,_") == std::string_view::npos;
}

} // namespace varnel
