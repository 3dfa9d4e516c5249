// A window that drags a file, as a file manager does: pressing the mouse
// button on it starts a drag of the file's URL, and the program ends when
// the drag ends (a few seconds later, as the target reads the data after the
// drop), printing "dropped" when a target took it. The Xvfb test of
// the tuning window drives it with the pointer to drop a file on the chart.
// Usage: drag_source FILE
#include <QApplication>
#include <QDrag>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>

#include <cstdio>

namespace {

class DragSource : public QLabel {
  public:
    explicit DragSource(const QString &path) : QLabel(QStringLiteral("drag source")), m_path(path) {
        setWindowTitle(QStringLiteral("drag source"));
        setAlignment(Qt::AlignCenter);
        resize(160, 60);
    }

  protected:
    void mousePressEvent(QMouseEvent *) override {
        auto *data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(m_path)});
        auto *drag = new QDrag(this);
        drag->setMimeData(data);
        const Qt::DropAction action = drag->exec(Qt::CopyAction);
        std::puts(action == Qt::IgnoreAction ? "refused" : "dropped");
        std::fflush(stdout);
        // The target asks for the data after the drop: stay to give it.
        QTimer::singleShot(3000, qApp, &QApplication::quit);
    }

  private:
    QString m_path;
};

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: drag_source FILE\n", stderr);
        return 2;
    }
    DragSource source(QString::fromLocal8Bit(argv[1]));
    source.show();
    return app.exec();
}
