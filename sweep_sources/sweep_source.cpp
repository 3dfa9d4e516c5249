#include "sweep_sources/sweep_source.h"

#include "analyser_link/analyser.h"
#include "analyser_link/source_address.h"

#include "quoting/quote.h"

#include <QFile>

#include <sys/stat.h>

#include <atomic>
#include <thread>

namespace varnel {

QString SweepFailure::message() const {
    const QString shown = QString::fromStdString(quotedName(origin.toStdString()));
    switch (kind) {
    case Unreadable:
        return QString::fromStdString(error->message());
    case Gone:
        return shown +
               QStringLiteral(": the file is not there; waiting for it to be written again");
    case NotRegular:
        return shown + QStringLiteral(": ") + QString::fromLatin1(fileKindText(fileKind)) +
               QStringLiteral(", not a regular file");
    case Link:
        return shown + QStringLiteral(": ") + detail;
    }
    return {};
}

FileStamp stampOf(const QString &path) {
    struct stat info {};
    FileStamp stamp;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return stamp;
    stamp.exists = true;
    stamp.kind = fileKindOf(info.st_mode);
    stamp.size = static_cast<qint64>(info.st_size);
    stamp.modifiedNs =
        static_cast<qint64>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    return stamp;
}

// The reading threads reach the source through this: the destructor clears
// `owner` under the lock, so a thread that finishes later posts nothing.
struct FileSweepSource::Link {
    std::mutex mutex;
    FileSweepSource *owner = nullptr;
};

FileSweepSource::FileSweepSource(const QString &path, QObject *parent)
    : SweepSource(parent), m_path(path), m_watch(path), m_link(std::make_shared<Link>()) {
    m_link->owner = this;
    m_settle.setSingleShot(true);
    m_settle.setInterval(defaultSettleMs);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        m_settled = true;
        tryFinish();
    });
    connect(&m_watch, &FileWatch::changed, this, [this] { changed(); });
    connect(&m_watch, &FileWatch::whole, this, [this] { changed(true); });
}

FileSweepSource::~FileSweepSource() {
    const std::lock_guard lock(m_link->mutex);
    m_link->owner = nullptr;
}

void FileSweepSource::start() {
    changed(); // which watches the file and its folder
}

void FileSweepSource::changed(bool whole) {
    // The folder too: a file deleted, or replaced by a rename, is watched
    // again when its name comes back.
    m_watch.watch();
    ++m_generation; // any read under way is now an older one
    m_result.reset();
    m_settled = false;
    m_stamp = stampOf(m_path);
    if (!m_stamp.exists) {
        m_settle.stop();
        setBusy(false);
        if (!m_goneReported) {
            m_goneReported = true;
            emit sweepFailed(
                SweepFailure{SweepFailure::Gone, m_path, std::nullopt, FileKind::Regular});
        }
        return;
    }
    m_goneReported = false;
    if (m_stamp.kind != FileKind::Regular) {
        m_settle.stop();
        setBusy(false);
        // Not opened at all: opening a device can act on it, and a FIFO
        // blocks until a writer comes.
        emit sweepFailed(
            SweepFailure{SweepFailure::NotRegular, m_path, std::nullopt, m_stamp.kind});
        return;
    }
    setBusy(true);
    m_settled = whole;
    if (whole)
        m_settle.stop();
    else
        m_settle.start();
    // A detached thread: quitting never waits for a read, even one stuck on
    // a slow disk.
    std::thread([link = m_link, generation = m_generation, path = m_path.toStdString()] {
        ReadOptions options;
        options.regularFileOnly = true;
        options.settleMs = 0; // the source's own settle interval has passed
        auto result = std::make_shared<ReadResult>(readTouchstoneFile(path, options));
        const std::lock_guard lock(link->mutex);
        if (FileSweepSource *owner = link->owner)
            QMetaObject::invokeMethod(
                owner, [owner, generation, result] { owner->readFinished(generation, result); },
                Qt::QueuedConnection);
    }).detach();
}

void FileSweepSource::readFinished(quint64 generation, std::shared_ptr<ReadResult> result) {
    if (generation != m_generation)
        return; // a newer read is under way
    m_result = std::move(result);
    tryFinish();
}

