// The main of every test program: a private home for the run, so that no test touches the
// real user's files, and the application object the timers need. Built twice: with
// ZELMO_TEST_WIDGETS for the tests that show windows (a QApplication), without it for the
// logic's tests, which then link no Qt Gui or Widgets.

#include "messenger/messenger.h"

#ifdef ZELMO_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char **argv)
{
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/zelmo-test-XXXXXX"));
    if (!home.isValid()) {
        fprintf(stderr, "cannot create a private test folder\n");
        return 2;
    }
    const QString runtime = home.filePath(QStringLiteral("runtime"));
    const QString config = home.filePath(QStringLiteral("config"));
    QDir().mkpath(runtime);
    QDir().mkpath(config);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("ZELMO_SOURCE_DIR"))
        qputenv("ZELMO_SOURCE_DIR", ZELMO_SOURCE_DIR);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    TestApplication app(argc, argv);
    TestApplication::setApplicationName(QStringLiteral("zelmo-tests"));
    zelmo::registerMessengerMetaTypes();

    testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
