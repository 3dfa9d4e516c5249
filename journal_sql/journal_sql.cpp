#include "journal/journal_store.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

// The journal's rows in an SQLite file or a PostgreSQL database through Qt
// SQL, loaded by the journal room when a journal is first opened.
namespace varnel {

namespace {
// The statements of schema 1, the same for SQLite and PostgreSQL.
constexpr const char *schemaStatements[] = {
    "CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS designs (design TEXT PRIMARY KEY)",
    "CREATE TABLE IF NOT EXISTS screws (design TEXT NOT NULL REFERENCES designs(design), "
    "screw TEXT NOT NULL, effects TEXT NOT NULL, learned_turns DOUBLE PRECISION NOT NULL, "
    "PRIMARY KEY (design, screw))",
    // Schema 2. %ID% is the dialect's own column counting records.
    "CREATE TABLE IF NOT EXISTS units (serial TEXT PRIMARY KEY, design TEXT NOT NULL, "
    "first_time TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS records (id %ID%, time TEXT NOT NULL, unit TEXT NOT NULL, "
    "design TEXT NOT NULL, kind TEXT NOT NULL, source TEXT NOT NULL, verdict TEXT NOT NULL, "
    "return_loss_db DOUBLE PRECISION, elements TEXT NOT NULL, plan TEXT NOT NULL, sweep TEXT)",
    "CREATE INDEX IF NOT EXISTS records_by_unit ON records (unit, id)",
};

constexpr int schemaVersion = 2;
// The advisory lock the schema is created and checked under ("varnel").
constexpr qint64 schemaLock = 0x7661726e656c;

// Qt loads its database drivers as plugins, which needs an application
// object; varnel-calc has none of its own. Made once, kept to the end; Qt's
// own warnings are then silenced, since every failure comes back as a
// JournalError (a window's application keeps its own handler).
void ensureApplication() {
    if (QCoreApplication::instance())
        return;
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    static int argc = 1;
    static char name[] = "varnel-calc";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *application = new QCoreApplication(argc, argv);
    (void)application;
}

std::string errorOf(const QSqlError &error) {
    const QString text = error.text().trimmed();
    return text.isEmpty() ? std::string("no reason given") : text.toStdString();
}

class SqlStore final : public JournalStore {
  public:
    SqlStore(QString name, std::string where)
        : m_name(std::move(name)), m_where(std::move(where)), m_postgres(isShopJournal(m_where)) {}
    ~SqlStore() override {
        {
            QSqlDatabase d = db();
            d.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }
    std::optional<JournalError> prepare();
    std::optional<JournalError> schemaMade(QSqlQuery &query);
    std::variant<std::monostate, JournalError>
    written(JournalError::Kind kind, bool schema,
            const std::function<std::optional<JournalError>(QSqlQuery &)> &body);
    std::variant<std::vector<ScrewRow>, JournalError> load(std::string_view design) override;
    std::variant<std::monostate, JournalError> update(std::string_view design,
                                                      const RowsChange &change) override;
    std::variant<std::monostate, JournalError> add(const JournalRecord &record) override;
    std::variant<std::vector<JournalRecord>, JournalError> records(std::string_view unit) override;
    std::variant<std::vector<UnitSummary>, JournalError> units() override;

  private:
    JournalError error(JournalError::Kind kind, const QSqlError &e) const {
        return JournalError{kind, m_where, errorOf(e)};
    }
    QString m_name;
    std::string m_where;
    bool m_postgres = false;
};

QString textOf(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Opens the database and brings it to this program's schema.
std::optional<JournalError> SqlStore::prepare() {
    QSqlDatabase d = db();
    if (m_postgres) {
        const QUrl url(textOf(m_where));
        if (!url.isValid() || url.host().isEmpty() || url.path().size() < 2)
            return JournalError{JournalError::Open, m_where,
                                "a shop's journal is postgresql://USER@HOST[:PORT]/DATABASE"};
        d.setHostName(url.host());
        d.setPort(url.port(5432));
        d.setUserName(url.userName());
        d.setPassword(url.password());
        d.setDatabaseName(url.path().mid(1));
        // A server that does not answer is said in seconds, not minutes.
        d.setConnectOptions(QStringLiteral("connect_timeout=5"));
    } else {
        d.setDatabaseName(textOf(m_where));
    }
    if (!d.open())
        return error(JournalError::Open, d.lastError());
    // The server's notices ("relation ... already exists, skipping") are
    // not for the tuner's terminal.
    if (m_postgres)
        QSqlQuery(d).exec(QStringLiteral("SET client_min_messages TO warning"));
    const auto made =
        written(JournalError::Schema, true, [&](QSqlQuery &query) { return schemaMade(query); });
    if (const auto *e = std::get_if<JournalError>(&made))
        return *e;
    return std::nullopt;
}

// Creates what is missing of this program's schema and stamps it; refuses
// a newer one.
std::optional<JournalError> SqlStore::schemaMade(QSqlQuery &query) {
    const QString id = m_postgres ? QStringLiteral("BIGINT GENERATED BY DEFAULT AS IDENTITY "
                                                   "PRIMARY KEY")
                                  : QStringLiteral("INTEGER PRIMARY KEY");
    for (const char *statement : schemaStatements)
        if (!query.exec(QString::fromLatin1(statement).replace(QStringLiteral("%ID%"), id)))
            return error(JournalError::Schema, query.lastError());
    if (!query.exec(QStringLiteral("SELECT value FROM meta WHERE key = 'schema'")))
        return error(JournalError::Read, query.lastError());
    const int found = query.next() ? query.value(0).toInt() : 0;
    if (found > schemaVersion)
        return JournalError{JournalError::Schema, m_where,
                            "its schema is " + std::to_string(found) + ", this program's " +
                                std::to_string(schemaVersion)};
    const QString stamp = found
                              ? QStringLiteral("UPDATE meta SET value = '%1' WHERE key = 'schema'")
                              : QStringLiteral("INSERT INTO meta (key, value) VALUES ('schema', "
                                               "'%1')");
    if (found < schemaVersion && !query.exec(stamp.arg(schemaVersion)))
        return error(JournalError::Write, query.lastError());
    return std::nullopt;
}

// A transaction no other writer interleaves with: SQLite takes the file's
// write lock at once; PostgreSQL takes the journal's own advisory lock for
// the schema (two CREATE TABLE IF NOT EXISTS at once fail there), and
// update locks its design's row. `body` gives an error to roll back.
std::variant<std::monostate, JournalError>
SqlStore::written(JournalError::Kind kind, bool schema,
                  const std::function<std::optional<JournalError>(QSqlQuery &)> &body) {
    QSqlDatabase d = db();
    QSqlQuery query(d);
    const bool begun =
        m_postgres
            ? query.exec(QStringLiteral("BEGIN")) &&
                  (!schema ||
                   query.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(schemaLock)))
            : query.exec(QStringLiteral("BEGIN IMMEDIATE"));
    std::optional<JournalError> failed;
    if (!begun)
        failed = error(kind, query.lastError());
    else if (!(failed = body(query)) && !query.exec(QStringLiteral("COMMIT")))
        failed = error(kind, query.lastError());
    if (!failed)
        return std::monostate{};
    QSqlQuery(d).exec(QStringLiteral("ROLLBACK"));
    return *failed;
}

std::variant<std::vector<ScrewRow>, JournalError> SqlStore::load(std::string_view design) {
    QSqlQuery query(db());
    query.prepare(QStringLiteral("SELECT screw, effects, learned_turns FROM screws WHERE design = "
                                 "? ORDER BY screw"));
    query.addBindValue(textOf(design));
    if (!query.exec())
        return error(JournalError::Read, query.lastError());
    std::vector<ScrewRow> rows;
    while (query.next())
        rows.push_back({query.value(0).toString().toStdString(),
                        query.value(1).toString().toStdString(), query.value(2).toDouble()});
    return rows;
}

// The design's row locked first, so that a second writer waits for this
// transaction's end and then reads what it wrote (SQLite knows no FOR
// UPDATE and has the file locked already).
std::variant<std::monostate, JournalError> SqlStore::update(std::string_view design,
                                                            const RowsChange &change) {
    return written(
        JournalError::Write, false, [&](QSqlQuery &query) -> std::optional<JournalError> {
            const QString key = textOf(design);
            query.prepare(
                QStringLiteral("INSERT INTO designs (design) VALUES (?) ON CONFLICT DO NOTHING"));
            query.addBindValue(key);
            if (!query.exec())
                return error(JournalError::Write, query.lastError());
            if (m_postgres) {
                query.prepare(
                    QStringLiteral("SELECT design FROM designs WHERE design = ? FOR UPDATE"));
                query.addBindValue(key);
                if (!query.exec())
                    return error(JournalError::Write, query.lastError());
            }
            auto read = load(design);
            if (auto *e = std::get_if<JournalError>(&read))
                return std::move(*e);
            const auto rows = change(std::get<std::vector<ScrewRow>>(read));
            query.prepare(QStringLiteral(
                "INSERT INTO screws (design, screw, effects, learned_turns) VALUES (?, ?, ?, ?) "
                "ON CONFLICT (design, screw) DO UPDATE SET effects = excluded.effects, "
                "learned_turns = excluded.learned_turns"));
            for (const ScrewRow &row : rows.value_or(std::vector<ScrewRow>{})) {
                query.addBindValue(key);
                query.addBindValue(textOf(row.screw));
                query.addBindValue(textOf(row.effects));
                query.addBindValue(row.learnedTurns);
                if (!query.exec())
                    return error(JournalError::Write, query.lastError());
            }
            return std::nullopt;
        });
}

QVariant optionalText(const std::optional<std::string> &text) {
    return text ? QVariant(textOf(*text)) : QVariant(QMetaType(QMetaType::QString));
}

std::variant<std::monostate, JournalError> SqlStore::add(const JournalRecord &r) {
    return written(JournalError::Write, false,
                   [&](QSqlQuery &query) -> std::optional<JournalError> {
                       if (!r.unit.empty()) {
                           query.prepare(QStringLiteral(
                               "INSERT INTO units (serial, design, first_time) VALUES "
                               "(?, ?, ?) ON CONFLICT DO NOTHING"));
                           query.addBindValue(textOf(r.unit));
                           query.addBindValue(textOf(r.design));
                           query.addBindValue(textOf(r.time));
                           if (!query.exec())
                               return error(JournalError::Write, query.lastError());
                       }
                       query.prepare(QStringLiteral(
                           "INSERT INTO records (time, unit, design, kind, source, "
                           "verdict, return_loss_db, elements, plan, sweep) VALUES (?, "
                           "?, ?, ?, ?, ?, ?, ?, ?, ?)"));
                       for (const std::string *text :
                            {&r.time, &r.unit, &r.design, &r.kind, &r.source, &r.verdict})
                           query.addBindValue(textOf(*text));
                       query.addBindValue(r.returnLossDb ? QVariant(*r.returnLossDb)
                                                         : QVariant(QMetaType(QMetaType::Double)));
                       query.addBindValue(textOf(r.elements));
                       query.addBindValue(textOf(r.plan));
                       query.addBindValue(optionalText(r.sweep));
                       if (!query.exec())
                           return error(JournalError::Write, query.lastError());
                       return std::nullopt;
                   });
}

std::variant<std::vector<JournalRecord>, JournalError> SqlStore::records(std::string_view unit) {
    QSqlQuery query(db());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT id, time, design, kind, source, verdict, return_loss_db, "
                                 "elements, plan, sweep FROM records WHERE unit = ? ORDER BY id"));
    query.addBindValue(textOf(unit));
    if (!query.exec())
        return error(JournalError::Read, query.lastError());
    std::vector<JournalRecord> found;
    auto text = [&](int column) { return query.value(column).toString().toStdString(); };
    while (query.next()) {
        JournalRecord r;
        r.id = query.value(0).toLongLong();
        r.time = text(1);
        r.unit = std::string(unit);
        r.design = text(2);
        r.kind = text(3);
        r.source = text(4);
        r.verdict = text(5);
        if (!query.value(6).isNull())
            r.returnLossDb = query.value(6).toDouble();
        r.elements = text(7);
        r.plan = text(8);
        if (!query.value(9).isNull())
            r.sweep = text(9);
        found.push_back(std::move(r));
    }
    return found;
}

std::variant<std::vector<UnitSummary>, JournalError> SqlStore::units() {
    QSqlQuery query(db());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral(
            "SELECT u.serial, u.design, u.first_time, COUNT(r.id), MAX(r.time), (SELECT "
            "l.verdict FROM records l WHERE l.unit = u.serial ORDER BY l.id DESC LIMIT 1) FROM "
            "units u LEFT JOIN records r ON r.unit = u.serial GROUP BY u.serial, u.design, "
            "u.first_time ORDER BY u.serial")))
        return error(JournalError::Read, query.lastError());
    std::vector<UnitSummary> found;
    auto text = [&](int column) { return query.value(column).toString().toStdString(); };
    while (query.next())
        found.push_back({text(0), text(1), text(2), text(4), text(5), query.value(3).toLongLong()});
    return found;
}

} // namespace

} // namespace varnel

extern "C" __attribute__((visibility("default"))) void
varnel_open_journal_store_2(const char *where, std::size_t size,
                            varnel::JournalStoreOpened *opened) {
    using namespace varnel;
    ensureApplication();
    static std::atomic<int> count{0};
    const std::string place(where, size);
    const bool postgres = isShopJournal(place);
    const QString name = QStringLiteral("varnel-journal-%1").arg(++count);
    if (!QSqlDatabase::addDatabase(postgres ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"),
                                   name)
             .isValid()) {
        QSqlDatabase::removeDatabase(name);
        *opened = JournalError{JournalError::Open, place,
                               postgres ? "the PostgreSQL driver of Qt SQL is not installed"
                                        : "the SQLite driver of Qt SQL is not installed"};
        return;
    }
    auto store = std::make_unique<SqlStore>(name, place);
    if (auto failed = store->prepare())
        *opened = std::move(*failed);
    else
        *opened = std::unique_ptr<JournalStore>(std::move(store));
}
