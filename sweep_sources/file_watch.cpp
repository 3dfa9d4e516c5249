#include "sweep_sources/file_watch.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <sys/inotify.h>
#include <unistd.h>

#include <cstring>

namespace varnel {

namespace {

constexpr uint32_t fileEvents =
    IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;
// The folder's close too: a file created and written before its own watch
// began is seen closed only there. (For a file already watched the kernel
// queues both closes together, and they are taken as one.)
constexpr uint32_t folderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                  IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

} // namespace

FileWatch::FileWatch(const QString &path, QObject *parent) : QObject(parent) {
    const QFileInfo info(path);
    m_file = QFile::encodeName(info.absoluteFilePath());
    m_folder = QFile::encodeName(info.absolutePath());
    m_name = QFile::encodeName(info.fileName());
    m_queue = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_queue < 0)
        return;
    auto *notifier = new QSocketNotifier(m_queue, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &FileWatch::takeEvents);
}

FileWatch::~FileWatch() {
    if (m_queue >= 0)
        ::close(m_queue);
}

void FileWatch::watch() {
    if (m_queue < 0)
        return;
    if (m_folderWatch < 0)
        m_folderWatch = ::inotify_add_watch(m_queue, m_folder.constData(), folderEvents);
    // The path's file now: the same watch while it is the same file, a new
    // one once another file has taken its name (the old one is dropped).
    const int file = ::inotify_add_watch(m_queue, m_file.constData(), fileEvents);
    if (file >= 0 && m_fileWatch >= 0 && file != m_fileWatch)
        ::inotify_rm_watch(m_queue, m_fileWatch);
    if (file >= 0)
        m_fileWatch = file;
}

// What one event says of the file, after what the events before it said.
// The watched file's going (its attributes, deletion or rename, as when a
// save renames another file over it) says only that something changed: it
// does not undo the whole file that took its name.
FileWatch::Seen FileWatch::after(Seen seen, const inotify_event &event, const char *name) {
    const auto changedAtLeast = seen == Seen::Nothing ? Seen::Changed : seen;
    if (event.mask & IN_Q_OVERFLOW) // events were lost: anything may have changed
        return Seen::Changed;
    if (event.wd == m_fileWatch) {
        if (event.mask & IN_IGNORED)
            m_fileWatch = -1;
        if (event.mask & IN_CLOSE_WRITE)
            return Seen::Whole;
        return event.mask & IN_MODIFY ? Seen::Changed : changedAtLeast;
    }
    if (event.wd != m_folderWatch)
        return seen; // a file that had the name before
    if (event.mask & IN_IGNORED)
        m_folderWatch = -1;
    if (event.len == 0)
        return Seen::Changed; // the folder itself moved or went
    if (m_name != QByteArray(name))
        return seen; // another file of the folder
    return event.mask & (IN_MOVED_TO | IN_CLOSE_WRITE) ? Seen::Whole : Seen::Changed;
}

void FileWatch::takeEvents() {
    alignas(inotify_event) char buffer[8192];
    Seen seen = Seen::Nothing;
    for (;;) {
        const ssize_t got = ::read(m_queue, buffer, sizeof buffer);
        if (got <= 0)
            break;
        for (ssize_t at = 0; at < got;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            seen = after(seen, event, buffer + at + sizeof event);
            at += static_cast<ssize_t>(sizeof event + event.len);
        }
    }
    if (seen == Seen::Whole)
        emit whole();
    else if (seen == Seen::Changed)
        emit changed();
}

} // namespace varnel
