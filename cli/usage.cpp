#include "cli/usage.h"

namespace varnel {

namespace {

std::string plainOption(const OptionRow &row) {
    std::string text(row.name);
    if (!row.valueName.empty())
        text.append(" ").append(row.valueName);
    return text;
}

std::string plainArgument(std::string_view text) {
    return std::string(text);
}

constexpr UsageSpelling plain{plainOption, plainArgument, " | "};

// The usage line's words with the program's name first.
std::vector<std::string> plainWords(const Form &form) {
    std::vector<std::string> words = {"varnel-calc"};
    for (std::string &word : usageWords(form, plain))
        words.push_back(std::move(word));
    return words;
}

std::string joined(const std::vector<std::string> &words) {
    std::string line;
    for (const std::string &word : words)
        line += (line.empty() ? "" : " ") + word;
    return line;
}

} // namespace

std::vector<std::string> usageWords(const Form &form, const UsageSpelling &spelling) {
    std::vector<std::string> words;
    if (!form.subcommand.empty())
        words.emplace_back(form.subcommand);
    for (const OptionRow &row : form.options)
        if (row.inUsage == InUsage::Required)
            words.push_back(spelling.option(row));
    if (!form.leading.empty())
        words.push_back(spelling.argument(form.leading));
    std::string group;
    for (const OptionRow &row : form.options) {
        if (row.inUsage != InUsage::Optional)
            continue;
        group +=
            (group.empty() ? std::string("[") : std::string(spelling.bar)) + spelling.option(row);
        if (!row.orNext) {
            words.push_back(group + "]");
            group.clear();
        }
    }
    if (!form.trailing.empty())
        words.push_back(spelling.argument(form.trailing));
    return words;
}

std::vector<std::string> usageLines(const Form &form) {
    std::vector<std::string> lines = {joined(plainWords(form))};
    for (const OptionRow &row : form.options)
        if (row.inUsage == InUsage::OwnLine)
            lines.push_back("varnel-calc " + std::string(row.name));
    return lines;
}

const std::string_view sourceHelp =
    "      SOURCE is a Touchstone file or an analyser, one complete sweep of it:\n"
    "      scpi://HOST[:PORT][?dialect=ena|pna|znb] an SCPI analyser on a raw\n"
    "      socket (port 5025; S11, or all four of a 2-port analyser),\n"
    "      librevna://HOST[:PORT] LibreVNA's GUI through its SCPI server (port\n"
    "      19542; S11, or all four with S12, S21 and S22 traces), nanovna:DEVICE\n"
    "      a NanoVNA's USB shell (nanovna:/dev/ttyACM0; S11 and S21); \"-\" is\n"
    "      standard input, its port count from --ports N or from the data.\n";

std::string formHelp(const Form &form, std::size_t width, bool withSources) {
    const std::vector<std::string> words = plainWords(form);
    const std::size_t head = form.subcommand.empty() ? 1 : 2; // words kept on the first line
    std::string text = "  " + joined({words.begin(), words.begin() + head});
    const std::string indent(text.size() + 1, ' ');
    std::size_t column = text.size();
    for (std::size_t i = head; i < words.size(); ++i) {
        if (column + 1 + words[i].size() > width && column > indent.size()) {
            text.append("\n").append(indent).append(words[i]);
            column = indent.size() + words[i].size();
        } else {
            text.append(" ").append(words[i]);
            column += 1 + words[i].size();
        }
    }
    text.append("\n").append(form.help);
    if (withSources && form.leading.starts_with("SOURCE"))
        text.append(sourceHelp);
    for (const OptionRow &row : form.options)
        if (row.inUsage == InUsage::OwnLine)
            text.append("\n  varnel-calc ").append(row.name).append("\n").append(row.help);
    return text;
}

} // namespace varnel
