// The program on an XMPP account as a user runs it: the real binary against a real Prosody,
// its command line, the reason of a failed sign-in in the main window, the password dialog.

#include "app/accountkey.h"
#include "app/backend.h"
#include "app/instancelock.h"
#include "app/options.h"
#include "app/xmppsetup.h"
#include "core/commands.h"
#include "core/program.h"
#include "ui/mainwindow.h"
#include "ui/passworddialog.h"

#include "support/memorystore.h"
#include "support/printers.h"
#include "support/waituntil.h"
#include "support/texts.h"
#include "xmpp/support/prosodyserver.h"
#include "xmpp/support/xmppcontact.h"
#include "xmpp/support/zelmorun.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace zelmo;
using namespace zelmo::test;

namespace {

const QString &Me = test::XmppMe;

class XmppAppTest : public testing::Test {
protected:
    void SetUp() override
    {
        server.addAccount(QStringLiteral("zelmo"));
        server.addAccount(QStringLiteral("ann"));
        server.setRoster(QStringLiteral("zelmo"), {{QStringLiteral("ann"), QStringLiteral("Ann")}});
        server.setRoster(QStringLiteral("ann"), {{QStringLiteral("zelmo"), QString()}});
        QString error;
        ASSERT_TRUE(server.start(&error)) << error;
    }

