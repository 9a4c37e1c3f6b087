// The program attached to a real Finch, signed in to a real Prosody, with QXmpp clients as the
// contacts: what a user of Pidgin or Finch and their contacts see.

#include "core/commands.h"
#include "core/dispatcher.h"
#include "core/localstatus.h"
#include "core/program.h"
#include "platform/messenger/purple/purplemessenger.h"

#include "purple/support/finchclient.h"
#include "support/fakemainview.h"
#include "support/memorystore.h"
#include "support/printers.h"
#include "support/waituntil.h"
#include "support/texts.h"
#include "xmpp/support/prosodyserver.h"
#include "xmpp/support/xmppcontact.h"

#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>

#include <functional>
#include <memory>

using namespace zelmo;
using namespace zelmo::test;

namespace {

const QString Me = QStringLiteral("me@localhost");
using test::Footer;

// The program on one Finch account, as it runs beside the user's client.
struct Companion {
    explicit Companion(FinchClient &client, const purple::PurpleAccount &account = {})
        : bus(QDBusConnection::connectToBus(client.busAddress(),
                                            "companion" + QString::number(++count)))
        , mm(bus, account)
    {
        attached = mm.attach(&error);
        // Before the program's own handlers, which answer.
        QObject::connect(&mm, &MessengerObject::OnTextReceived,
                         [this](const IMSessionPtr &, const UserPtr &, const QString &,
                                const QString &text, bool *) {
                             received << text;
                             if (beforeAnswer)
                                 beforeAnswer();
                         });
        program.setTickInterval(100);
        program.start();
    }
    ~Companion() { program.shutDown(); }

    // Stores an away message for a buddy, at its place in the client's list.
    void storeMessage(const QString &logon, const QString &message)
    {
        const UserCollectionPtr all = mm.GetList(ListKind::AllContacts);
        for (int i = 0; i < all->GetCount(); ++i) {
            if (all->Item(i)->GetLogonName() == logon)
                program.state().SetMessage(logon, message, static_cast<qint16>(i));
        }
    }

    static inline int count = 0;
    QDBusConnection bus;
    purple::PurpleMessenger mm;
    QString error;
    bool attached = false;
    QStringList received;
    std::function<void()> beforeAnswer;
    FakeMainView view;
    MemoryStore store;
    Program program{view, &mm, store, nullptr};
};

class PurpleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *user : {"me", "ann", "bob", "you"})
            server.addAccount(user);
        server.setRoster("me", {{"ann", "Ann"}, {"bob", "Bob"}, {"you", "You"}});
        for (const char *user : {"ann", "bob", "you"})
            server.setRoster(user, {{"me", "Me"}});
        QString error;
        ASSERT_TRUE(server.start(&error)) << error;
    }

    bool startFinch(FinchClient &client)
    {
        QString error;
        const bool started = client.start(&error);
        EXPECT_TRUE(started) << error;
        return started;
    }

    // Sends as a contact and waits for that many answers; returns their bodies.
    QStringList ask(XmppContact &contact, const QString &text, int answers,
                    const XmppContact::SendOptions &options = {})
    {
        contact.clearMessages();
        contact.send(Me, text, options);
        EXPECT_TRUE(contact.waitForMessages(answers)) << text << ": " << contact.bodies().join('|');
        return contact.bodies();
    }

    ProsodyServer server;
    FinchClient finch{server, {{"me"}}};
};

} // namespace

