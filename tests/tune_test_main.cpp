// Test main for the tuning window: Qt's offscreen platform and settings in a
// folder of their own, so that no run sees another's or the user's.
#include <QApplication>
#include <QDir>
#include <gtest/gtest.h>

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString settings =
        QDir::tempPath() +
        QStringLiteral("/varnel-tune-test-%1").arg(QCoreApplication::applicationPid());
    QDir(settings).removeRecursively();
    qputenv("XDG_CONFIG_HOME", settings.toUtf8());
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Varnel"));
    QApplication::setApplicationName(QStringLiteral("varnel-tune-test"));
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    QDir(settings).removeRecursively();
    return status;
}
