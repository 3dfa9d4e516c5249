// A watched file is taken as soon as its save is known to be whole (its
// writer closed it, or it was renamed into place), and not before while
// its writer keeps it open. The settle interval is a minute here, so a
// sweep that waited for it would not come within the test's wait.
#include "sweep_sources/sweep_source.h"
#include "wait_for.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <optional>

using namespace varnel;

namespace {

constexpr int minute = 60000;

// The event loop the source's watch and timer need, made once.
void application() {
    static int argc = 1;
    static char name[] = "test_file_source";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

QByteArray sweepText(int points) {
    QByteArray text = "# MHz S RI R 50\n";
    for (int i = 0; i < points; ++i)
        text += QByteArray::number(990 + i * 0.01, 'f', 2) + " 0.5 0.25\n";
    return text;
}

bool writeClosed(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

bool saveAtomically(const QString &path, const QByteArray &bytes) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

// The points of the newest sweep the source gave.
struct Taken {
    std::optional<std::size_t> points;
    int sweeps = 0, failures = 0;
    explicit Taken(FileSweepSource &source) {
        QObject::connect(&source, &SweepSource::sweepReady, [this](const Sweep &s) {
            points = s.network->size();
            ++sweeps;
        });
        QObject::connect(&source, &SweepSource::sweepFailed,
                         [this](const SweepFailure &) { ++failures; });
    }
};

// A source that has taken a first sweep of 101 points at a short settle
// interval, and is then left with a minute's.
class WatchedFile : public ::testing::Test {
  protected:
    void SetUp() override {
        application();
        ASSERT_TRUE(writeClosed(path, sweepText(101)));
        source.emplace(path);
        source->setSettleInterval(20);
        taken.emplace(*source);
        source->start();
        ASSERT_TRUE(waitFor([&] { return taken->points == 101u; }, 5000));
        source->setSettleInterval(minute);
    }
    QTemporaryDir folder;
    const QString path = folder.filePath("sweep.s1p");
    std::optional<FileSweepSource> source;
    std::optional<Taken> taken;
};

struct SaveRow {
    const char *name;
    std::function<bool(const QString &, const QByteArray &)> save;
};

class WholeSave : public WatchedFile, public ::testing::WithParamInterface<SaveRow> {};

TEST_P(WholeSave, IsTakenWithoutWaitingToSettle) {
    for (int points : {201, 301}) {
        ASSERT_TRUE(GetParam().save(path, sweepText(points)));
        EXPECT_TRUE(waitFor([&] { return taken->points == std::size_t(points); }, 5000)) << points;
    }
}

bool deleteAndWrite(const QString &path, const QByteArray &bytes) {
    return QFile::remove(path) && writeClosed(path, bytes);
}

const SaveRow saves[] = {
    {"closed_by_its_writer", writeClosed},
    {"renamed_into_place", saveAtomically},
    {"deleted_and_written_anew", deleteAndWrite},
};
INSTANTIATE_TEST_SUITE_P(Saves, WholeSave, ::testing::ValuesIn(saves),
                         [](const auto &info) { return std::string(info.param.name); });

// Written in pieces through a file kept open: nothing is taken until the
// writer closes it, and then the whole file is.
TEST_F(WatchedFile, ASaveKeptOpenIsTakenOnlyOnceClosed) {
    const QByteArray whole = sweepText(801);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(whole.left(whole.size() / 2)), whole.size() / 2);
    ASSERT_TRUE(file.flush());
    waitFor([] { return false; }, 200);
    ASSERT_EQ(file.write(whole.mid(whole.size() / 2)), whole.size() - whole.size() / 2);
    ASSERT_TRUE(file.flush());
    waitFor([] { return false; }, 400);
    EXPECT_EQ(taken->points, 101u) << "a part was taken while the writer kept the file open";
    file.close();
    EXPECT_TRUE(waitFor([&] { return taken->points == 801u; }, 5000));
    EXPECT_EQ(taken->failures, 0);
}

// Other files of the folder, closed by their writers, are not the watched
// file's save: it is not read again for them.
TEST_F(WatchedFile, OtherFilesClosedInTheFolderAreNotTaken) {
    source->setSettleInterval(20); // a read started for them would end
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(writeClosed(folder.filePath(QStringLiteral("other%1.s1p").arg(i)), "x"));
        ASSERT_TRUE(saveAtomically(folder.filePath(QStringLiteral("saved%1.s1p").arg(i)), "y"));
    }
    waitFor([] { return false; }, 300);
    EXPECT_EQ(taken->sweeps, 1);
}

} // namespace