TEST_F(PurpleTest, AttachedItListsAnswersAndSwitchesWhatEveryContactSees)
{
    XmppContact ann(server, "ann"), bob(server, "bob");
    ASSERT_TRUE(ann.connect() && bob.connect());
    bob.setShow("dnd");
    ASSERT_TRUE(startFinch(finch));
    Companion me(finch);
    ASSERT_TRUE(me.attached) << me.error;
    EXPECT_EQ(me.mm.accountName(), "me@localhost/finch");
    EXPECT_EQ(me.mm.clientName(), "Finch");
    // In the order the client lists its buddies.
    ASSERT_TRUE(waitUntil([&] {
        QStringList lines = me.view.lines;
        lines.sort();
        return lines == QStringList({"Ann", "Bob"});
    })) << me.view.lines.join('|');
    const UserCollectionPtr all = me.mm.GetList(ListKind::AllContacts);
    UserPtr bobUser;
    for (int i = 0; i < all->GetCount(); ++i)
        bobUser = all->Item(i)->GetLogonName() == "bob@localhost" ? all->Item(i) : bobUser;
    EXPECT_TRUE(waitUntil([&] { return bobUser->GetState() == 10; })) << bobUser->GetState();
    bob.disconnect();
    ASSERT_TRUE(waitUntil([&] { return me.view.lines == QStringList{"Ann"}; }));

    // The help menu, typed plain and in a client that sends formatting, in dark blue.
    EXPECT_EQ(ask(ann, "|help|", 10), Commands::helpLines());
    EXPECT_TRUE(ann.messages().at(0).xhtml.contains("#000080")) << ann.messages().at(0).xhtml;
    XmppContact::SendOptions bold;
    bold.xhtml = "<span style='font-weight: bold'>|HeLp|</span>";
    EXPECT_EQ(ask(ann, "|HeLp|", 10, bold), Commands::helpLines());

    // Text both ways, byte for byte.
    const QString tricky = QString::fromUtf8("a <b> & c;\nzweite Zeile: ü, 日本 &amp;");
    ann.send(Me, tricky);
    ASSERT_TRUE(waitUntil([&] {
        return me.received.contains(QString(tricky).replace("\n", "\r\n"));
    })) << me.received.join('|');

    // Away by the window's button: every contact sees it, and Ann gets her message.
    me.storeMessage("ann@localhost", QString(tricky).replace("\n", "\r\n"));
    me.program.localStatus().toggleAway();
    EXPECT_EQ(me.mm.GetLocalState(), LocalState::Away);
    ASSERT_TRUE(waitUntil([&] { return ann.showOf(Me) == "away"; })) << ann.showOf(Me);
    EXPECT_EQ(ask(ann, "hi", 2), QStringList({tricky, Footer}));

    // Back and away again by command, each confirmed by the client.
    EXPECT_EQ(ask(ann, "|setback| 47209", 1), QStringList{Commands::setBackText()});
    ASSERT_TRUE(waitUntil([&] { return ann.showOf(Me) == "online"; })) << ann.showOf(Me);
    EXPECT_EQ(ask(ann, "|SETAWAY| 47209", 1), QStringList{Commands::setAwayText()});
    EXPECT_EQ(ann.showOf(Me), "away");

    // Delivered late (offline storage): recorded, not acted on.
    const int connection = finch.call("PurpleAccountGetConnection", {finch.accountHandle("me")})
                               .arguments()
                               .value(0)
                               .toInt();
    const QDBusMessage late = finch.call(
        "ServGotIm", {connection, QString("ann@localhost"), QString("|setback| 47209"), 0x400, 0});
    ASSERT_NE(late.type(), QDBusMessage::ErrorMessage) << late.errorMessage().toStdString();
    const auto &record = me.program.activityLog().rows();
    ASSERT_TRUE(waitUntil([&] {
        return record.front().what == "Not answered, delivered late: |setback| 47209";
    })) << record.front().what;
    EXPECT_TRUE(me.program.state().AwayMode);
}