    ProsodyServer server;
};

TEST_F(XmppAppTest, TheProgramSignsInAnswersAndCountsDownWhenTheServerStops)
{
    ZelmoRun zelmo(ZelmoRun::accountArguments(Me, server.address()) +
                       QStringList{QStringLiteral("--reconnect-limit"), QStringLiteral("1")},
                   QStringLiteral("pw"));
    XmppContact ann(server, QStringLiteral("ann"));
    ASSERT_TRUE(ann.connect());
    ASSERT_TRUE(waitUntil([&] { return ann.showOf(Me) == QLatin1String("online"); }, 30000))
        << zelmo.output();

    // Written to the account, not to one connection: the server hands it to the program.
    ann.send(Me, QStringLiteral("|help|"));
    ASSERT_TRUE(ann.waitForMessages(10, 30000)) << zelmo.output();
    EXPECT_EQ(ann.bodies(), Commands::helpLines());

    QElapsedTimer sinceStop;
    server.stop();
    sinceStop.start();
    ASSERT_TRUE(zelmo.waitForExit(60000)) << "no end after the server stopped\n" << zelmo.output();
    // Not at once: the countdown shows 3, 2, 1 first.
    EXPECT_GE(sinceStop.elapsed(), 2500);
    EXPECT_FALSE(zelmo.crashed());
    EXPECT_EQ(zelmo.exitCode(), Program::exitMessengerLost);
    EXPECT_TRUE(
        zelmo.output().contains(QStringLiteral("zelmo: the connection to the server was lost")))
        << zelmo.output();
}

TEST_F(XmppAppTest, AWrongPasswordIsToldOnStandardErrorAndTheProgramEndsByItself)
{
    ZelmoRun zelmo(ZelmoRun::accountArguments(Me, server.address()), QStringLiteral("secret-x"));
    ASSERT_TRUE(zelmo.waitForExit(60000)) << zelmo.output();
    // Not the status of a server out of reach: a service must not try it again and again.
    EXPECT_EQ(zelmo.exitCode(), exitCredentialsRefused);
    const QString output = zelmo.output();
    EXPECT_TRUE(output.contains(QStringLiteral("zelmo: the sign-in as zelmo@localhost failed: the "
                                               "server refused the name or password")))
        << output;
    EXPECT_FALSE(output.contains(QStringLiteral("secret-x"))) << "the password is never written";
}

TEST(XmppCommandLineTest, PlainTextIsAllowedForThisMachineOnly)
{
    const auto parse = [](const QStringList &args, QString *message) {
        int exitCode = 0;
        return parseOptions(QStringList{QStringLiteral("zelmo")} + args, message, &exitCode);
    };
    QString message;
    const auto local = parse({"--xmpp", "me@example.org", "--server", "[::1]:5333",
                              "--insecure-plaintext", "--accept-strangers"},
                             &message);
    ASSERT_TRUE(local) << message;
    EXPECT_EQ(local->xmppJid, "me@example.org");
    EXPECT_EQ(local->xmppHost, "::1");
    EXPECT_EQ(local->xmppPort, 5333);
    EXPECT_TRUE(local->insecurePlaintext);
    EXPECT_TRUE(local->acceptStrangers);
    const auto byDomain = parse({"--xmpp", "me@example.org"}, &message);
    ASSERT_TRUE(byDomain);
    EXPECT_TRUE(byDomain->xmppHost.isEmpty()) << "the server comes from the domain";
    EXPECT_TRUE(parse({"--xmpp", "me@localhost", "--insecure-plaintext"}, &message));

    // Refused: plain text beyond this machine, XMPP options without an account, the built-in
    // messenger's options with one, an address that is no account.
    EXPECT_FALSE(parse({"--xmpp", "me@example.org", "--insecure-plaintext"}, &message));
    EXPECT_TRUE(message.contains(QStringLiteral("example.org is not one"))) << message;
    EXPECT_FALSE(parse({"--xmpp", "me@localhost", "--server", "10.0.0.1", "--insecure-plaintext"},
                       &message));
    EXPECT_FALSE(parse({"--server", "127.0.0.1"}, &message));
    EXPECT_FALSE(parse({"--xmpp", "me@localhost", "--sim-script", "x.txt"}, &message));
    EXPECT_FALSE(parse({"--xmpp", "example.org"}, &message));
    EXPECT_FALSE(parse({"--xmpp", "me@localhost", "--server", "localhost:0"}, &message));

    // The real program says so and ends before any connection.
    ZelmoRun zelmo({"--xmpp", "me@example.org", "--server", "example.org", "--insecure-plaintext"},
                   QStringLiteral("pw"));
    ASSERT_TRUE(zelmo.waitForExit(30000));
    EXPECT_EQ(zelmo.exitCode(), 1);
    EXPECT_TRUE(
        zelmo.output().contains(QStringLiteral("allowed only for a server on this machine")))
        << zelmo.output();
}

TEST(AccountKeyTest, AnXmppAccountHasOneKeyAndSoOneLockWhicheverBackendServesIt)
{
    InstanceLock xmppCopy(xmppAccountKey("me@Localhost"));
    ASSERT_TRUE(xmppCopy.tryLock());
    EXPECT_FALSE(InstanceLock(purpleAccountKey("prpl-jabber", "me@localhost/home")).tryLock());
}

TEST_F(XmppAppTest, TheReasonOfAFailedSignInStaysUnderTheNotConnectedText)
{
    Options options;
    options.xmppJid = Me;
    options.xmppHost = server.host();
    options.xmppPort = server.port();
    options.insecurePlaintext = true;
    qputenv("ZELMO_XMPP_PASSWORD", "wrong");
    QString error;
    int exitCode = 0;
    const auto backend = MessengerBackend::create(options, &error, &exitCode);
    ASSERT_TRUE(backend) << error;
    EXPECT_FALSE(qEnvironmentVariableIsSet("ZELMO_XMPP_PASSWORD"))
        << "taken out of the environment";

    MemoryStore store;
    Program program(&backend->messenger(), store);
    program.setEndReason([&] { return backend->endReason(); });
    MainWindow form(program);
    bool ended = false;
    form.setEndProgram([&ended](int) { ended = true; });
    form.program().setTickInterval(100);
    form.start();
    auto *label = form.findChild<QLabel *>(QStringLiteral("statusMessage"));
    ASSERT_TRUE(label);
    const QString expected = "Please switch XMPP on before using this program.."
                             "<br><span style=\"font-size: 8pt\">The sign-in as zelmo@localhost "
                             "failed: the server refused the name or password "
                             "(not-authorized)</span>";
    ASSERT_TRUE(waitUntil([&] { return label->text() == expected; })) << label->text();
    // Each tick of the countdown writes the program's text again; the reason stays under it.
    ASSERT_TRUE(waitUntil(
        [&] { return form.windowTitle() == Program::countdownCaption(1) || ended; }, 10000));
    EXPECT_EQ(label->text(), expected);
    EXPECT_TRUE(backend->credentialsRefused()) << "a run that cannot mend itself";
}

TEST(PasswordDialogTest, AsksForThePasswordAndOffersTheKeyringOnlyWhenOneAnswered)
{
    PasswordDialog offered(QStringLiteral("me@example.org"), true);
    auto *field = offered.findChild<QLineEdit *>();
    auto *keep = offered.findChild<QCheckBox *>();
    auto *ok = offered.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
    ASSERT_TRUE(field && keep && ok);
    EXPECT_EQ(field->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(ok->isEnabled()) << "no sign-in without a password";
    QTest::keyClicks(field, QStringLiteral("pa ss"));
    EXPECT_TRUE(ok->isEnabled());
    keep->setChecked(true);
    EXPECT_EQ(offered.password(), "pa ss");
    EXPECT_TRUE(offered.savePassword());

    PasswordDialog notOffered(QStringLiteral("me@example.org"), false);
    notOffered.findChild<QCheckBox *>()->setChecked(true);
    EXPECT_FALSE(notOffered.savePassword()) << "no keyring, nothing to keep";
}

} // namespace
