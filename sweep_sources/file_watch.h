#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

struct inotify_event;

// One file watched through the kernel's inotify: the file's own writes and
// its writer's close, and its entry in the folder (created, renamed into
// place, deleted, renamed away). Both come through one queue, so they are
// seen in the order they happened. A writer's close, or a rename into place
// (how a program saves atomically), means the file holds what was written
// whole; any other change may be part of a save still going on. Other files
// of the folder are not reported.
// The events the kernel has queued are taken together, and the last save
// among them decides: a save by open, three writes and close gives one
// `whole`; a close followed by the next save's first write gives one
// `changed`; a save that renames its new file over the old one gives one
// `whole`, though the old file's going away is queued after the rename.
namespace varnel {

class FileWatch : public QObject {
    Q_OBJECT

  public:
    explicit FileWatch(const QString &path, QObject *parent = nullptr);
    ~FileWatch() override;

    // Watches the folder, and the file wherever it exists (again after it
    // was replaced by another).
    void watch();

  signals:
    void changed(); // written, replaced or gone: what it holds may be a part
    void whole();   // closed by its writer, or renamed into place

  private:
    enum class Seen { Nothing, Changed, Whole };
    Seen after(Seen seen, const inotify_event &event, const char *name);
    void takeEvents();

    QByteArray m_folder, m_file, m_name; // as the kernel spells them
    int m_queue = -1;
    int m_folderWatch = -1, m_fileWatch = -1;
};

} // namespace varnel
