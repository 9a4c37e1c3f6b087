// The user service as systemd runs it: the installed unit's command line with one instance's
// environment file, beside the user's Finch on a bus with no display. SIGTERM, what
// `systemctl --user stop` sends, ends it with status 0, the record on disk, the lock released.
// ZELMO_USER_UNIT names the installed unit.

#include "core/activitylogfile.h"
#include "core/commands.h"

#include "purple/support/finchclient.h"
#include "support/printers.h"
#include "support/waituntil.h"
#include "xmpp/support/prosodyserver.h"
#include "xmpp/support/xmppcontact.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>

using namespace zelmo;
using namespace zelmo::test;

TEST(UserServiceTest, TheInstalledUnitAnswersBesideFinchAndEndsOnSigtermWithItsRecord)
{
    const QString me = QStringLiteral("me@localhost");
    ProsodyServer server;
    server.addAccount("me");
    server.addAccount("ann");
    server.setRoster("me", {{"ann", "Ann"}});
    server.setRoster("ann", {{"me", "Me"}});
    QString error;
    ASSERT_TRUE(server.start(&error)) << error;
    FinchClient finch(server, {{"me"}});
    ASSERT_TRUE(finch.start(&error)) << error;
    XmppContact ann(server, "ann");
    ASSERT_TRUE(ann.connect());

    // The user's home as the service manager sees it, for the instance "work".
    QTemporaryDir home;
    const QString dataHome = home.filePath(".local/share"), runtime = home.filePath("runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile unitFile(qEnvironmentVariable("ZELMO_USER_UNIT"));
    ASSERT_TRUE(unitFile.open(QIODevice::ReadOnly)) << unitFile.fileName();
    const QString unit = QString::fromUtf8(unitFile.readAll());
    const auto setting = [&](const QString &key) { // the last line of the key, specifiers expanded
        const QStringList lines = unit.split('\n').filter(QRegularExpression('^' + key + '='));
        EXPECT_FALSE(lines.isEmpty()) << "no " << key.toStdString();
        QString value = lines.value(lines.size() - 1).mid(key.size() + 1).trimmed();
        value.replace("%i", "work").replace("%E", home.filePath(".config"));
        EXPECT_FALSE(value.contains('%')) << "a specifier to expand: " << value.toStdString();
        return value;
    };

    // The instance's file as the README has it written.
    QFile envFile(setting("EnvironmentFile"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(envFile).path()));
    ASSERT_TRUE(envFile.open(QIODevice::WriteOnly)) << envFile.fileName();
    envFile.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    const QByteArray options = "--purple-account " + me.toUtf8();
    envFile.write("ZELMO_OPTIONS=" + options + "\n");
    envFile.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(display);
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.filePath(".config"));
    env.insert("XDG_DATA_HOME", dataHome);
    env.insert("XDG_RUNTIME_DIR", runtime);
    env.insert("DBUS_SESSION_BUS_ADDRESS", finch.busAddress());
    // What systemd runs: the file's $ZELMO_OPTIONS, unbraced, split into words.
    QStringList command = setting("ExecStart").split(' ', Qt::SkipEmptyParts);
    ASSERT_TRUE(command.removeOne("$ZELMO_OPTIONS")) << command.join(' ').toStdString();
    command += QString::fromUtf8(options).split(' ');
    ASSERT_TRUE(command.contains("--headless")) << command.join(' ').toStdString();

    ChildProcess zelmo;
    zelmo.setProcessEnvironment(env);
    zelmo.setProcessChannelMode(QProcess::MergedChannels);
    zelmo.start(command.takeFirst(), command);
    const auto output = [&] { return QString::fromLocal8Bit(zelmo.readAll()).toStdString(); };
    // A message before the program has attached goes unanswered: ask until it answers.
    bool answered = false;
    for (int tries = 0; tries < 6 && !answered && zelmo.state() != QProcess::NotRunning; ++tries) {
        ann.clearMessages();
        ann.send(me, "|help|");
        answered = ann.waitForMessages(10, 10000);
    }
    ASSERT_TRUE(answered) << output();
    EXPECT_EQ(ann.bodies().mid(0, 10), Commands::helpLines());

    zelmo.terminate();
    ASSERT_TRUE(waitUntil([&] { return zelmo.state() == QProcess::NotRunning; }, 30000));
    EXPECT_EQ(zelmo.exitStatus(), QProcess::NormalExit) << output();
    EXPECT_EQ(zelmo.exitCode(), 0) << output();
    EXPECT_EQ(QDir(runtime).entryList({"zelmo-*.lock"}), QStringList()) << "the lock is left";
    const QDir data(dataHome + "/Zelmo Extensions");
    const QStringList records = data.entryList({"record-*.jsonl"});
    ASSERT_EQ(records.size(), 1) << data.entryList().join(' ').toStdString();
    const ActivityLogFile::Loaded record = ActivityLogFile(data.filePath(records[0])).load();
    EXPECT_TRUE(record.readable && !record.damaged) << record.error.toStdString();
    EXPECT_TRUE(std::any_of(record.rows.begin(), record.rows.end(), [](const auto &row) {
        return row.logonName == "ann@localhost" && row.kind == ActivityLog::Kind::Command;
    }));
}
