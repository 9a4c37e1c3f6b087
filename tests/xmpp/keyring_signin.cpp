// Passwords in the desktop's keyring, against a real GNOME keyring and a real Prosody: a kept
// password signs the real program in without a question, and the one typed into the dialog
// is kept once the sign-in has succeeded. Runs inside with_keyring.sh.

#include "app/options.h"
#include "app/xmppsetup.h"
#include "core/commands.h"
#include "messenger/messenger.h"
#include "ui/passworddialog.h"

#include "support/printers.h"
#include "support/waituntil.h"
#include "xmpp/support/prosodyserver.h"
#include "xmpp/support/xmppcontact.h"
#include "xmpp/support/zelmorun.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

using namespace zelmo;
using namespace zelmo::test;

namespace {

class KeyringTest : public testing::Test {
protected:
    void SetUp() override
    {
        for (const char *user : {"zelmo", "ann", "bob"})
            server.addAccount(QString::fromLatin1(user));
        server.setRoster(QStringLiteral("zelmo"), {{QStringLiteral("ann"), QString()}});
        server.setRoster(QStringLiteral("ann"), {{QStringLiteral("zelmo"), QString()}});
        QString error;
        ASSERT_TRUE(server.start(&error)) << error;
    }

    ProsodyServer server;
};

TEST_F(KeyringTest, AKeptPasswordSignsTheProgramInWithoutAQuestion)
{
    const QString me = QStringLiteral("zelmo@localhost");
    QString error;
    ASSERT_TRUE(writeKeyringPassword(me, QStringLiteral("pw"), &error)) << error;
    EXPECT_EQ(readKeyringPassword(me).password.value_or(QString()), "pw");

    ZelmoRun zelmo(ZelmoRun::accountArguments(me, server.address()), QString());
    XmppContact ann(server, QStringLiteral("ann"));
    ASSERT_TRUE(ann.connect());
    ASSERT_TRUE(waitUntil([&] { return ann.showOf(me) == QLatin1String("online"); }, 30000))
        << zelmo.output();
    ann.send(me, QStringLiteral("|help|"));
    ASSERT_TRUE(ann.waitForMessages(10, 30000)) << zelmo.output();
    EXPECT_EQ(ann.bodies(), Commands::helpLines());
}

TEST_F(KeyringTest, TheDialogsPasswordIsKeptOnceTheSignInSucceeded)
{
    const QString bob = QStringLiteral("bob@localhost");
    const KeyringRead before = readKeyringPassword(bob);
    EXPECT_TRUE(before.keyringAnswered);
    EXPECT_FALSE(before.password);

    // The user types the password and asks to keep it.
    bool asked = false;
    QTimer typist;
    QObject::connect(&typist, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<PasswordDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        asked = true;
        dialog->findChild<QLineEdit *>()->setText(QStringLiteral("pw"));
        dialog->findChild<QCheckBox *>()->setChecked(true);
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    });
    typist.start(50);

    Options options;
    options.xmppJid = bob;
    options.xmppHost = server.host();
    options.xmppPort = server.port();
    options.insecurePlaintext = true;
    qunsetenv("ZELMO_XMPP_PASSWORD");
    QString error;
    int exitCode = 0;
    const auto backend = createXmppBackend(options, &error, &exitCode);
    ASSERT_TRUE(backend) << error;
    EXPECT_TRUE(asked);
    ASSERT_EQ(backend->messenger().GetServices()->GetPrimaryService()->GetServiceStatus(),
              ServiceStatus::Connected);
    EXPECT_TRUE(waitUntil([&] { return readKeyringPassword(bob).password.has_value(); }));
    EXPECT_EQ(readKeyringPassword(bob).password.value_or(QString()), "pw");
}

} // namespace
