#pragma once

#include "analyser_link/connection.h"
#include "sweep_sources/file_watch.h"
#include "touchstone/touchstone.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <mutex>
#include <optional>
#include <variant>

// Where sweeps come from. A source delivers whole sweeps only, each tagged
// with where it came from and a generation that grows with every read it
// starts, so that a receiver can tell the newest from an older one. It never
// blocks the thread it lives on, and destroying it never waits for a read.
namespace varnel {

struct Sweep {
    std::shared_ptr<const Network> network;
    QString origin;         // the file's path, or the instrument's address
    quint64 generation = 0; // of the read that gave it
};

// Why a source gave no sweep.
struct SweepFailure {
    enum Kind {
        Unreadable, // the reader's error (see `error`)
        Gone,       // the file is not there (deleted, or not yet written)
        NotRegular, // a FIFO, device, socket or folder (see `fileKind`)
        Link,       // an analyser did not answer or answered wrong (see `detail`)
    } kind = Unreadable;
    QString origin;
    std::optional<TouchstoneError> error;
    FileKind fileKind = FileKind::Regular; // with NotRegular
    QString detail{};                      // with Link: what failed, in English
    std::optional<LinkError> link{};       // with Link: the same as a value

    // In English: the reader's message, "PATH: the file is not there;
    // waiting for it to be written again", "PATH: a FIFO, not a regular
    // file", "scpi://10.0.0.7: connection refused".
    QString message() const;
};

class SweepSource : public QObject {
    Q_OBJECT

  public:
    using QObject::QObject;

    // What messages name: a path or an address.
    virtual QString origin() const = 0;
    // Starts delivering; the first sweep or failure follows as a signal.
    virtual void start() = 0;

  signals:
    void sweepReady(const varnel::Sweep &sweep);
    // The source could not give a sweep.
    void sweepFailed(const varnel::SweepFailure &failure);
    // A read is under way (true) or has ended (false).
    void busyChanged(bool busy);
};

// Size and modification time of a file, and what kind of file it is.
struct FileStamp {
    bool exists = false;
    FileKind kind = FileKind::Regular;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    friend bool operator==(const FileStamp &, const FileStamp &) = default;
};
FileStamp stampOf(const QString &path);

// A Touchstone file, read whenever it changes. A file is taken only when its
// stamp has stayed the same from before its read to a settle interval later,
// or to its writer's close (or its rename into place), and it parses whole:
// a file still being written (in pieces, as analyser programs save) is
// neither shown nor reported until it has settled or been closed. A change
// during a read starts a new read and the older result is dropped. A file
// that disappears is watched for until it comes back. A FIFO, device or
// folder is refused before any read.
// Example: a file saved in three pieces 10 ms apart through one open file,
// with a settle interval of 20 ms, gives one sweep, the whole file, as soon
// as it is read after the writer closes it; had the writer kept it open,
// about 20 ms after the last piece.
class FileSweepSource : public SweepSource {
    Q_OBJECT

  public:
    explicit FileSweepSource(const QString &path, QObject *parent = nullptr);
    ~FileSweepSource() override;

    QString origin() const override { return m_path; }
    void start() override;

    static constexpr int defaultSettleMs = 20;
    void setSettleInterval(int milliseconds) { m_settle.setInterval(milliseconds); }

  private:
    using ReadResult = std::variant<Network, TouchstoneError>;
    struct Link; // shared with the reading threads

    // `whole`: its writer has closed it, so no settle interval is waited.
    void changed(bool whole = false);
    void readFinished(quint64 generation, std::shared_ptr<ReadResult> result);
    void tryFinish();
    void setBusy(bool busy);

    QString m_path;
    FileWatch m_watch;
    QTimer m_settle;
    std::shared_ptr<Link> m_link;
    quint64 m_generation = 0;
    FileStamp m_stamp; // when the current read started
    std::shared_ptr<ReadResult> m_result;
    bool m_settled = false;
    bool m_busy = false;
    bool m_goneReported = false;
};

// An analyser (scpi://, librevna://, nanovna:): one complete sweep after
// another on a thread of its own (analyser_link's sessions), each delivered
// whole; a window slower than the analyser gets the newest sweep, never a
// queue of old ones.
// A lost connection is reported (Link) and connected again every quarter
// second until the analyser answers; a reply that cannot be read is
// reported and the connection started afresh. Destroying the source never
// waits: the thread ends at its next step.
class AnalyserSweepSource : public SweepSource {
    Q_OBJECT

  public:
    explicit AnalyserSweepSource(const QString &address, QObject *parent = nullptr);
    ~AnalyserSweepSource() override;

    QString origin() const override { return m_address; }
    void start() override;
    // The instrument's name for itself, once connected.
    QString identity() const { return m_identity; }
    // Held: no sweep is taken or delivered, the last one stays on screen.
    void setHeld(bool held);

  signals:
    void connectedChanged(bool connected);

  private:
    struct Link; // shared with the thread

    void deliver(std::shared_ptr<Network> network);
    void fail(const LinkError &error);

    QString m_address;
    QString m_identity;
    std::shared_ptr<Link> m_link;
    quint64 m_generation = 0;
};

} // namespace varnel