// Away and back by the program's switch: the status the user had comes back with its message,
// and the switch is confirmed by it; a status deleted meanwhile gives a bare Available.
TEST_F(PurpleTest, BackRestoresTheUsersOwnStatus)
{
    ASSERT_TRUE(startFinch(finch));
    const auto integer = [&](const char *method, const QVariantList &arguments = {}) {
        return finch.call(method, arguments).arguments().value(0).toInt();
    };
    const int meeting = integer("PurpleSavedstatusNew", {"Meeting", 3});
    finch.call("PurpleSavedstatusSetMessage", {meeting, "in a meeting"});
    finch.call("PurpleSavedstatusActivate", {meeting});
    Companion me(finch);
    ASSERT_TRUE(me.attached) << me.error;
    LocalStatus &status = me.program.localStatus();
    for (const bool deleted : {false, true}) {
        EXPECT_EQ(status.toggleAway(), LocalStatus::SwitchResult::Completed);
        EXPECT_EQ(me.mm.GetLocalState(), LocalState::Away);
        // The program hears of the deletion before the user clicks back.
        if (deleted) {
            finch.call("PurpleSavedstatusDelete", {"Meeting"});
            EXPECT_TRUE(waitUntil(
                [&] { return me.mm.stateForRequest(LocalState::Online) == LocalState::Online; }));
        }
        EXPECT_EQ(status.toggleAway(), LocalStatus::SwitchResult::Completed);
        EXPECT_EQ(me.view.statusText, deleted ? "Status: Online" : "Status: Busy");
        EXPECT_EQ(integer("PurpleSavedstatusGetCurrent") == meeting, !deleted);
        const QDBusMessage message = finch.call("PurpleSavedstatusGetMessage", {meeting});
        EXPECT_EQ(message.errorName().isEmpty() ? message.arguments().value(0).toString() : "gone",
                  deleted ? "gone" : "in a meeting");
    }
}

// A client that stops answering for a while, as a busy or swapping one does: its calls time out
// meanwhile, and once it goes on the contact gets each line of the answer once, in order.
TEST_F(PurpleTest, AnAnswerThroughAFrozenClientArrivesOnceAndInOrder)
{
    XmppContact ann(server, "ann");
    ASSERT_TRUE(ann.connect());
    ASSERT_TRUE(startFinch(finch));
    purple::PurpleAccount impatient;
    impatient.callTimeoutMs = 300;
    Companion me(finch, impatient);
    ASSERT_TRUE(waitUntil([&] { return me.view.lines == QStringList{"Ann"}; }));
    me.storeMessage("ann@localhost", "Out until five.");
    me.program.localStatus().toggleAway();
    EXPECT_EQ(ask(ann, "hi", 2), QStringList({"Out until five.", Footer}));

    bool frozen = false;
    me.beforeAnswer = [&] {
        finch.freeze(true);
        frozen = true;
    };
    ann.clearMessages();
    ann.send(Me, "still there?");
    ASSERT_TRUE(waitUntil([&] { return frozen; }));
    me.beforeAnswer = nullptr;
    // Every call of the answer times out while Finch stands still.
    waitUntil([] { return false; }, 1500);
    finch.freeze(false);
    ASSERT_TRUE(ann.waitForMessages(2));
    EXPECT_FALSE(waitUntil([&] { return ann.bodies().size() > 2; }, 1500));
    EXPECT_EQ(ann.bodies(), QStringList({"Out until five.", Footer}));
}

// A buddy in two groups is one contact; it stays listed while it is left in either.
TEST_F(PurpleTest, ABuddyInTwoGroupsStaysListedUntilItLeavesBoth)
{
    ASSERT_TRUE(startFinch(finch));
    Companion me(finch);
    ASSERT_TRUE(me.attached) << me.error;
    const auto listed = [&] {
        QStringList logons;
        const UserCollectionPtr all = me.mm.GetList(ListKind::AllContacts);
        for (int i = 0; i < all->GetCount(); ++i)
            logons << all->Item(i)->GetLogonName().section('@', 0, 0);
        logons.sort();
        return logons;
    };
    ASSERT_TRUE(waitUntil([&] { return listed() == QStringList({"ann", "bob", "you"}); }));
    const int account = finch.accountHandle("me");
    const auto handle = [&](const char *method, const QVariantList &arguments) {
        return finch.call(method, arguments).arguments().value(0).toInt();
    };
    const int first = handle("PurpleFindBuddy", {account, "ann@localhost"});
    const int second = handle("PurpleBuddyNew", {account, "ann@localhost", "Ann"});
    finch.call("PurpleBlistAddBuddy", {second, 0, handle("PurpleGroupNew", {"Work"}), 0});
    finch.call("PurpleBlistRemoveBuddy", {first});
    // The client's signals come in order: once Bob's removal is seen, so is Ann's first.
    finch.call("PurpleBlistRemoveBuddy", {handle("PurpleFindBuddy", {account, "bob@localhost"})});
    EXPECT_TRUE(waitUntil([&] {
        return listed() == QStringList({"ann", "you"});
    })) << listed().join('|');
    finch.call("PurpleBlistRemoveBuddy", {second});
    EXPECT_TRUE(waitUntil([&] { return listed() == QStringList({"you"}); })) << listed().join('|');
}

