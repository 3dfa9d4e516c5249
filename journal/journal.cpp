#include "journal/journal.h"

#include "quoting/quote.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

#include <atomic>
#include <charconv>

namespace varnel {

namespace {

// The statements of schema 1, the same for SQLite and PostgreSQL.
constexpr const char *schemaStatements[] = {
    "CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS designs (design TEXT PRIMARY KEY)",
    "CREATE TABLE IF NOT EXISTS screws (design TEXT NOT NULL REFERENCES designs(design), "
    "screw TEXT NOT NULL, effects TEXT NOT NULL, learned_turns DOUBLE PRECISION NOT NULL, "
    "PRIMARY KEY (design, screw))",
};

constexpr std::string_view postgresPrefix = "postgresql://";

// Qt loads its database drivers as plugins, which needs an application
// object; varnel-calc has none of its own. Made once, kept to the end.
void ensureApplication() {
    if (QCoreApplication::instance())
        return;
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

} // namespace

std::string journalErrorText(const JournalError &e) {
    const char *what = e.kind == JournalError::Open     ? "cannot be opened"
                       : e.kind == JournalError::Schema ? "has a schema this program cannot use"
                       : e.kind == JournalError::Write  ? "cannot be written"
                                                        : "cannot be read";
    return "journal " + quotedName(e.where) + ": " + what + ": " + escapedText(e.message);
}

struct Journal::Connection {
    QString name;
    std::string where;
    QSqlDatabase db() const { return QSqlDatabase::database(name, false); }
    ~Connection() {
        {
            QSqlDatabase d = db();
            d.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
};

Journal::Journal(std::unique_ptr<Connection> connection) : m_connection(std::move(connection)) {}
Journal::~Journal() = default;

std::variant<std::unique_ptr<Journal>, JournalError> Journal::open(std::string_view where) {
    ensureApplication();
    static std::atomic<int> opened{0};
    auto connection = std::make_unique<Connection>();
    connection->name = QStringLiteral("varnel-journal-%1").arg(++opened);
    connection->where = std::string(where);
    const bool postgres = where.starts_with(postgresPrefix);
    QSqlDatabase db = QSqlDatabase::addDatabase(
        postgres ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), connection->name);
    if (!db.isValid())
        return JournalError{JournalError::Open, connection->where,
                            postgres ? "the PostgreSQL driver of Qt SQL is not installed"
                                     : "the SQLite driver of Qt SQL is not installed"};
    if (postgres) {
        const QUrl url(QString::fromUtf8(where.data(), static_cast<qsizetype>(where.size())));
        if (!url.isValid() || url.host().isEmpty() || url.path().size() < 2)
            return JournalError{JournalError::Open, connection->where,
                                "a shop's journal is postgresql://USER@HOST[:PORT]/DATABASE"};
        db.setHostName(url.host());
        db.setPort(url.port(5432));
        db.setUserName(url.userName());
        db.setPassword(url.password());
        db.setDatabaseName(url.path().mid(1));
    } else {
        db.setDatabaseName(QString::fromStdString(connection->where));
    }
    if (!db.open())
        return JournalError{JournalError::Open, connection->where, errorOf(db.lastError())};
    QSqlQuery query(db);
    for (const char *statement : schemaStatements)
        if (!query.exec(QString::fromLatin1(statement)))
            return JournalError{JournalError::Schema, connection->where,
                                errorOf(query.lastError())};
    if (!query.exec(QStringLiteral("SELECT value FROM meta WHERE key = 'schema'")))
        return JournalError{JournalError::Read, connection->where, errorOf(query.lastError())};
    if (!query.next()) {
        if (!query.exec(QStringLiteral("INSERT INTO meta (key, value) VALUES ('schema', '%1')")
                            .arg(schemaVersion)))
            return JournalError{JournalError::Write, connection->where, errorOf(query.lastError())};
    } else if (const int found = query.value(0).toInt(); found != schemaVersion) {
        return JournalError{JournalError::Schema, connection->where,
                            "its schema is " + std::to_string(found) + ", this program's " +
                                std::to_string(schemaVersion)};
    }
    return std::unique_ptr<Journal>(new Journal(std::move(connection)));
}

std::variant<Sensitivities, JournalError> Journal::loadSensitivities(std::string_view design) {
    QSqlQuery query(m_connection->db());
    query.prepare(QStringLiteral("SELECT screw, effects, learned_turns FROM screws WHERE design = "
                                 "? ORDER BY screw"));
    query.addBindValue(QString::fromStdString(std::string(design)));
    if (!query.exec())
        return JournalError{JournalError::Read, m_connection->where, errorOf(query.lastError())};
    Sensitivities s;
    while (query.next()) {
        const std::string name = query.value(0).toString().toStdString();
        const auto screw = parseScrew(name, 99);
        const auto effects = numbersOf(query.value(1).toString().toStdString());
        if (!screw || !effects)
            return JournalError{JournalError::Read, m_connection->where,
                                "screw " + quotedToken(name) + " is not as this program wrote it"};
        s.screws.push_back(*screw);
        s.columns.push_back(*effects);
        s.learnedTurns.push_back(query.value(2).toDouble());
    }
    return s;
}

std::variant<std::monostate, JournalError> Journal::saveSensitivities(std::string_view design,
                                                                      const Sensitivities &s) {
    QSqlDatabase db = m_connection->db();
    auto failed = [&](const QSqlError &error) {
        db.rollback();
        return JournalError{JournalError::Write, m_connection->where, errorOf(error)};
    };
    if (!db.transaction())
        return JournalError{JournalError::Write, m_connection->where, errorOf(db.lastError())};
    const QString key = QString::fromStdString(std::string(design));
    QSqlQuery query(db);
    query.prepare(QStringLiteral("INSERT INTO designs (design) VALUES (?) ON CONFLICT DO NOTHING"));
    query.addBindValue(key);
    if (!query.exec())
        return failed(query.lastError());
    query.prepare(QStringLiteral(
        "INSERT INTO screws (design, screw, effects, learned_turns) VALUES (?, ?, ?, ?) "
        "ON CONFLICT (design, screw) DO UPDATE SET effects = excluded.effects, "
        "learned_turns = excluded.learned_turns"));
    for (std::size_t k = 0; k < s.screws.size(); ++k) {
        query.addBindValue(key);
        query.addBindValue(QString::fromStdString(screwName(s.screws[k])));
        query.addBindValue(QString::fromStdString(numbersText(s.columns[k])));
        query.addBindValue(s.learnedTurns[k]);
        if (!query.exec())
            return failed(query.lastError());
    }
    if (!db.commit())
        return failed(db.lastError());
    return std::monostate{};
}

} // namespace varnel
