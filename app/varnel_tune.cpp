#include "generated/version.h"
#include "tuning/fit_memory.h"
#include "tuning_window/tune_window.h"
#include "window_runtime/start.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLocale>

int main(int argc, char **argv) {
    varnel::keepFreedMemoryForFits();
    varnel::sayPlainlyWhenNoWindowOpens("varnel-tune");
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Varnel"));
    QApplication::setApplicationName(QStringLiteral("varnel-tune"));
    QApplication::setApplicationVersion(QString::fromLatin1(varnel::version));
    QApplication::setDesktopFileName(QStringLiteral("varnel-tune"));
    varnel::loadTranslations(QLocale());

    QCommandLineParser parser;
    parser.setApplicationDescription(QApplication::translate(
        "main", "Tuning window: the target group delay of a stage with the measured sweep."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QApplication::translate("main", "A Touchstone file to open."));
    parser.process(app);

    varnel::TuneWindow window;
    window.show();
    if (!parser.positionalArguments().isEmpty())
        window.openFile(parser.positionalArguments().first());
    return app.exec();
}
