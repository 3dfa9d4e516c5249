#include "cli/doc_pages.h"
#include "cli/usage.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <vector>

namespace varnel {

namespace {

// Text for roff: every '-' and '\' escaped.
std::string roff(std::string_view text) {
    std::string out;
    for (const char c : text)
        out += c == '-' ? std::string("\\-") : c == '\\' ? std::string("\\e") : std::string(1, c);
    return out;
}

// An argument's text with its names in italics and its brackets and bars
// upright: "[ORDER [BANDWIDTH]]" gives "[\fIORDER\fR [\fIBANDWIDTH\fR]]".
std::string roffArgument(std::string_view text) {
    std::string out;
    bool inName = false;
    int depth = 0; // of brackets: a blank within them does not break the line
    for (const char c : text) {
        const bool nameChar = c != '[' && c != ']' && c != ' ' && c != '|';
        if (nameChar != inName)
            out += nameChar ? "\\fI" : "\\fR";
        inName = nameChar;
        depth += c == '[' ? 1 : c == ']' ? -1 : 0;
        out += c == ' ' && depth > 0 ? std::string("\\ ") : roff(std::string_view(&c, 1));
    }
    return inName ? out + "\\fR" : out;
}

// "--qu Q" as "\fB\-\-qu\fR\ \fIQ\fR", kept on one line.
std::string roffOption(const OptionRow &row) {
    std::string text = "\\fB" + roff(row.name) + "\\fR";
    if (!row.valueName.empty())
        text += "\\ " + roffArgument(row.valueName);
    return text;
}

void synopsisOf(const Form &form, std::string &page) {
    page += ".SY varnel\\-calc\n";
    const std::vector<std::string> words =
        usageWords(form, UsageSpelling{roffOption, roffArgument, "\\ |\\ "});
    // One word a line: roff fills them, with the hanging indent of .SY.
    for (const std::string &word : words)
        page += word + "\n";
    page += ".YS\n";
    for (const OptionRow &row : form.options)
        if (row.inUsage == InUsage::OwnLine)
            page += ".SY varnel\\-calc\n" + roffOption(row) + "\n.YS\n";
}

// What a value name completes to: a list of words, or file names.
struct ValueCompletion {
    std::string_view valueName;
    std::string_view action;
};
constexpr ValueCompletion valueCompletions[] = {
    {"Sij", "COMPREPLY=($(compgen -W 'S11 S21 S12 S22 S31 S32 S33 S13 S23 S41 S42 S43 S44 S14 "
            "S24 S34' -- \"$cur\"))"},
    {"NAME", "COMPREPLY=($(compgen -W 'R1 R2 R3 R4 R5 R6 R7 R8 K12 K23 K34 K45 K56 K67 K78 QIN "
             "QOUT' -- \"$cur\"))"},
    {"DB", "_filedir '@(db|sqlite)'"},
    {"OUT", "_filedir '@(html|htm)'"},
};

// The lower-case words of a value name such as "kaiser[:BETA]|hann|LIST".
std::vector<std::string> choiceWords(std::string_view valueName) {
    std::vector<std::string> words;
    if (valueName.find('|') == std::string_view::npos)
        return words;
    std::string word;
    bool skipping = false;
    for (const char c : std::string(valueName) + "|") {
        if (c == '[')
            skipping = true;
        else if (c == ']')
            skipping = false;
        else if (c == '|') {
            if (!word.empty() &&
                std::none_of(word.begin(), word.end(), [](char c) { return c >= 'A' && c <= 'Z'; }))
                words.push_back(word);
            word.clear();
        } else if (!skipping)
            word += c;
    }
    return words;
}

std::string joinedWords(const std::set<std::string> &words, std::string_view separator) {
    std::string text;
    for (const std::string &word : words)
        text += (text.empty() ? "" : std::string(separator)) + word;
    return text;
}

// The case over the word before the cursor: an option's value.
std::string valueCases(std::span<const Form *const> forms) {
    std::map<std::string, std::set<std::string>> choices; // option -> words
    std::map<std::string, std::string_view> actions;
    std::set<std::string> plain;
    for (const Form *form : forms)
        for (const OptionRow &row : form->options) {
            if (row.valueName.empty())
                continue;
            const std::string name(row.name);
            const auto listed = std::find_if(
                std::begin(valueCompletions), std::end(valueCompletions),
                [&](const ValueCompletion &v) { return v.valueName == row.valueName; });
            if (listed != std::end(valueCompletions))
                actions[name] = listed->action;
            else if (const auto words = choiceWords(row.valueName); !words.empty())
                choices[name].insert(words.begin(), words.end());
            else
                plain.insert(name);
        }
    std::string text = "    case $prev in\n";
    for (const auto &[name, action] : actions)
        text += "        " + name + ")\n            " + std::string(action) +
                "\n            return\n            ;;\n";
    for (const auto &[name, words] : choices)
        text += "        " + name + ")\n            COMPREPLY=($(compgen -W '" +
                joinedWords(words, " ") + "' -- \"$cur\"))\n            return\n            ;;\n";
    for (const auto &[name, words] : choices)
        plain.erase(name);
    for (const auto &[name, action] : actions)
        plain.erase(name);
    text += "        " + joinedWords(plain, " | ") +
            ")\n            return\n            ;;\n    esac\n";
    return text;
}

// The options a form offers, and the files its arguments name.
std::string formCase(const Form &form, std::span<const Form *const> forms) {
    std::string options;
    for (const OptionRow &row : form.options)
        options.append(options.empty() ? "" : " ").append(row.name);
    options.append(" ").append(versionRow.name);
    if (form.subcommand.empty())
        for (const Form *other : forms)
            if (!other->subcommand.empty())
                options.append(" ").append(other->subcommand);
    const std::string_view files =
        form.leading.starts_with("SOURCE") || form.leading.starts_with("BEFORE") ? "touchstone"
        : form.leading == "DB"                                                   ? "journal"
                                                                                 : "";
    std::string text = "        ";
    text.append(form.subcommand.empty() ? std::string_view("\"\"") : form.subcommand)
        .append(")\n            options='")
        .append(options)
        .append("'\n            files=")
        .append(files)
        .append("\n            ;;\n");
    return text;
}

} // namespace

std::string manSynopsis(std::span<const Form *const> forms) {
    std::string page;
    for (const Form *form : forms)
        synopsisOf(*form, page);
    page += ".SY varnel\\-calc\n[\\fISUBCOMMAND\\fR]\n\\fB\\-\\-help\\fR\\ |\\ "
            "\\fB\\-\\-version\\fR\n.YS\n";
    return page;
}

std::string bashCompletion(std::span<const Form *const> forms) {
    std::string subcommands;
    for (const Form *form : forms)
        if (!form->subcommand.empty())
            subcommands += (subcommands.empty() ? "" : " | ") + std::string(form->subcommand);
    std::string text = "# bash completion for varnel-calc, made from its option tables\n"
                       "_varnel_calc() {\n"
                       "    local cur prev words cword\n"
                       "    _init_completion || return\n\n"
                       "    local subcommand=\"\" word\n"
                       "    for word in \"${words[@]:1:cword-1}\"; do\n"
                       "        case $word in\n"
                       "            " +
                       subcommands +
                       ")\n"
                       "                subcommand=$word\n"
                       "                break\n"
                       "                ;;\n"
                       "        esac\n"
                       "    done\n\n";
    text += valueCases(forms);
    text += "\n    local options files\n    case $subcommand in\n";
    for (const Form *form : forms)
        text += formCase(*form, forms);
    text += "    esac\n"
            "    if [[ $cur == -* || -z $subcommand ]]; then\n"
            "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
            "        return\n"
            "    fi\n"
            "    case $files in\n"
            "        touchstone) _filedir '@(s[1-4]p|S[1-4]P|ts)' ;;\n"
            "        journal) _filedir '@(db|sqlite)' ;;\n"
            "    esac\n"
            "} &&\n"
            "    complete -F _varnel_calc varnel-calc\n";
    return text;
}

std::vector<std::string> undescribedNames(const std::vector<std::string> &names,
                                          std::string_view page) {
    const std::size_t start = page.starts_with(".SH OPTIONS\n") ? 0 : page.find("\n.SH OPTIONS\n");
    const std::size_t end =
        start == std::string_view::npos ? start : page.find("\n.SH ", start + 1);
    const std::string_view section =
        start == std::string_view::npos ? std::string_view() : page.substr(start, end - start);
    // The tag line after each ".TP" or ".TQ": its "\-\-name" words.
    std::set<std::string> described;
    bool tagLine = false;
    for (std::size_t at = 0; at < section.size();) {
        const std::size_t lineEnd = std::min(section.find('\n', at), section.size());
        const std::string_view line = section.substr(at, lineEnd - at);
        at = lineEnd + 1;
        if (tagLine)
            for (std::size_t dash = line.find("\\-\\-"); dash != std::string_view::npos;
                 dash = line.find("\\-\\-", dash + 1)) {
                std::string name = "--";
                for (std::size_t i = dash + 4; i < line.size();) {
                    if (std::isalnum(static_cast<unsigned char>(line[i])))
                        name += line[i++];
                    else if (line.substr(i, 2) == "\\-" && name.size() > 2) {
                        name += '-';
                        i += 2;
                    } else
                        break;
                }
                described.insert(name);
            }
        tagLine = line == ".TP" || line == ".TQ";
    }
    std::vector<std::string> missing;
    for (const std::string &name : names)
        if (!described.contains(name))
            missing.push_back(name);
    return missing;
}

std::vector<std::string> undescribedOptions(std::span<const Form *const> forms,
                                            std::string_view page) {
    std::vector<std::string> names;
    std::set<std::string_view> seen;
    for (const Form *form : forms)
        for (const OptionRow &row : form->options)
            if (seen.insert(row.name).second)
                names.emplace_back(row.name);
    return undescribedNames(names, page);
}

} // namespace varnel
