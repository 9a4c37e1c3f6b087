// The program's logic on the XMPP backend against a real Prosody: what contacts get back
// over the network, the away/back switch waiting for the server, the countdown after the
// server stops, two copies of the program that are both away, and a remembered message.

#include "core/commands.h"
#include "core/dispatcher.h"
#include "core/awaymessagefile.h"
#include "core/program.h"
#include "platform/messenger/xmpp/xmppmessenger.h"

#include "support/fakemainview.h"
#include "support/memorystore.h"
#include "support/printers.h"
#include "support/waituntil.h"
#include "support/texts.h"
#include "xmpp/support/prosodyserver.h"
#include "xmpp/support/xmppcontact.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace zelmo;
using namespace zelmo::test;
using xmpp::XmppAccount;
using xmpp::XmppMessenger;

namespace {

const QString &Ann = test::XmppAnn;
const QString &Bob = test::XmppBob;
const QString &Me = test::XmppMe;
using test::Footer;

// One running copy of the program, signed in to its account.
struct Copy {
    Copy(const ProsodyServer &server, const QString &user, int reconnectLimitMs = 300000,
         bool rememberMessages = false)
    {
        if (rememberMessages)
            store.values.insert("Zelmo Extensions/Settings/RememberAwayMessages", "1");
        XmppAccount account;
        account.jid = ProsodyServer::jid(user) + QStringLiteral("/zelmo");
        account.password = QStringLiteral("pw");
        account.host = server.host();
        account.port = server.port();
        account.insecurePlaintext = true;
        account.reconnectLimitMs = reconnectLimitMs;
        mm = std::make_unique<XmppMessenger>(account);
        bool finished = false;
        QObject::connect(mm.get(), &XmppMessenger::signInFinished, mm.get(),
                         [&finished](bool) { finished = true; });
        mm->signIn();
        EXPECT_TRUE(waitUntil([&] { return finished; }, 20000));
        EXPECT_EQ(mm->serviceStatus(), ServiceStatus::Connected) << mm->lastError();
        QObject::connect(mm.get(), &MessengerObject::OnTextReceived, mm.get(),
                         [this](const IMSessionPtr &, const UserPtr &user, const QString &header,
                                const QString &text, bool *) {
                             received << user->GetLogonName() + QLatin1Char(' ') + text;
                             automatic << Dispatcher::isAutoSubmitted(header);
                         });
        program = std::make_unique<Program>(view, mm.get(), store, nullptr);
        program->state().programFolder =
            QDir(qEnvironmentVariable("ZELMO_SOURCE_DIR")).filePath(QStringLiteral("resources"));
        program->start();
    }

    QString jid() const { return mm->accountJid() + QStringLiteral("/zelmo"); }

    void setAway()
    {
        ASSERT_EQ(program->localStatus().toggleAway(), LocalStatus::SwitchResult::Completed);
        ASSERT_EQ(mm->GetLocalState(), LocalState::Away);
    }

    std::unique_ptr<XmppMessenger> mm;
    FakeMainView view;
    MemoryStore store;
    std::unique_ptr<Program> program;
    QStringList received; // "<sender> <text>" for every message that reached the program
    QList<bool> automatic;
};

class XmppProgramTest : public testing::Test {
protected:
    void SetUp() override
    {
        for (const char *user : {"zelmo", "ann", "bob"})
            server.addAccount(QString::fromLatin1(user));
        server.setRoster(QStringLiteral("zelmo"),
                         {{QStringLiteral("ann"), QStringLiteral("Ann M.")},
                          {QStringLiteral("bob"), QStringLiteral("Bob")}});
        server.setRoster(QStringLiteral("ann"), {{QStringLiteral("zelmo"), QString()}});
        server.setRoster(QStringLiteral("bob"), {{QStringLiteral("zelmo"), QStringLiteral("Z")}});
        QString error;
        ASSERT_TRUE(server.start(&error)) << error;
    }

    // What the contact got back for one message.
    QStringList ask(XmppContact &contact, const QString &to, const QString &text, int replies)
    {
        contact.clearMessages();
        contact.send(to, text);
        EXPECT_TRUE(contact.waitForMessages(replies))
            << text << ": " << contact.bodies().join(QLatin1Char('|'));
        return contact.bodies();
    }