// A buddy whose message the client blocks leaves the contacts for the blocked list, and comes
// back once unblocked; each list it joins or leaves is announced, as on XMPP.
TEST_F(PurpleTest, ABlockedBuddyIsListedAsBlockedUntilUnblocked)
{
    ASSERT_TRUE(startFinch(finch));
    Companion me(finch);
    ASSERT_TRUE(me.attached) << me.error;
    ASSERT_TRUE(waitUntil([&] { return me.program.pollerRunning(); }));
    QStringList results;
    const auto record = [&](const char *sign) {
        return [&results, sign](qint32, ListKind kind, const UserPtr &user) {
            results << sign + QString::number(int(kind)) + ' ' + user->GetLogonName();
        };
    };
    QObject::connect(&me.mm, &MessengerObject::OnListAddResult, record("+"));
    QObject::connect(&me.mm, &MessengerObject::OnListRemoveResult, record("-"));
    const int account = finch.accountHandle("me");
    const int connection =
        finch.call("PurpleAccountGetConnection", {account}).arguments()[0].toInt();
    const auto blocked = [&] { return me.mm.GetList(ListKind::Blocked)->GetCount(); };
    // Blocked on the server, and so in the client; the next message is blocked.
    finch.call("PurpleAccountSetPrivacyType", {account, 4}); // deny the users listed
    finch.call("ServAddDeny", {connection, QString("ann@localhost")});
    ASSERT_TRUE(waitUntil([&] {
        finch.call("ServGotIm", {connection, QString("ann@localhost"), QString("hi"), 0, 0});
        return blocked() == 1;
    }));
    EXPECT_TRUE(waitUntil([&] { return results.size() >= 2; }));
    EXPECT_EQ(results, QStringList({"-1 ann@localhost", "+2 ann@localhost"}));
    results.clear();
    finch.call("ServRemDeny", {connection, QString("ann@localhost")});
    EXPECT_TRUE(waitUntil([&] { return blocked() == 0 && results.size() >= 2; }));
    EXPECT_EQ(results, QStringList({"+1 ann@localhost", "-2 ann@localhost"}));
}

TEST_F(PurpleTest, TheProgramEndsWhenTheClientOrTheAccountGoes)
{
    const auto expectEnd = [](Companion &c, const QString &why) {
        SCOPED_TRACE(why.toStdString());
        ASSERT_TRUE(waitUntil([&] { return c.view.ended; }, 20000));
        EXPECT_EQ(c.view.exitStatus, Program::exitAsked);
        EXPECT_EQ(c.view.countText, "Not Connected");
        EXPECT_EQ(c.view.notConnectedText.left(22), "Please switch Finch on");
        EXPECT_EQ(c.view.titles.filter("Self Destruction").size(), 3);
        EXPECT_EQ(c.store.writes, 1) << "the code is saved on the way out";
    };
    ASSERT_TRUE(startFinch(finch));
    {
        // Named without its resource: the one account of that name.
        Companion me(finch, {Me});
        ASSERT_TRUE(me.attached) << me.error;
        ASSERT_TRUE(waitUntil([&] { return me.program.pollerRunning(); }));
        ASSERT_TRUE(finch.signOut("me"));
        expectEnd(me, "the user signed the account out");
    }
    EXPECT_EQ(Companion(finch).error,
              "Finch runs but has no enabled account: tick the account under Finch's Accounts "
              "window (Alt+A, Accounts), then start this program again");
    ASSERT_TRUE(finch.signIn("me"));
    {
        Companion me(finch);
        ASSERT_TRUE(waitUntil([&] { return me.program.pollerRunning(); }));
        finch.quit();
        expectEnd(me, "the client quit");
    }
    Companion none(finch);
    EXPECT_FALSE(none.attached);
    EXPECT_EQ(none.error, "Pidgin or Finch is not running: start it, then start this program");
    EXPECT_EQ(none.view.notConnectedText,
              "Please switch Pidgin or Finch on before using this program..");
    ASSERT_TRUE(waitUntil([&] { return none.view.ended; }, 20000));
    EXPECT_EQ(none.view.exitStatus, Program::exitMessengerNotReached);
}

