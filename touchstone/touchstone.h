#pragma once

#include <complex>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// Touchstone network-parameter files, versions 1.1, 2.0 and 2.1, 1 to 4
// ports (.s1p ... .s4p), as network analysers and simulators write them.
//
// Option line "# <unit> <parameter> <format> R <n>": case-insensitive, fields
// in any order, each optional (default "GHz S MA R 50"); only the first
// option line counts. Units Hz, kHz, MHz, GHz; formats RI (real, imaginary),
// MA (magnitude, angle in degrees), DB (20 log10 magnitude, angle in
// degrees); parameters S, or Z and Y, converted to S with the reference
// resistance (version 1: Z and Y normalised to R; version 2: in ohms and
// siemens, per-port references from [Reference]).
// Data: a frequency and the matrix, 2-port in the order N11 N21 N12 N22
// (version 2: as [Two-Port Data Order] says), larger networks row by row,
// version 2 also [Matrix Format] Upper or Lower. A point may wrap over lines
// but ends at a line end. "!" starts a comment anywhere; blank lines, tabs,
// CRLF, a UTF-8 byte-order mark and any bytes in comments are read. In a
// 2-port version 1 file a frequency at or below the previous one starts the
// noise block, which ends the network data and holds lines of 5 numbers;
// otherwise frequencies increase strictly. Text is ASCII or UTF-8: a UTF-16
// or UTF-32 file is refused as such. A file that changes while it is read, or
// within a settle interval after it was last written, is read again, a few
// times at most, and never taken in part. Numbers are decimal: "nan", "inf" and
// hexadecimal forms are errors like any other unreadable token.
//
// Worked example: the file "lc.s1p" holding
//     ! a resonator
//     # MHz S DB R 50
//     100  -6.0206  90
//     101  -0.5  -45   ! comment
// gives 1 port, frequencies 100 and 101 MHz, S11 = 0.5j (|S11| =
// 10^(-6.0206/20) = 0.5 at 90 degrees) and 0.944 at -45 degrees.
// With "101 -0.5" on the last line instead: "lc.s1p:4: expected 3 numbers,
// found 2".
namespace varnel {

// Why a file could not be read. The message names the file, the line (when
// there is one) and the reason: "lc.s2p:17: expected 9 numbers, found 7".
struct TouchstoneError {
    enum Kind {
        CannotOpen,      // the file does not exist or may not be read
        ReadFailed,      // reading failed part-way (an I/O error, a directory)
        UnknownPorts,    // a version 1 file whose name does not end .s1p ... .s4p
        BadOption,       // an option-line field that is not a unit, parameter,
                         // format or "R <number>"
        BadKeyword,      // a version 2 keyword with a missing or wrong value,
                         // or out of place
        Unsupported,     // ports beyond 4, H or G parameters, mixed-mode data
        BadNumber,       // a data token that is not a decimal number, or beyond
                         // the double range
        WrongCount,      // a data point with too few or too many numbers
        FrequencyOrder,  // a frequency not above the previous one
        FrequencyCount,  // version 2: fewer or more points than declared
        NoData,          // no data point at all
        LineTooLong,     // a line longer than maxLineLength bytes
        NoSEquivalent,   // Z or Y data at a point where S does not exist
        NoSuchParameter, // the parameter asked for is not in the file (S31 of
                         // a 2-port)
        NotRegularFile,  // a FIFO, device, socket or folder where a file
                         // was asked for (ReadOptions::regularFileOnly)
        NotText,         // UTF-16 or UTF-32 text, or NUL bytes in the first line
        Changing,        // the file changed during every one of its reads
    } kind;
    std::string file;
    std::size_t line = 0; // 1-based; 0 when the error has no line
    std::string reason;

    // "file:line: reason", or "file: reason" without a line; the file as
    // quotedName shows it ("'my sweep.s2p':3: ..."), tokens from the file
    // in the reason quoted and cut by quotedToken.
    std::string message() const;
};

// One S-parameter: row and column, 1-based (S21: row 2, column 1).
struct SParameter {
    int row = 1;
    int column = 1;

    // "S21".
    std::string name() const { return {'S', char('0' + row), char('0' + column)}; }
};

// Parses "S11", "s21", ...; nullopt for anything else.
std::optional<SParameter> parseSParameter(std::string_view text);

// One parameter's values where the network holds them, without a copy:
// every stride-th value from `data`. A vector is a view of stride 1.
// Example: S21 of a 2-port held as the full matrix (S11 S12 S21 S22 a
// point) starts at the third value with stride 4.
struct ParameterView {
    const std::complex<double> *data = nullptr;
    std::size_t count = 0, stride = 1;

