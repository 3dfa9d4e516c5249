#include "fuzz_checks.h"

#include "calculation/calculate.h"
#include "calculation/conversions.h"
#include "cli/batch.h"
#include "quoting/quote.h"
#include "safe_text.h"
#include "touchstone/touchstone.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace varnel::fuzz {

namespace {

[[noreturn]] void fail(const char *what, std::string_view detail) {
    std::fprintf(stderr, "fuzz check failed: %s: %.*s\n", what, static_cast<int>(detail.size()),
                 detail.data());
    std::abort();
}

void require(bool condition, const char *what, std::string_view detail) {
    if (!condition)
        fail(what, detail);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// -?digits?.(up to three decimals, last not 0), or "0."
bool matchesResultPattern(std::string_view text) {
    if (text == "0.")
        return true;
    std::size_t i = text.starts_with('-') ? 1 : 0;
    while (i < text.size() && isDigit(text[i]))
        ++i;
    if (i >= text.size() || text[i] != '.')
        return false;
    const std::string_view decimals = text.substr(i + 1);
    if (decimals.size() > 3 || (!decimals.empty() && decimals.back() == '0'))
        return false;
    for (char c : decimals)
        if (!isDigit(c))
            return false;
    return text.size() > (text.starts_with('-') ? 2u : 1u) || !decimals.empty();
}

bool isAnswerLine(std::string_view line) {
    return line == "error 6: Overflow" || line == "error 11: Division by zero" ||
           line.starts_with("invalid: ") || matchesResultPattern(line);
}

} // namespace

void checkCalculate(const std::uint8_t *data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    std::string_view fields[3];
    std::string_view rest = input;
    for (int i = 0; i < 3; ++i) {
        const std::size_t tab = i < 2 ? rest.find('\t') : std::string_view::npos;
        fields[i] = rest.substr(0, tab);
        rest = tab == std::string_view::npos ? std::string_view() : rest.substr(tab + 1);
    }
    const Result<Calculation> first = calculateSteps(fields[0], fields[1], fields[2]);
    const Result<Calculation> second = calculateSteps(fields[0], fields[1], fields[2]);
    require(first.ok() == second.ok(), "deterministic", input);
    if (!first) {
        const int number = first.error().number();
        require(number == 6 || number == 11, "error number", input);
        require(second.error().number() == number, "deterministic error", input);
        return;
    }
    const Calculation &c = *first;
    require(c.text == second->text, "deterministic text", input);
    require(matchesResultPattern(c.text), "result pattern", c.text);
    require(std::isfinite(c.delay), "finite delay", c.text);
    // Half a unit of the third decimal, plus half a unit of the 15th
    // significant digit: the value is rounded to 15 digits before the half
    // is judged (11102932661.05849... -> 11102932661.0585 -> .059), and
    // digits past the 15th are written as zeros. Reading the text back rounds
    // once more to the nearest double, so one unit in the last place of the
    // value is allowed on top (1.00063479735054496e32 is written
    // "100063479735054000000000000000000.", which reads back 8.6e15 lower).
    const Result<double> readBack = readLeadingNumber(c.text);
    require(readBack.ok(), "text reads back", c.text);
    const double magnitude = std::fabs(c.delay);
    const double ulp = std::nextafter(magnitude, HUGE_VAL) - magnitude;
    const double tolerance = (0.0005 + 5e-15 * magnitude) * (1 + 1e-12) + ulp;
    require(std::fabs(*readBack - c.delay) <= tolerance, "text within half a unit", c.text);
}

void checkBatch(const std::uint8_t *data, std::size_t size) {
    if (size == 0)
        return;
    // The first byte chooses the chunk size.
    const std::size_t chunk = 1 + data[0] % 17;
    const std::string_view input(reinterpret_cast<const char *>(data + 1), size - 1);
    BatchProcessor batch;
    std::string output;
    for (std::size_t at = 0; at < input.size(); at += chunk) {
        batch.feed(input.substr(at, chunk));
        output += batch.output();
        batch.output().clear();
    }
    batch.finish();
    output += batch.output();

    std::size_t lines = 0;
    for (char c : input)
        lines += c == '\n';
    if (!input.empty() && input.back() != '\n')
        ++lines;
    std::size_t answers = 0;
    std::string_view rest = output;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        require(end != std::string_view::npos, "answer ends with a line end", rest);
        require(isAnswerLine(rest.substr(0, end)), "answer line", rest.substr(0, end));
        ++answers;
        rest.remove_prefix(end + 1);
    }
    require(answers == lines, "one answer per line", input);
    require(batch.lineCount() == lines, "line count", input);
}

void checkTouchstone(const std::uint8_t *data, std::size_t size) {
    if (size == 0)
        return;
    static const char *const names[] = {"f.s1p", "f.s2p", "f.s3p", "f.s4p", "f.ts", "f.txt"};
    const std::string name = names[data[0] % 6];
    const std::string_view text(reinterpret_cast<const char *>(data + 1), size - 1);
    const auto full = readTouchstoneText(name, text);
    const auto only = readTouchstoneText(name, text, ReadOptions{SParameter{1, 1}});
    require(full.index() == only.index(), "keeping S11 changes whether the file reads", text);
    // Whatever the bytes, quoted they are safe to print and bounded.
    const std::string token = quotedToken(text);
    require(testing::safeToShow(token) && testing::safeToShow(quotedName(text)),
            "quoting lets through", text);
    require(token.size() <= 2 + 3 + quotedTokenLength * 10, "quoted token not cut", text);
    if (const auto *error = std::get_if<TouchstoneError>(&full)) {
        require(error->message().starts_with(name + ":"), "error without the file name", text);
        require(!error->reason.empty(), "error without a reason", text);
        require(testing::safeToShow(error->message()), "message not safe to print", text);
        require(error->message().size() <= 600, "message too long", text);
        return;
    }
    const Network &n = std::get<Network>(full);
    require(n.ports >= 1 && n.ports <= 4, "port count", text);
    require(n.size() >= 1, "no points", text);
    require(n.values.size() == n.size() * static_cast<std::size_t>(n.ports * n.ports),
            "value count", text);
    for (std::size_t i = 0; i < n.size(); ++i) {
        require(std::isfinite(n.frequencyMHz[i]) && n.frequencyMHz[i] >= 0, "frequency", text);
        require(i == 0 || n.frequencyMHz[i] > n.frequencyMHz[i - 1], "frequency order", text);
    }
    for (const auto &v : n.values)
        require(std::isfinite(v.real()) && std::isfinite(v.imag()), "value not finite", text);
    const Network &s11 = std::get<Network>(only);
    require(s11.frequencyMHz == n.frequencyMHz, "S11 alone: frequencies", text);
    require(s11.values == n.parameter({1, 1}), "S11 alone: values", text);
}

} // namespace varnel::fuzz
