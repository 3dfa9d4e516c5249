#include "journal/journal.h"

#include "quoting/quote.h"

#include <algorithm>
#include <charconv>
#include <dlfcn.h>
#include <filesystem>

namespace varnel {

namespace {

std::string numbersText(const std::vector<double> &values) {
    std::string text;
    char item[32];
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto end = std::to_chars(item, item + sizeof item, values[i]).ptr;
        text.append(i ? "," : "").append(item, end);
    }
    return text;
}

std::optional<std::vector<double>> numbersOf(std::string_view text) {
    std::vector<double> values;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        double value = 0;
        const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), value);
        if (error != std::errc() || end != item.data() + item.size())
            return std::nullopt;
        values.push_back(value);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    }
    return values;
}

// Where the module is: where the installed programs keep it, relative to
// their own folder; or, for a program run from the build tree, where the
// build put it (and nowhere else, so that no stray copy is ever loaded).
std::filesystem::path modulePath() {
    namespace fs = std::filesystem;
    std::error_code failed;
    const fs::path folder = fs::read_symlink("/proc/self/exe", failed).parent_path();
    const fs::path installed = (folder / VARNEL_JOURNAL_MODULE_INSTALLED).lexically_normal();
    if (failed || fs::exists(installed, failed))
        return installed;
    const fs::path tree(VARNEL_BUILD_TREE);
    const auto [end, rest] = std::mismatch(tree.begin(), tree.end(), folder.begin(), folder.end());
    return end == tree.end() ? fs::path(VARNEL_JOURNAL_MODULE_BUILT) : installed;
}

struct Module {
    OpenJournalStore *open = nullptr;
    std::string failure; // why it could not be loaded
};

// Loaded once, on the first open, and kept to the end of the run.
const Module &module() {
    static const Module loaded = [] {
        Module m;
        const std::string path = modulePath().string();
        void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char *why = dlerror();
            m.failure = "its module cannot be loaded: " + std::string(why ? why : path);
            return m;
        }
        m.open = reinterpret_cast<OpenJournalStore *>(dlsym(handle, journalStoreEntry));
        if (!m.open)
            m.failure = "its module " + path + " is not of this program's version";
        return m;
    }();
    return loaded;
}

} // namespace

std::string shownJournal(std::string_view where) {
    if (!isShopJournal(where))
        return std::string(where);
    const std::size_t end = where.find_first_of("/?#", shopScheme.size());
    const std::string_view authority = where.substr(shopScheme.size(), end - shopScheme.size());
    const std::size_t at = authority.rfind('@');
    const std::size_t colon = authority.substr(0, at).find(':');
    if (at == std::string_view::npos || colon == std::string_view::npos)
        return std::string(where);
    return std::string(where.substr(0, shopScheme.size() + colon + 1)) + "***" +
           std::string(where.substr(shopScheme.size() + at));
}

std::string journalErrorText(const JournalError &e) {
    const char *what = e.kind == JournalError::Open     ? "cannot be opened"
                       : e.kind == JournalError::Schema ? "has a schema this program cannot use"
                       : e.kind == JournalError::Write  ? "cannot be written"
                                                        : "cannot be read";
    return "journal " + quotedName(shownJournal(e.where)) + ": " + what + ": " +
           escapedText(e.message);
}

Journal::Journal(std::string where, std::unique_ptr<JournalStore> store)
    : m_where(std::move(where)), m_store(std::move(store)) {}
Journal::~Journal() = default;

std::variant<std::unique_ptr<Journal>, JournalError> Journal::open(std::string_view where) {
    const Module &m = module();
    if (!m.open)
        return JournalError{JournalError::Open, std::string(where), m.failure};
    JournalStoreOpened opened;
    m.open(where.data(), where.size(), &opened);
    if (auto *error = std::get_if<JournalError>(&opened))
        return std::move(*error);
    auto &store = std::get<std::unique_ptr<JournalStore>>(opened);
    if (!store)
        return JournalError{JournalError::Open, std::string(where), "its module gave no journal"};
    return std::unique_ptr<Journal>(new Journal(std::string(where), std::move(store)));
}

namespace {

std::variant<Sensitivities, JournalError> sensitivitiesOf(const std::vector<ScrewRow> &rows,
                                                          const std::string &where) {
    Sensitivities s;
    for (const ScrewRow &row : rows) {
        const auto screw = parseScrew(row.screw, 99);
        const auto effects = numbersOf(row.effects);
        if (!screw || !effects)
            return JournalError{JournalError::Read, where,
                                "screw " + quotedToken(row.screw) +
                                    " is not as this program wrote it"};
        s.screws.push_back(*screw);
        s.columns.push_back(*effects);
        s.learnedTurns.push_back(row.learnedTurns);
    }
    return s;
}

std::vector<ScrewRow> rowsOf(const Sensitivities &s) {
    std::vector<ScrewRow> rows;
    for (std::size_t k = 0; k < s.screws.size(); ++k)
        rows.push_back({screwName(s.screws[k]), numbersText(s.columns[k]), s.learnedTurns[k]});
    return rows;
}

} // namespace

std::variant<Sensitivities, JournalError> Journal::loadSensitivities(std::string_view design) {
    auto loaded = m_store->load(design);
    if (auto *error = std::get_if<JournalError>(&loaded))
        return std::move(*error);
    return sensitivitiesOf(std::get<std::vector<ScrewRow>>(loaded), m_where);
}

std::variant<std::monostate, JournalError> Journal::saveSensitivities(std::string_view design,
                                                                      const Sensitivities &s) {
    return m_store->update(design, [&](const std::vector<ScrewRow> &) { return rowsOf(s); });
}

std::variant<std::monostate, JournalError>
Journal::updateSensitivities(std::string_view design,
                             const std::function<bool(Sensitivities &)> &change) {
    std::optional<JournalError> unreadable;
    auto updated = m_store->update(
        design, [&](const std::vector<ScrewRow> &rows) -> std::optional<std::vector<ScrewRow>> {
            auto read = sensitivitiesOf(rows, m_where);
            if (auto *error = std::get_if<JournalError>(&read)) {
                unreadable = std::move(*error);
                return std::nullopt;
            }
            Sensitivities &s = std::get<Sensitivities>(read);
            if (!change(s))
                return std::nullopt;
            return rowsOf(s);
        });
    if (unreadable)
        return std::move(*unreadable);
    return updated;
}

} // namespace varnel
