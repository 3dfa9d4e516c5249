// A second floor for start-up time and memory: the minimal window with one
// label of Chinese text in the Song face, as Varnel's first caption is drawn.
// What it costs above minimal_qt is the price of drawing any Chinese text.
#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QWidget>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.resize(137, 296);
    QLabel label(QStringLiteral("切比契夫变换"), &window);
    QFont font(QStringLiteral("AR PL UMing CN"));
    font.setPixelSize(13);
    font.setHintingPreference(QFont::PreferNoHinting);
    label.setFont(font);
    label.setGeometry(8, 2, 89, 17);
    window.show();
    return app.exec();
}
