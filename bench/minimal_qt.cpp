// The floor for start-up time and memory: a Qt Widgets program that shows
// one empty window.
#include <QApplication>
#include <QWidget>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.resize(137, 296);
    window.show();
    return app.exec();
}
