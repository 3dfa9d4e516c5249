#include "generated/version.h"
#include "tuning/fit_memory.h"
#include "tuning_window/tune_options.h"
#include "tuning_window/tune_window.h"
#include "window_runtime/start.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLocale>

namespace {

void nameApplication() {
    QCoreApplication::setOrganizationName(QStringLiteral("Varnel"));
    QCoreApplication::setApplicationName(QStringLiteral("varnel-tune"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(varnel::version));
}

} // namespace

int main(int argc, char **argv) {
    varnel::keepFreedMemoryForFits();
    QCommandLineParser parser;
    if (varnel::asksOnlyForText(argc, argv)) {
        // Help and version need no display: printed on standard output, status 0.
        QCoreApplication core(argc, argv);
        nameApplication();
        varnel::installTuneTranslations(QLocale());
        varnel::configureTuneCommandLine(parser);
        parser.process(core);
        return 0;
    }
    varnel::sayPlainlyWhenNoWindowOpens("varnel-tune");
    QApplication app(argc, argv);
    nameApplication();
    QApplication::setDesktopFileName(QStringLiteral("varnel-tune"));
    varnel::loadTranslations(QLocale());
    varnel::configureTuneCommandLine(parser);
    parser.process(app);

    varnel::TuneWindow window;
    window.show();
    if (!parser.positionalArguments().isEmpty())
        window.openFile(parser.positionalArguments().first());
    return app.exec();
}
