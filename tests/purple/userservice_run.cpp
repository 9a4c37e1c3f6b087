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
#include <QHash>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>

using namespace zelmo;
using namespace zelmo::test;

namespace {

const QString Me = QStringLiteral("me@localhost");

// The last "key=" line of a unit.
QString unitValue(const QString &unit, const QString &key)
{
    QString value;
    for (const QString &line : unit.split('\n')) {
        if (line.startsWith(key + '='))
            value = line.mid(key.size() + 1).trimmed();
    }
    return value;
}

// The specifiers of a user unit that this one uses; any other fails the test.
QString expandSpecifiers(const QString &text, const QHash<QChar, QString> &values)
{
    QString out;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] != '%' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const QChar specifier = text[++i];
        EXPECT_TRUE(values.contains(specifier)) << "to expand: %" << specifier.toLatin1();
        out += values.value(specifier);
    }
    return out;
}

// ExecStart's words with the environment's variables: $NAME splits into words, ${NAME} not.
QStringList commandLine(const QString &execStart, const QProcessEnvironment &env)
{
    static const QRegularExpression space(QStringLiteral("\\s+"));
    QStringList words;
    for (const QString &word : execStart.split(space, Qt::SkipEmptyParts)) {
        if (word.startsWith(QLatin1String("${")) && word.endsWith('}'))
            words << env.value(word.mid(2, word.size() - 3));
        else if (word.startsWith('$'))
            words << env.value(word.mid(1)).split(space, Qt::SkipEmptyParts);
        else
            words << word;
    }
    return words;
}

} // namespace

TEST(UserServiceTest, TheInstalledUnitAnswersBesideFinchAndEndsOnSigtermWithItsRecord)
{
    QFile unitFile(qEnvironmentVariable("ZELMO_USER_UNIT"));
    ASSERT_TRUE(unitFile.open(QIODevice::ReadOnly)) << unitFile.fileName();
    const QString unit = QString::fromUtf8(unitFile.readAll());

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

    // The user's home as the service manager sees it, with the instance's file as the README
    // has it written.
    QTemporaryDir home;
    const QString configHome = home.filePath(".config");
    const QString dataHome = home.filePath(".local/share");
    const QString runtime = home.filePath("runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const auto expand = [&](const QString &key) {
        return expandSpecifiers(
            unitValue(unit, key),
            {{'i', "work"}, {'I', "work"}, {'h', home.path()}, {'E', configHome}, {'%', "%"}});
    };
    QFile envFile(expand("EnvironmentFile"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(envFile).path()));
    ASSERT_TRUE(envFile.open(QIODevice::WriteOnly)) << envFile.fileName();
    envFile.write("ZELMO_OPTIONS=--purple-account " + Me.toUtf8() + "\n");
    envFile.close();
    envFile.setPermissions(QFile::ReadOwner | QFile::WriteOwner);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(display);
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", configHome);
    env.insert("XDG_DATA_HOME", dataHome);
    env.insert("XDG_RUNTIME_DIR", runtime);
    env.insert("DBUS_SESSION_BUS_ADDRESS", finch.busAddress());
    ASSERT_TRUE(envFile.open(QIODevice::ReadOnly));
    for (const QByteArray &line : envFile.readAll().split('\n')) {
        if (const int equals = line.indexOf('='); equals > 0)
            env.insert(QString::fromUtf8(line.left(equals)),
                       QString::fromUtf8(line.mid(equals + 1)));
    }
    const QStringList command = commandLine(expand("ExecStart"), env);
    ASSERT_TRUE(command.contains("--headless")) << command.join(' ').toStdString();

    ChildProcess zelmo;
    zelmo.setProcessEnvironment(env);
    zelmo.setProcessChannelMode(QProcess::MergedChannels);
    zelmo.start(command.first(), command.mid(1));
    const auto output = [&] { return QString::fromLocal8Bit(zelmo.readAll()).toStdString(); };

    // A message before the program has attached goes unanswered: ask until it answers.
    bool answered = false;
    for (int tries = 0; tries < 6 && !answered && zelmo.state() != QProcess::NotRunning; ++tries) {
        ann.clearMessages();
        ann.send(Me, "|help|");
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
