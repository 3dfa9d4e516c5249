#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// How each family of SCPI analysers is spoken to, as data: the settings the
// program changes (read first, set back when it is done), how a single
// sweep is fired and awaited, how an average is finished, where the
// frequencies and the complex data are read, and how measurements are
// listed, defined, selected and removed. From the instruments' programming
// guides:
//   ena  Keysight ENA (E5061B, E5071C, E5080 excepted) and Copper Mountain:
//        numbered traces (":CALC1:PAR:COUN?", ":CALC1:PAR2:DEF?" -> "S21",
//        ":CALC1:PAR2:SEL"), a bus trigger (":TRIG:SOUR BUS",
//        ":TRIG:SING;*OPC?"), one trigger one finished average
//        (":TRIG:AVER ON"), ":SENS1:FREQ:DATA?" and ":CALC1:DATA:SDAT?";
//   pna  Keysight PNA, PNA-L, PNA-X, E5080, P50xx, M980x: measurements by
//        name ("CALC1:PAR:CAT:EXT?" -> "\"CH1_S11_1,S11\"",
//        "CALC1:PAR:DEF:EXT 'n','S21'", "CALC1:PAR:SEL 'n'",
//        "CALC1:PAR:DEL 'n'"), "TRIG:SOUR IMM", "INIT:CONT OFF" and
//        "INIT1:IMM;*OPC?", "CALC1:X?" and "CALC1:DATA? SDATA";
//   znb  Rohde & Schwarz ZNB, ZNA, ZNL, ZVA: traces by name
//        ("CALC1:PAR:CAT?" -> "'Trc1,S11'", "CALC1:PAR:SDEF 'n','S21'"),
//        "TRIG1:SOUR IMM", "INIT1:CONT OFF", "INIT1:IMM;*OPC?",
//        "CALC1:DATA:STIM?" and "CALC1:DATA? SDATA".
// On pna and znb an average is finished by clearing it and firing as many
// sweeps as "SENS1:AVER:COUN?" says.
// Examples: scpiDialectOf("Keysight Technologies,E5080B,MY1,A.16") -> pna;
// of "Rohde-Schwarz,ZNB8-4Port,1,3.45" -> znb; of "Keysight
// Technologies,E5071C,MY1,B.14" -> ena; scpiCommand("CALC1:PAR:SEL '%n'",
// "CH1_S11_1") -> "CALC1:PAR:SEL 'CH1_S11_1'"; parseScpiCatalog("'Trc1,S11,
// Trc2,S21'") -> {Trc1 S11, Trc2 S21}.
namespace varnel {

enum class ScpiDialectKind { Ena, Pna, Znb };

struct KeptSetting {
    std::string_view query, set; // ":TRIG:SOUR?", ":TRIG:SOUR " (the value follows)
};

struct ScpiDialect {
    ScpiDialectKind kind;
    std::string_view name; // as written after "?dialect="
    std::span<const KeptSetting> kept;
    std::span<const std::string_view> setUp; // after the data format is chosen
    std::string_view trigger;                // fires one sweep; "*OPC?" answers once done
    std::string_view averaging;              // "1" or "ON" when averaging is on
    std::string_view triggerAveraging;       // ENA: one trigger, the whole average
    std::string_view averageCount, averageClear;
    std::string_view frequencies, data;
    // Named measurements (pna, znb): the catalog of names and parameters.
    std::string_view catalog;
    // Numbered traces (ena): their count, set and queried.
    std::string_view traceCount, setTraceCount;
    std::string_view definition; // a trace's parameter ("%n": its number)
    // "%n" the name (or number), "%p" the parameter ("S21").
    std::string_view define, select, selected, remove;
};

const ScpiDialect &scpiDialect(ScpiDialectKind kind);
// The dialect named as after "?dialect=" ("ena", "pna", "znb").
std::optional<ScpiDialectKind> scpiDialectNamed(std::string_view name);
// "ena, pna or znb", for messages.
std::string scpiDialectNames();
// The dialect an "*IDN?" reply names: its maker and model; ena otherwise.
ScpiDialectKind scpiDialectOf(std::string_view identity);

// A pattern's "%n" and "%p" replaced by `name` and `parameter`.
std::string scpiCommand(std::string_view pattern, std::string_view name,
                        std::string_view parameter = {});

struct ScpiMeasurement {
    std::string name, parameter;
    friend bool operator==(const ScpiMeasurement &, const ScpiMeasurement &) = default;
};
// The name and parameter pairs of a catalog reply, its quotes dropped
// ("NO CATALOG" and an empty list: none).
std::vector<ScpiMeasurement> parseScpiCatalog(std::string_view reply);
// A reply's value without its quotes and spaces ("\"S21\"" -> "S21").
std::string_view unquotedValue(std::string_view reply);

// A value an analyser gave ("INT", "REAL,64", "+1", "CH1_S11_1") that may
// be sent back to it: letters, digits and "+-.,_", at most 32.
bool plainScpiValue(std::string_view value);

} // namespace varnel
