#include "cli/options.h"
#include "quoting/quote.h"

#include <algorithm>

namespace varnel {

std::optional<std::string_view> ParsedOptions::value(std::string_view name) const {
    const auto it = given.find(name);
    if (it == given.end())
        return std::nullopt;
    return it->second;
}

bool looksLikeOption(std::string_view arg) {
    if (arg.starts_with("--"))
        return true;
    return arg.size() >= 2 && arg[0] == '-' &&
           ((arg[1] >= 'a' && arg[1] <= 'z') || (arg[1] >= 'A' && arg[1] <= 'Z'));
}

std::variant<ParsedOptions, std::string> parseOptions(std::span<const std::string_view> args,
                                                      std::span<const OptionRow> rows) {
    ParsedOptions parsed;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (optionsEnded || !looksLikeOption(arg)) {
            parsed.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string_view name = arg.substr(0, equals);
        const auto row = std::find_if(rows.begin(), rows.end(), [&](const OptionRow &r) {
            return r.name == name || (!r.alias.empty() && r.alias == name);
        });
        if (row == rows.end())
            return "unknown option " + quotedToken(arg);
        if (row->valueName.empty()) {
            if (equals != std::string_view::npos)
                return std::string(row->name) + " takes no value";
            parsed.given[row->name] = {};
        } else if (equals != std::string_view::npos) {
            parsed.given[row->name] = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            parsed.given[row->name] = args[++i];
        } else {
            return std::string(row->name) + " needs a value (" + std::string(row->valueName) + ")";
        }
    }
    return parsed;
}

} // namespace varnel