// The server goes away: Finch tries again and again, and the program waits only so long. A
// user who sets the account offline meanwhile has signed out.
TEST_F(PurpleTest, AConnectionTheClientCannotMakeAgainEndsTheProgramAtTheLimit)
{
    ASSERT_TRUE(startFinch(finch));
    purple::PurpleAccount limited;
    limited.reconnectLimitMs = 1000;
    {
        Companion me(finch, limited);
        ASSERT_TRUE(waitUntil([&] { return me.program.pollerRunning(); }));
        server.stop();
        ASSERT_TRUE(waitUntil([&] { return me.view.ended; }, 20000));
        EXPECT_EQ(me.view.exitStatus, Program::exitMessengerLost);
        EXPECT_EQ(me.mm.endReason(),
                  "the account me@localhost/finch could not connect again in Finch within 1 s");
    }
    Companion me(finch, {"me@localhost/finch"});
    ASSERT_TRUE(me.attached) << me.error;
    const int offline =
        finch.call("PurpleSavedstatusNew", {"Gone", 1}).arguments().value(0).toInt();
    finch.call("PurpleSavedstatusActivate", {offline});
    ASSERT_TRUE(waitUntil([&] { return me.view.ended; }, 20000));
    EXPECT_EQ(me.view.exitStatus, Program::exitAsked);
    EXPECT_EQ(me.mm.endReason(), "the account me@localhost/finch was signed out in Finch");
}

TEST_F(PurpleTest, ANewOwnerOfTheClientsBusNameIsALossAndNeverHeard)
{
    ASSERT_TRUE(startFinch(finch));
    Companion me(finch);
    ASSERT_TRUE(waitUntil([&] { return me.program.pollerRunning(); }));
    // Another client queues for the name, and takes it over as Finch dies. Then it says that
    // Ann wrote to the account of Finch's handle.
    QDBusConnection second = QDBusConnection::connectToBus(finch.busAddress(), "second");
    second.interface()->registerService(FinchClient::service(),
                                        QDBusConnectionInterface::QueueService);
    QDBusMessage im = QDBusMessage::createSignal(FinchClient::objectPath(),
                                                 FinchClient::interface(), "ReceivedImMsg");
    im << finch.accountHandle("me") << QString("ann@localhost") << QString("|help|") << 0 << 0u;
    finch.kill();
    ASSERT_TRUE(waitUntil([&] {
        return second.interface()->serviceOwner(FinchClient::service()) == second.baseService();
    }));
    second.send(im);
    ASSERT_TRUE(waitUntil([&] { return me.view.ended; }, 20000));
    EXPECT_EQ(me.view.exitStatus, Program::exitMessengerLost);
    EXPECT_EQ(me.mm.endReason(), "lost Finch (its bus name passed to another process)");
    EXPECT_TRUE(me.received.isEmpty()) << me.received.join('|');
    QDBusConnection::disconnectFromBus("second");
}