    ProsodyServer server;
};

TEST_F(XmppProgramTest, TheAwayMessageReachesAContactWritingFromAnyConnection)
{
    Copy zelmo(server, QStringLiteral("zelmo"));
    XmppContact phone(server, QStringLiteral("ann"), QStringLiteral("phone"));
    ASSERT_TRUE(phone.connect());
    ASSERT_TRUE(waitUntil([&] { return zelmo.view.lines == QStringList{"Ann M."}; }));
    EXPECT_EQ(zelmo.view.countText, "1 Person online");

    zelmo.setAway();
    EXPECT_EQ(zelmo.view.statusText, "Status: Away");
    EXPECT_TRUE(waitUntil([&] { return phone.showOf(Me) == QLatin1String("away"); }));
    zelmo.program->state().SetMessage(Ann, QStringLiteral("  back at five  "), 1);

    const QStringList answer = ask(phone, zelmo.jid(), QStringLiteral("are you there?"), 2);
    EXPECT_EQ(answer, QStringList({"back at five", Footer}));
    for (const XmppContact::Message &m : phone.messages()) {
        EXPECT_EQ(m.from, zelmo.jid());
        EXPECT_TRUE(m.autoSubmitted);
        EXPECT_TRUE(m.xhtml.contains(QStringLiteral("color: #000000"))) << m.xhtml;
    }

    // Someone without a stored message gets nothing; ann, writing after, gets hers again.
    XmppContact bob(server, QStringLiteral("bob"));
    ASSERT_TRUE(bob.connect());
    bob.send(zelmo.jid(), QStringLiteral("hello?"));
    ASSERT_TRUE(bob.flush());
    EXPECT_EQ(ask(phone, zelmo.jid(), QStringLiteral("still?"), 2),
              QStringList({"back at five", Footer}));
    EXPECT_TRUE(bob.messages().isEmpty()) << bob.bodies().join(QLatin1Char('|'));

    ASSERT_EQ(zelmo.program->localStatus().toggleAway(), LocalStatus::SwitchResult::Completed);
    EXPECT_EQ(zelmo.mm->GetLocalState(), LocalState::Online);
    EXPECT_TRUE(waitUntil([&] { return phone.showOf(Me) == QLatin1String("online"); }));
}

TEST_F(XmppProgramTest, EveryRemoteCommandWorksOverTheNetwork)
{
    Copy zelmo(server, QStringLiteral("zelmo"));
    XmppContact ann(server, QStringLiteral("ann"));
    ASSERT_TRUE(ann.connect());
    ASSERT_TRUE(waitUntil([&] { return zelmo.program->state().onlineCount == 1; }));
    const QString to = zelmo.jid();

    EXPECT_EQ(ask(ann, to, QStringLiteral("|help|"), 10), Commands::helpLines());
    for (const XmppContact::Message &m : ann.messages())
        EXPECT_TRUE(m.xhtml.contains(QStringLiteral("color: #000080"))) << m.xhtml;

    const QStringList joke = ask(ann, to, QStringLiteral("|JOKE|"), 1);
    EXPECT_EQ(joke.size(), 1);
    EXPECT_TRUE(joke.value(0).contains(QLatin1Char('\n'))) << "a joke's two lines in one message";

    const QStringList listing = {"----Online Users----", "1 User Currently Online", "1. Ann M.",
                                 "-----------------"};
    // The beep answers nothing: the listing asked for next is all that comes back.
    ann.send(to, QStringLiteral("|beep|"));
    EXPECT_EQ(ask(ann, to, QStringLiteral("Wasssup ?!"), 4), listing);
    EXPECT_EQ(ask(ann, to, QStringLiteral("|onlineusers| 47209"), 4), listing);

    EXPECT_EQ(ask(ann, to, QStringLiteral("|changenick| 47209 New Nick"), 1),
              QStringList{Commands::nicknameChangedText()});
    EXPECT_TRUE(waitUntil([&] { return ann.vCardNickname(Me) == QLatin1String(" New Nick"); }));

    EXPECT_EQ(ask(ann, to, QStringLiteral("|setaway| 47209"), 1),
              QStringList{Commands::setAwayText()});
    // The answer came once the server had confirmed the state.
    EXPECT_EQ(zelmo.mm->GetLocalState(), LocalState::Away);
    EXPECT_TRUE(waitUntil([&] { return ann.showOf(Me) == QLatin1String("away"); }));

    EXPECT_EQ(ask(ann, to, QStringLiteral("|setback| 47209"), 1),
              QStringList{Commands::setBackText()});
    EXPECT_TRUE(waitUntil([&] { return zelmo.mm->GetLocalState() == LocalState::Online; }));
    EXPECT_TRUE(waitUntil([&] { return ann.showOf(Me) == QLatin1String("online"); }));

    EXPECT_EQ(ask(ann, to, QStringLiteral("|setaway| 11111"), 1),
              QStringList{Commands::declinedText()});
}

TEST_F(XmppProgramTest, ADroppedConnectionIsMadeAgainWithinTheLimitAndEndsTheProgramPastIt)
{
    Copy zelmo(server, QStringLiteral("zelmo"), 8000);
    zelmo.program->setTickInterval(100);
    ASSERT_TRUE(waitUntil([&] { return zelmo.program->pollerRunning(); }));
    zelmo.setAway();
    zelmo.program->state().SetMessage(Ann, QStringLiteral("out"), 1);
    server.stop();
    ASSERT_TRUE(
        waitUntil([&] { return zelmo.mm->serviceStatus() == ServiceStatus::Synchronizing; }));
    QString error;
    ASSERT_TRUE(server.start(&error)) << error;
    ASSERT_TRUE(
        waitUntil([&] { return zelmo.mm->serviceStatus() == ServiceStatus::Connected; }, 20000))
        << zelmo.mm->lastError();
    XmppContact ann(server, QStringLiteral("ann"));
    ASSERT_TRUE(ann.connect());
    EXPECT_TRUE(waitUntil([&] { return ann.showOf(Me) == QLatin1String("away"); }))
        << "the presence is what it was";
    EXPECT_EQ(ask(ann, zelmo.jid(), QStringLiteral("hi"), 2), QStringList({"out", Footer}));
    EXPECT_FALSE(zelmo.view.ended);

    server.stop();
    ASSERT_TRUE(waitUntil([&] { return zelmo.view.ended; }, 30000)) << zelmo.mm->lastError();
    EXPECT_EQ(zelmo.view.exitStatus, Program::exitMessengerLost);
    EXPECT_EQ(zelmo.view.notConnectedText, "Please switch XMPP on before using this program..");
    EXPECT_EQ(zelmo.view.countText, "Not Connected");
    EXPECT_EQ(zelmo.store.code(), "47209") << "the code is saved on the way out";
}

TEST_F(XmppProgramTest, CopiesOfWhatContactsWriteToTheUsersOtherClientAreAnsweredOnce)
{
    Copy zelmo(server, QStringLiteral("zelmo"));
    zelmo.setAway();
    zelmo.program->state().SetMessage(Ann, QStringLiteral("out"), 1);
    // The user's usual client, which the server prefers.
    XmppContact desktop(server, QStringLiteral("zelmo"), QStringLiteral("desktop"));
    ASSERT_TRUE(desktop.connect());
    desktop.setShow(QStringLiteral("online"), 1);
    XmppContact ann(server, QStringLiteral("ann"));
    ASSERT_TRUE(ann.connect() && desktop.flush());
    for (const QString &to : QStringList{Me, Me + QStringLiteral("/desktop")}) {
        EXPECT_EQ(ask(ann, to, QStringLiteral("hello?"), 2), QStringList({"out", Footer})) << to;
        for (const XmppContact::Message &m : ann.messages())
            EXPECT_EQ(m.from, zelmo.jid());
    }
    // What the user writes from the other client is never answered.
    desktop.send(ann.jid(), QStringLiteral("|help|"));
    ASSERT_TRUE(desktop.flush() && ann.flush());
    waitUntil([] { return false; }, 1000);
    EXPECT_EQ(zelmo.received, QStringList({Ann + " hello?", Ann + " hello?"}));
    EXPECT_EQ(ann.messages().size(), 2 + 1) << "each message answered once, the |help| not at all";

    // It says what it does and no more.
    const QStringList features = ann.features(zelmo.jid());
    EXPECT_TRUE(features.contains("http://jabber.org/protocol/shim")) << features.join(' ');
    for (const char *absent : {"http://jabber.org/protocol/chatstates", "urn:xmpp:chat-markers:0",
                               "urn:xmpp:message-correct:0", "urn:xmpp:eme:0"})
        EXPECT_FALSE(features.contains(absent)) << absent;
}

// A code written hours ago must not act now: what the server kept while the program was not
// signed in, or what a sender stamps as late, is recorded and nothing more.
TEST_F(XmppProgramTest, MessagesDeliveredLateRunNoCommandAndAreRecorded)
{
    server.stop();
    server.keepOfflineMessages();
    QString error;
    ASSERT_TRUE(server.start(&error)) << error;
    XmppContact ann(server, QStringLiteral("ann"));
    ASSERT_TRUE(ann.connect());
    ann.send(Me, QStringLiteral("|setaway| 47209"));
    ASSERT_TRUE(ann.flush());

    Copy zelmo(server, QStringLiteral("zelmo"));
    XmppContact::SendOptions stamped;
    stamped.delayStamp = QStringLiteral("2026-01-01T08:00:00Z");
    ann.send(zelmo.jid(), QStringLiteral("|joke|"), stamped);
    EXPECT_EQ(ask(ann, zelmo.jid(), QStringLiteral("|help|"), 10).size(), 10);
    const auto late = [&] {
        QStringList rows;
        for (const ActivityLog::Row &row : zelmo.program->activityLog().rows())
            if (row.what.startsWith(QLatin1String("Not answered, delivered late: ")))
                rows << row.what.section(QStringLiteral(": "), 1);
        return rows;
    };
    ASSERT_TRUE(waitUntil([&] { return late().size() == 2; })) << late().join('|');
    EXPECT_EQ(late(), QStringList({"|joke|", "|setaway| 47209"}));
    EXPECT_EQ(zelmo.mm->GetLocalState(), LocalState::Online);
    EXPECT_EQ(ann.messages().size(), 10) << "only the |help| was answered";
}

TEST_F(XmppProgramTest, TwoCopiesBothAwayAnswerEachOtherOnlyOnce)
{
    Copy zelmo(server, QStringLiteral("zelmo"));
    Copy bob(server, QStringLiteral("bob"));
    zelmo.setAway();
    bob.setAway();
    zelmo.program->state().SetMessage(Bob, QStringLiteral("zelmo is out"), 0);
    bob.program->state().SetMessage(Me, QStringLiteral("bob is out"), 0);

    // Bob writes from his phone and leaves at once: zelmo's answer to the phone, now gone,
    // reaches bob's copy of the program instead, as the server hands it to his account.
    XmppContact phone(server, QStringLiteral("bob"), QStringLiteral("phone"));
    ASSERT_TRUE(phone.connect());
    phone.send(zelmo.jid(), QStringLiteral("back soon"));
    phone.disconnect();

    ASSERT_TRUE(waitUntil([&] { return bob.received.size() == 2; }, 15000))
        << bob.received.join(QLatin1Char('|'));
    EXPECT_EQ(bob.received, QStringList({Me + " zelmo is out", Me + " " + Footer}));
    EXPECT_EQ(bob.automatic, QList<bool>({true, true}));
    // Bob's copy answers none of it, so the exchange is over.
    waitUntil([] { return false; }, 1500);
    EXPECT_EQ(zelmo.received, QStringList{Bob + " back soon"});
    EXPECT_EQ(bob.received.size(), 2);
}

TEST_F(XmppProgramTest, ARememberedMessageWaitsForItsContactToBeAddedBackByTheOtherClient)
{
    const QString Cy = QStringLiteral("cy@localhost"), kept = QStringLiteral("gone fishing");
    server.addAccount(QStringLiteral("cy"));
    const AwayMessageFile file(AwayMessageFile::defaultPath());
    ASSERT_TRUE(file.save({{Cy, kept}}, nullptr));
    Copy zelmo(server, QStringLiteral("zelmo"), 300000, true);
    AppState &state = zelmo.program->state();
    zelmo.setAway();
    XmppContact desktop(server, QStringLiteral("zelmo"), QStringLiteral("desktop"));
    XmppContact cy(server, QStringLiteral("cy"));
    ASSERT_TRUE(desktop.connect() && cy.connect() && desktop.addRosterItem(Cy, "Cy"));
    ASSERT_TRUE(waitUntil([&] { return state.GetMessage(Cy) == kept; }));
    EXPECT_EQ(ask(cy, zelmo.jid(), QStringLiteral("hello"), 2), QStringList({kept, Footer}));
    state.SetMessage(Ann, QStringLiteral("out"), 0);
    EXPECT_EQ(file.load().messages.value(Cy), kept);
    state.DeleteMessage(Cy);
    EXPECT_EQ(file.load().messages, (QHash<QString, QString>{{Ann, "out"}}));
    file.remove();
}

} // namespace