    ParameterView() = default;
    ParameterView(const std::complex<double> *first, std::size_t n, std::size_t step)
        : data(first), count(n), stride(step) {}
    ParameterView(const std::vector<std::complex<double>> &values)
        : data(values.data()), count(values.size()) {}
    std::size_t size() const { return count; }
    bool empty() const { return count == 0; }
    const std::complex<double> &operator[](std::size_t k) const { return data[k * stride]; }
};

// A network's S-parameters against frequency.
struct Network {
    int ports = 0;
    double referenceOhms = 50; // of port 1
    // In MHz, converted from the file's unit by one correctly rounded
    // operation, so a file in MHz keeps its frequencies exactly.
    std::vector<double> frequencyMHz;
    // With `only` set: that parameter, one value a point. Otherwise the full
    // matrix, ports * ports values a point, row by row.
    std::optional<SParameter> only;
    std::vector<std::complex<double>> values;
    // A 2-port sweep measured forward only (a NanoVNA's S11 and S21): S12
    // and S22 are not measured, held as NaN, and no 2-port file is made of it.
    bool forwardOnly = false;

    std::size_t size() const { return frequencyMHz.size(); }
    // Whether `which` was measured: S21 of a forward-only sweep, not S22.
    bool has(SParameter which) const;
    // One parameter at every point; it must be kept (all are without `only`).
    std::vector<std::complex<double>> parameter(SParameter which) const;
    // The same in place, for reading without a copy while the network lives.
    ParameterView view(SParameter which) const;
    // Keeps only `which`, as a read with ReadOptions::only would; false
    // when the network does not have it.
    bool keepOnly(SParameter which);
};

// Asks that the whole 2 MiB pages within [data, data + bytes) be backed by
// huge pages as they are first written: a million points fault in a few
// dozen pages, not ten thousand. Only advice; small arrays are left alone.
void adviseHugePages(const void *data, std::size_t bytes);

// What kind of file a path names, from the type bits of stat's st_mode, so
// that anything but a regular file can be refused before it is read.
enum class FileKind { Regular, Fifo, Folder, CharacterDevice, BlockDevice, Socket, Other };
FileKind fileKindOf(unsigned mode);
// "a FIFO", "a folder", "a character device", ... ("a regular file").
const char *fileKindText(FileKind kind);

// What to read.
struct ReadOptions {
    // Keep just this parameter, so that memory grows by 24 bytes a point
    // whatever the port count; it must exist in the file.
    std::optional<SParameter> only;
    // Refuse, before reading a byte, anything but a regular file: a FIFO
    // would block the reader until a writer came.
    bool regularFileOnly = false;
    // A file modified less than this long ago may still be being written
    // (analyser programs save in pieces): the read waits until it has stayed
    // the same for this long. 0 for a caller that waits on its own.
    int settleMs = 30;
    // The port count of a version 1 text whose name has no ".sNp" (a reply
    // from an instrument); 0 takes it from the name.
    int ports = 0;
};

// The port count of a version 1 text from its first record, for a text that
// comes without a name (standard input): a record starts on a line of an odd
// number of values (the frequency and its pairs) and goes on over lines of an
// even number, 1 + 2·N² values in all. 1 to 4, or 0 when the data cannot
// tell (no data, a count that is no such square).
// Examples: first data lines "100 0.1 0.2" then "101 ..." give 1; "100" and
// 8 values on one line give 2; 7, 6 and 6 values give 3; 9, 8, 8 and 8
// values give 4; "100 0.1" alone gives 0.
int portsFromData(std::string_view text);

// Reads a Touchstone file, streaming: the text is read in blocks and only
// the numbers are kept. The number of ports of a version 1 file comes from
// its name.
std::variant<Network, TouchstoneError> readTouchstoneFile(const std::string &path,
                                                          const ReadOptions &options = {});

// Reads a Touchstone text given whole; `name` stands for the file in
// messages and gives a version 1 file its port count.
std::variant<Network, TouchstoneError>
readTouchstoneText(std::string_view name, std::string_view text, const ReadOptions &options = {});

// A 1-port file "# MHz S RI R 50" with the given comment lines first and one
// line "f_mhz re im" a point, every number in its shortest exact form.
std::string writeS1p(const std::vector<std::string> &comments, const std::vector<double> &fMHz,
                     const std::vector<std::complex<double>> &s11);

// A 2-port file "# MHz S RI R 50" from a full 2-port network (values row by
// row, as Network keeps them): one line "f_mhz" and S11 S21 S12 S22 as real
// and imaginary pairs a point, the order version 1 files use.
std::string writeS2p(const std::vector<std::string> &comments, const Network &network);
// A sweep as it is: writeS1p for one parameter or a 1-port (S11 of a
// forward-only sweep), writeS2p for a full 2-port; none for more ports.
std::optional<std::string> writeSweep(const std::vector<std::string> &comments,
                                      const Network &network);

} // namespace varnel