TEST_F(PurpleTest, TwoCompanionsBothAwayAnswerEachOtherABoundedNumberOfTimes)
{
    FinchClient yours(server, {{"you"}});
    ASSERT_TRUE(startFinch(finch) && startFinch(yours));
    Companion me(finch), you(yours);
    ASSERT_TRUE(me.attached && you.attached);
    ASSERT_TRUE(
        waitUntil([&] { return !you.view.lines.isEmpty() && me.view.lines.contains("You"); }));
    me.storeMessage("you@localhost", "I am out");
    you.storeMessage("me@localhost", "Me too");
    me.program.localStatus().toggleAway();
    you.program.localStatus().toggleAway();

    // A person writes from your account; the two programs answer each other a little, then stop.
    const int account = yours.accountHandle("you");
    const int conversation = yours.call("PurpleConversationNew", {1, account, "me@localhost"})
                                 .arguments()
                                 .value(0)
                                 .toInt();
    const int im = yours.call("PurpleConvIm", {conversation}).arguments().value(0).toInt();
    yours.call("PurpleConvImSend", {im, QStringLiteral("are you there?")});
    int seen = -1;
    ASSERT_TRUE(waitUntil(
        [&] {
            const int now = static_cast<int>(me.received.size() + you.received.size());
            const bool quiet = now == seen;
            seen = now;
            QThread::msleep(1500);
            return quiet && now > 1;
        },
        60000));
    EXPECT_LE(me.received.count("Me too"), 2) << me.received.join('|');
    EXPECT_LE(you.received.count("I am out"), 2) << you.received.join('|');
}

// The program itself, as a user service or over ssh runs it: no display, Finch on the bus.
// A contact is answered; SIGTERM (systemd stopping the service) ends it as the user would.
TEST_F(PurpleTest, WithoutADisplayTheProgramAnswersAndEndsOnSigtermAsTheUserWould)
{
    XmppContact ann(server, "ann");
    ASSERT_TRUE(ann.connect());
    ASSERT_TRUE(startFinch(finch));
    QTemporaryDir home;
    ASSERT_TRUE(QDir(home.path()).mkdir("run"));
    QFile::setPermissions(home.filePath("run"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(name);
    environment.insert("HOME", home.path());
    environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
    environment.insert("XDG_DATA_HOME", home.filePath("data"));
    environment.insert("XDG_RUNTIME_DIR", home.filePath("run"));
    environment.insert("DBUS_SESSION_BUS_ADDRESS", finch.busAddress());
    QProcess zelmo;
    zelmo.setProcessEnvironment(environment);
    zelmo.start(ZELMO_BINARY, {"--headless", "--purple"});
    QByteArray lines;
    const auto said = [&](const char *line) {
        lines += zelmo.readAllStandardError();
        return lines.contains(line);
    };
    ASSERT_TRUE(waitUntil([&] { return said("<6>zelmo: started without windows"); }, 30000))
        << lines.constData();

    EXPECT_EQ(ask(ann, "|help|", 10), Commands::helpLines());
    ASSERT_TRUE(waitUntil([&] {
        return said("<6>zelmo: answered ann@localhost's command |help|\n");
    })) << lines.constData();
    zelmo.terminate();
    ASSERT_TRUE(zelmo.waitForFinished(30000));
    lines += zelmo.readAllStandardError();
    EXPECT_EQ(zelmo.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(zelmo.exitCode(), 0) << lines.constData();
    EXPECT_TRUE(lines.endsWith("<6>zelmo: ended with status 0\n")) << lines.constData();
    // Not the help text: the journal is no place for what was said.
    EXPECT_FALSE(lines.contains("Welcome")) << lines.constData();
    QByteArray record;
    for (QDirIterator it(home.filePath("data"), {"record-*.jsonl"}, QDir::Files,
                         QDirIterator::Subdirectories);
         it.hasNext();) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly))
            record += file.readAll();
    }
    EXPECT_TRUE(record.contains("|help|")) << "the record was written: " << record.constData();
    QFile settings(home.filePath("config/Zelmo Extensions/Zelmo Extensions.ini"));
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_TRUE(settings.readAll().contains("AuthorizedPassword=")) << "the code was written";
}