void FileSweepSource::tryFinish() {
    if (!m_result || !m_settled)
        return;
    const FileStamp now = stampOf(m_path);
    if (!(now == m_stamp)) {
        changed(); // written again since the read began: read the new file
        return;
    }
    setBusy(false);
    const std::shared_ptr<ReadResult> result = std::move(m_result);
    if (auto *network = std::get_if<Network>(result.get())) {
        Sweep sweep;
        sweep.network = std::make_shared<const Network>(std::move(*network));
        sweep.origin = m_path;
        sweep.generation = m_generation;
        emit sweepReady(sweep);
    } else {
        emit sweepFailed(SweepFailure{SweepFailure::Unreadable, m_path,
                                      std::get<TouchstoneError>(*result), FileKind::Regular});
    }
}

void FileSweepSource::setBusy(bool busy) {
    if (busy == m_busy)
        return;
    m_busy = busy;
    emit busyChanged(busy);
}

struct AnalyserSweepSource::Link {
    std::mutex mutex;
    AnalyserSweepSource *owner = nullptr;
    std::atomic<bool> stop{false};
    std::atomic<bool> held{false};
    // The newest sweep not yet taken by the source, and whether a call to
    // take it is on its way: a window slower than the analyser skips to the
    // newest sweep instead of queueing every one.
    std::shared_ptr<Network> newest;
    bool posted = false;
};

AnalyserSweepSource::AnalyserSweepSource(const QString &address, QObject *parent)
    : SweepSource(parent), m_address(address), m_link(std::make_shared<Link>()) {
    m_link->owner = this;
}

AnalyserSweepSource::~AnalyserSweepSource() {
    m_link->stop = true;
    const std::lock_guard lock(m_link->mutex);
    m_link->owner = nullptr;
}

void AnalyserSweepSource::setHeld(bool held) {
    m_link->held = held;
}

void AnalyserSweepSource::start() {
    const auto parsed = parseSourceAddress(m_address.toStdString());
    if (const auto *why = std::get_if<std::string>(&parsed)) {
        fail(LinkError{LinkError::Connect, *why});
        return;
    }
    const SourceAddress address = std::get<SourceAddress>(parsed);
    if (address.kind == SourceAddress::File) {
        fail(LinkError{LinkError::Connect, "not an analyser's address",
                       LinkError::Said::NotAnAddress, 0, 0});
        return;
    }
    emit busyChanged(true);
    std::thread([link = m_link, address] {
        // Posts to the source, if it is still there.
        auto post = [&link](auto call) {
            const std::lock_guard lock(link->mutex);
            if (AnalyserSweepSource *owner = link->owner)
                QMetaObject::invokeMethod(
                    owner, [owner, call] { call(owner); }, Qt::QueuedConnection);
        };
        while (!link->stop) {
            auto connected = connectAnalyser(address);
            if (auto *error = std::get_if<LinkError>(&connected)) {
                post([failed = *error](AnalyserSweepSource *s) { s->fail(failed); });
                std::this_thread::sleep_for(std::chrono::milliseconds(250));
                continue;
            }
            Analyser &analyser = *std::get<std::unique_ptr<Analyser>>(connected);
            const QString identity = QString::fromStdString(escapedText(analyser.identity()));
            post([identity](AnalyserSweepSource *s) {
                s->m_identity = identity;
                emit s->connectedChanged(true);
            });
            while (!link->stop) {
                if (link->held) { // the instrument is left alone while held
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                    continue;
                }
                auto sweep = analyser.sweep();
                if (auto *error = std::get_if<LinkError>(&sweep)) {
                    post([failed = *error](AnalyserSweepSource *s) {
                        emit s->connectedChanged(false);
                        s->fail(failed);
                    });
                    break; // connect afresh
                }
                auto network = std::make_shared<Network>(std::move(std::get<Network>(sweep)));
                const std::lock_guard lock(link->mutex);
                link->newest = std::move(network);
                if (link->posted || !link->owner)
                    continue;
                link->posted = true;
                QMetaObject::invokeMethod(
                    link->owner,
                    [owner = link->owner, link] {
                        std::shared_ptr<Network> newest;
                        {
                            const std::lock_guard taking(link->mutex);
                            newest = std::move(link->newest);
                            link->posted = false;
                        }
                        if (newest && !link->held)
                            owner->deliver(std::move(newest));
                    },
                    Qt::QueuedConnection);
            }
        }
    }).detach();
}

void AnalyserSweepSource::deliver(std::shared_ptr<Network> network) {
    emit busyChanged(false);
    emit sweepReady(Sweep{std::move(network), m_address, ++m_generation});
}

void AnalyserSweepSource::fail(const LinkError &error) {
    emit busyChanged(false);
    SweepFailure failure;
    failure.kind = SweepFailure::Link;
    failure.origin = m_address;
    failure.detail = QString::fromStdString(linkErrorText(error));
    failure.link = error;
    emit sweepFailed(failure);
}

} // namespace varnel
