#include "journal/journal.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

// A journal of 100,000 recorded diagnoses (1,000 units of 100 each, each
// record the size of a real order-8 diagnosis): how long `varnel-calc
// journal DB --unit SERIAL` takes, process start to end, and how long the
// journal's own query takes in-process.
//   bench_journal [RECORDS]
namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A diagnosis' elements as the journal keeps them: eight resonators, seven
// couplings, two ports.
std::string elementsText() {
    std::string text = R"({"tolerance_percent": 2, "tolerance_freq_percent": 1, "resonators": [)";
    for (int i = 1; i <= 8; ++i)
        text += std::string(i > 1 ? ", " : "") + R"({"index": )" + std::to_string(i) +
                R"(, "offset_mhz": -0.011141070287417528, "offset_percent_bw": )"
                R"(-0.11141070287417529, "uncertainty_percent_bw": 0.034599180395644885})";
    text += R"(], "couplings": [)";
    for (int i = 2; i <= 8; ++i)
        text += std::string(i > 2 ? ", " : "") + R"({"from": )" + std::to_string(i - 1) +
                R"(, "to": )" + std::to_string(i) +
                R"(, "error_percent": 0.5, "uncertainty_percent": 0.05})";
    return text + R"(], "return_loss_db": 18.2, "design_return_loss_db": 26.4})";
}

bool fill(const std::string &path, int records) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "fill");
    db.setDatabaseName(QString::fromStdString(path));
    if (!db.open() || !db.transaction())
        return false;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO records (time, unit, design, kind, source, verdict, "
                             "return_loss_db, elements, plan) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    const QString elements = QString::fromStdString(elementsText());
    for (int i = 0; i < records; ++i) {
        const QString unit = QStringLiteral("SN-%1").arg(i % 1000, 4, 10, QLatin1Char('0'));
        q.addBindValue(QStringLiteral("2026-12-10T01:%1:00Z").arg(i % 60, 2, 10, QLatin1Char('0')));
        q.addBindValue(unit);
        q.addBindValue(QStringLiteral("order=8 bandwidth=20 ripple=0.01 f0=2000 zeros= "
                                      "topology=inline"));
        q.addBindValue(QStringLiteral("diagnose"));
        q.addBindValue(QStringLiteral("scpi://bench-vna"));
        q.addBindValue(QStringLiteral("fail"));
        q.addBindValue(18.2);
        q.addBindValue(elements);
        q.addBindValue(QStringLiteral(R"([{"screw": "R3", "turns": 0.25}])"));
        if (!q.exec()) {
            std::fprintf(stderr, "bench_journal: %s\n", q.lastError().text().toUtf8().constData());
            return false;
        }
    }
    return db.commit();
}

} // namespace

int main(int argc, char **argv) {
    const int records = argc > 1 ? std::atoi(argv[1]) : 100000;
    const std::string path =
        (std::filesystem::temp_directory_path() / "varnel_bench_journal.db").string();
    std::filesystem::remove(path);
    {
        auto opened = varnel::Journal::open(path); // the schema, as the program makes it
        if (std::holds_alternative<varnel::JournalError>(opened)) {
            std::fprintf(stderr, "bench_journal: %s\n",
                         varnel::journalErrorText(std::get<varnel::JournalError>(opened)).c_str());
            return 1;
        }
    }
    if (!fill(path, records))
        return 1;
    QSqlDatabase::removeDatabase("fill");
    std::printf("%d records, %.1f MB\n", records, std::filesystem::file_size(path) / 1e6);

    std::vector<double> process, query;
    const std::string command =
        std::string(VARNEL_CALC_PATH) + " journal " + path + " --unit SN-0500 > /dev/null";
    auto journal = std::get<std::unique_ptr<varnel::Journal>>(varnel::Journal::open(path));
    for (int run = 0; run < 21; ++run) {
        auto start = Clock::now();
        if (std::system(command.c_str()) != 0)
            return 1;
        process.push_back(msSince(start));
        start = Clock::now();
        const auto found = journal->records("SN-0500");
        query.push_back(msSince(start));
        if (std::get<std::vector<varnel::JournalRecord>>(found).size() !=
            static_cast<std::size_t>(records / 1000))
            return 1;
    }
    std::sort(process.begin(), process.end());
    std::sort(query.begin(), query.end());
    std::printf("varnel-calc journal --unit: median %.1f ms, max %.1f ms\n", process[10],
                process.back());
    std::printf("the query in-process: median %.2f ms, max %.2f ms\n", query[10], query.back());
    std::filesystem::remove(path);
    return 0;
}
