#include "tuning_window/tune_options.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <string_view>

namespace varnel {

void configureTuneCommandLine(QCommandLineParser &parser) {
    parser.setApplicationDescription(QCoreApplication::translate(
        "main", "Tuning window: the target group delay of a stage with the measured sweep."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QCoreApplication::translate("main", "A Touchstone file to open."));
}

bool installTuneTranslations(const QLocale &locale) {
    static QTranslator own, qt;
    QCoreApplication::removeTranslator(&own);
    QCoreApplication::removeTranslator(&qt);
    const bool translated = own.load(locale, QStringLiteral("varnel-tune"), QStringLiteral("_"),
                                     QStringLiteral(":/i18n"));
    if (translated)
        QCoreApplication::installTranslator(&own);
    // Qt's own texts (the buttons of file dialogs and message boxes).
    if (qt.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qt);
    return translated;
}

bool asksOnlyForText(int argc, const char *const *argv) {
    // The spellings Qt's help and version options answer to.
    constexpr std::string_view textOptions[] = {"-h",         "--help", "-?",
                                                "--help-all", "-v",     "--version"};
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--")
            return false;
        for (const std::string_view option : textOptions)
            if (arg == option)
                return true;
    }
    return false;
}

} // namespace varnel
