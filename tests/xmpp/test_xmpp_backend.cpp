// The XMPP backend against a real Prosody on loopback, with QXmpp clients as the contacts:
// the sign-in, the live lists and states, messages both ways, the own state and nickname.

#include "core/reply.h"
#include "messenger/messengererror.h"
#include "platform/messenger/xmpp/xmppmessenger.h"

#include "support/printers.h"
#include "support/waituntil.h"
#include "support/texts.h"
#include "xmpp/support/prosodyserver.h"
#include "xmpp/support/xmppcontact.h"

#include <gtest/gtest.h>

using namespace zelmo;
using namespace zelmo::test;
using xmpp::XmppAccount;
using xmpp::XmppMessenger;

namespace {

const QString &Ann = test::XmppAnn;
const QString &Bob = test::XmppBob;
const QString &Me = test::XmppMe;
const QString Hugo = QStringLiteral("hugo@localhost");
const QString Cy = QStringLiteral("cy@localhost");
const QString Zed = QStringLiteral("zed@localhost");

class XmppBackendTest : public testing::Test {
protected:
    void SetUp() override
    {
        for (const char *user : {"zelmo", "ann", "bob", "hugo", "zed", "cy"})
            server.addAccount(QString::fromLatin1(user));
        server.setRoster(QStringLiteral("zelmo"),
                         {{QStringLiteral("ann"), QStringLiteral("Ann M.")},
                          {QStringLiteral("bob"), QString()},
                          {QStringLiteral("hugo"), QStringLiteral("Hugo")}});
        for (const char *user : {"ann", "bob", "hugo"})
            server.setRoster(QString::fromLatin1(user), {{QStringLiteral("zelmo"), QString()}});
        server.setBlocklist(QStringLiteral("zelmo"), {Hugo});
        QString error;
        ASSERT_TRUE(server.start(&error)) << error;
    }

    XmppAccount account() const
    {
        XmppAccount a;
        a.jid = Me + QStringLiteral("/desk");
        a.password = QStringLiteral("pw");
        a.host = server.host();
        a.port = server.port();
        a.insecurePlaintext = true;
        return a;
    }

    // Creates the client, records its events and waits until the sign-in has finished.
    std::unique_ptr<XmppMessenger> signIn(const XmppAccount &a)
    {
        auto mm = std::make_unique<XmppMessenger>(a);
        record(*mm);
        bool finished = false;
        QObject::connect(mm.get(), &XmppMessenger::signInFinished, mm.get(),
                         [&finished](bool) { finished = true; });
        EXPECT_EQ(mm->serviceStatus(), ServiceStatus::Synchronizing);
        mm->signIn();
        EXPECT_TRUE(waitUntil([&] { return finished; }, 20000)) << server.log();
        drainEvents();
        return mm;
    }

    static QString logonOf(const UserPtr &user) { return user ? user->GetLogonName() : QString(); }

    void record(XmppMessenger &mm)
    {
        QObject::connect(&mm, &MessengerObject::OnLogonResult, &mm,
                         [this] { events << QStringLiteral("logon"); });
        QObject::connect(&mm, &MessengerObject::OnLogoff, &mm,
                         [this] { events << QStringLiteral("logoff"); });
        QObject::connect(
            &mm, &MessengerObject::OnUserStateChanged, &mm,
            [this](const UserPtr &u, qint32, bool *) {
                events << QStringLiteral("state %1 %2").arg(logonOf(u)).arg(u->GetState());
            });
        QObject::connect(&mm, &MessengerObject::OnListAddResult, &mm,
                         [this](qint32, ListKind kind, const UserPtr &u) {
                             events << QStringLiteral("add %1 %2").arg(int(kind)).arg(logonOf(u));
                         });
        QObject::connect(&mm, &MessengerObject::OnListRemoveResult, &mm,
                         [this](qint32, ListKind kind, const UserPtr &u) {
                             events
                                 << QStringLiteral("remove %1 %2").arg(int(kind)).arg(logonOf(u));
                         });
        QObject::connect(&mm, &MessengerObject::OnUserFriendlyNameChangeResult, &mm,
                         [this](qint32, const UserPtr &u, const QString &previous) {
                             events << QStringLiteral("name %1 %2 -> %3")
                                           .arg(logonOf(u), previous, u->GetFriendlyName());
                         });
        QObject::connect(&mm, &MessengerObject::OnLocalStateChangeResult, &mm,
                         [this](qint32, qint32 state, const ServicePtr &) {
                             events << QStringLiteral("local %1").arg(state);
                         });
        QObject::connect(&mm, &MessengerObject::OnLocalPropertyChangeResult, &mm,
                         [this](qint32 hr, qint32, const QVariant &value, const ServicePtr &) {
                             events
                                 << QStringLiteral("property %1 %2").arg(hr).arg(value.toString());
                         });
        QObject::connect(&mm, &MessengerObject::OnTextReceived, &mm,
                         [this](const IMSessionPtr &session, const UserPtr &user,
                                const QString &header, const QString &text, bool *) {
                             received.push_back({session, user, header, text});
                         });
    }

    static QStringList logons(MessengerObject &mm, ListKind kind)
    {
        QStringList out;
        const UserCollectionPtr list = mm.GetList(kind);
        for (qint32 i = 0; i < list->GetCount(); ++i)
            out << list->Item(i)->GetLogonName();
        return out;
    }

    static UserPtr find(MessengerObject &mm, const QString &logon)
    {
        const UserCollectionPtr all = mm.GetList(ListKind::AllContacts);
        for (qint32 i = 0; i < all->GetCount(); ++i) {
            if (all->Item(i)->GetLogonName() == logon)
                return all->Item(i);
        }
        return nullptr;
    }

    bool waitForEvent(const QString &event, int timeoutMs = 10000)
    {
        return waitUntil([&] { return events.contains(event); }, timeoutMs);
    }

    struct Received {
        IMSessionPtr session;
        UserPtr user;
        QString header;
        QString text;
    };

    ProsodyServer server;
    QStringList events;
    std::vector<Received> received;
};

TEST_F(XmppBackendTest, SignInFillsLiveListsFromTheRosterAndTheBlockList)
{
    XmppMessenger mm(account());
    record(mm);
    // Handed out before the sign-in, the views fill in as it finishes.
    const UserCollectionPtr all = mm.GetList(ListKind::AllContacts);
    const ServicePtr service = mm.GetServices()->GetPrimaryService();
    EXPECT_EQ(all->GetCount(), 0);
    EXPECT_EQ(service->GetServiceStatus(), ServiceStatus::Synchronizing);
    EXPECT_THROW(mm.SetLocalState(LocalState::Away), MessengerError);

    mm.signIn();
    ASSERT_TRUE(waitForEvent(QStringLiteral("logon"), 20000)) << server.log();
    EXPECT_EQ(service->GetServiceStatus(), ServiceStatus::Connected);
    EXPECT_EQ(all->GetCount(), 3);
    EXPECT_EQ(logons(mm, ListKind::AllContacts), QStringList({Ann, Bob, Hugo}));
    EXPECT_EQ(logons(mm, ListKind::Users), QStringList({Ann, Bob}));
    EXPECT_EQ(logons(mm, ListKind::Blocked), QStringList({Hugo}));
    // A contact without a roster name goes by its address; nobody is online yet.
    EXPECT_EQ(find(mm, Ann)->GetFriendlyName(), "Ann M.");
    EXPECT_EQ(find(mm, Bob)->GetFriendlyName(), Bob);
    EXPECT_EQ(find(mm, Ann)->GetState(), ContactState::Offline);
    // The same object in every list.
    EXPECT_EQ(mm.GetList(ListKind::Blocked)->Item(0), find(mm, Hugo));
    // The add results follow the status change, so that they count.
    EXPECT_TRUE(events.contains(QStringLiteral("add 0 ann@localhost")));
    EXPECT_TRUE(events.contains(QStringLiteral("add 2 hugo@localhost")));
    EXPECT_FALSE(events.contains(QStringLiteral("add 1 hugo@localhost")));
    EXPECT_EQ(mm.GetLocalState(), LocalState::Online) << "the server reflected the first presence";
    EXPECT_EQ(mm.GetUnreadMailCount(0), 0);
    EXPECT_THROW(mm.GetList(static_cast<ListKind>(3)), MessengerError);
    EXPECT_THROW(all->Item(3), MessengerError);
}

TEST_F(XmppBackendTest, AFailedSignInIsStatusOneWithAReasonForTheUser)
{
    XmppAccount wrong = account();
    wrong.password = QStringLiteral("not-the-password");
    auto mm = signIn(wrong);
    EXPECT_EQ(mm->serviceStatus(), ServiceStatus::NotConnected);
    EXPECT_TRUE(mm->lastError().contains(QStringLiteral("refused the name or password")))
        << mm->lastError();
    EXPECT_FALSE(mm->lastError().contains(QStringLiteral("not-the-password")));
    EXPECT_EQ(events, QStringList{"logoff"});

    // Nobody listening at the address.
    server.stop();
    auto unreachable = signIn(account());
    EXPECT_EQ(unreachable->serviceStatus(), ServiceStatus::NotConnected);
    EXPECT_TRUE(unreachable->lastError().contains(QStringLiteral("cannot reach the server")))
        << unreachable->lastError();

    // Plain text to anything but this machine is refused before any connection.
    XmppAccount remote = account();
    remote.host = QStringLiteral("xmpp.example.org");
    auto refused = signIn(remote);
    EXPECT_EQ(refused->serviceStatus(), ServiceStatus::NotConnected);
    EXPECT_TRUE(refused->lastError().contains(QStringLiteral("loopback"))) << refused->lastError();
}

TEST_F(XmppBackendTest, TlsIsRequiredAndItsCertificateChecked)
{
    XmppAccount secure = account();
    secure.insecurePlaintext = false;
    auto mm = signIn(secure);
    EXPECT_EQ(mm->serviceStatus(), ServiceStatus::NotConnected);
    EXPECT_TRUE(mm->lastError().contains(QStringLiteral("TLS"))) << mm->lastError();

    // A server with TLS, but a certificate nobody vouches for.
    ProsodyServer tls;
    tls.addAccount(QStringLiteral("zelmo"));
    tls.useSelfSignedTls();
    QString error;
    ASSERT_TRUE(tls.start(&error)) << error;
    secure.port = tls.port();
    auto untrusted = signIn(secure);
    EXPECT_EQ(untrusted->serviceStatus(), ServiceStatus::NotConnected);
    EXPECT_TRUE(untrusted->lastError().contains(QStringLiteral("certificate is not trusted")))
        << untrusted->lastError() << tls.log();
}

TEST_F(XmppBackendTest, TheStateFollowsTheMostAvailableConnectionOfTheContact)
{
    auto mm = signIn(account());
    const UserPtr ann = find(*mm, Ann);
    ASSERT_TRUE(ann);
    XmppContact phone(server, QStringLiteral("ann"), QStringLiteral("phone"));
    ASSERT_TRUE(phone.connect());
    ASSERT_TRUE(waitForEvent(QStringLiteral("state ann@localhost 2")));

    const std::pair<const char *, qint32> shows[] = {
        {"away", 34}, {"xa", 18}, {"dnd", 10}, {"chat", 2}, {"away", 34}};
    for (const auto &[show, state] : shows) {
        phone.setShow(QString::fromLatin1(show));
        EXPECT_TRUE(waitUntil([&] { return ann->GetState() == state; })) << show;
    }
    // A second connection that is more available wins; when it leaves, the first counts again.
    XmppContact desk(server, QStringLiteral("ann"), QStringLiteral("desk"));
    ASSERT_TRUE(desk.connect());
    EXPECT_TRUE(waitUntil([&] { return ann->GetState() == LocalState::Online; }));
    desk.disconnect();
    EXPECT_TRUE(waitUntil([&] { return ann->GetState() == LocalState::Away; }));
    phone.disconnect();
    EXPECT_TRUE(waitForEvent(QStringLiteral("state ann@localhost 1")));
}

TEST_F(XmppBackendTest, RosterAndBlockListChangesAreLiveAndRaiseTheirResults)
{
    auto mm = signIn(account());
    const UserPtr bob = find(*mm, Bob);
    // The user's other client changes the roster and the block list; the server tells us.
    XmppContact other(server, QStringLiteral("zelmo"), QStringLiteral("laptop"));
    ASSERT_TRUE(other.connect());

    ASSERT_TRUE(other.addRosterItem(Cy, QStringLiteral("Cy")));
    ASSERT_TRUE(waitForEvent(QStringLiteral("add 1 cy@localhost")));
    EXPECT_TRUE(events.contains(QStringLiteral("add 0 cy@localhost")));
    EXPECT_EQ(logons(*mm, ListKind::AllContacts), QStringList({Ann, Bob, Hugo, Cy}));

    ASSERT_TRUE(other.renameRosterItem(Ann, QStringLiteral("Annie")));
    ASSERT_TRUE(waitForEvent(QStringLiteral("name ann@localhost Ann M. -> Annie")));

    ASSERT_TRUE(other.block(Bob));
    ASSERT_TRUE(waitForEvent(QStringLiteral("add 2 bob@localhost")));
    EXPECT_TRUE(waitForEvent(QStringLiteral("remove 1 bob@localhost")));
    EXPECT_EQ(logons(*mm, ListKind::Users), QStringList({Ann, Cy}));
    EXPECT_EQ(logons(*mm, ListKind::Blocked), QStringList({Hugo, Bob}));
    EXPECT_EQ(mm->GetList(ListKind::Blocked)->Item(1), bob) << "still the same contact";

    ASSERT_TRUE(other.block(Hugo, false));
    ASSERT_TRUE(waitForEvent(QStringLiteral("remove 2 hugo@localhost")));
    EXPECT_TRUE(waitForEvent(QStringLiteral("add 1 hugo@localhost")));
    EXPECT_EQ(logons(*mm, ListKind::Users), QStringList({Ann, Hugo, Cy}));

    ASSERT_TRUE(other.removeRosterItem(Cy));
    ASSERT_TRUE(waitForEvent(QStringLiteral("remove 0 cy@localhost")));
    EXPECT_EQ(logons(*mm, ListKind::AllContacts), QStringList({Ann, Bob, Hugo}));
}

TEST_F(XmppBackendTest, AMessageFromAnyConnectionComesFromTheRosterContactAndIsAnsweredThere)
{
    auto mm = signIn(account());
    XmppContact phone(server, QStringLiteral("ann"), QStringLiteral("phone"));
    XmppContact desk(server, QStringLiteral("ann"), QStringLiteral("desk"));
    ASSERT_TRUE(phone.connect());
    ASSERT_TRUE(desk.connect());

    XmppContact::SendOptions inThread;
    inThread.thread = QStringLiteral("t-42");
    phone.send(Me + QStringLiteral("/desk"), QStringLiteral("two\nlines"), inThread);
    ASSERT_TRUE(waitUntil([&] { return received.size() == 1; }));
    const Received &in = received.front();
    EXPECT_EQ(in.user, find(*mm, Ann)) << "the away-message table matches the roster's contact";
    EXPECT_EQ(in.text, "two\r\nlines");
    EXPECT_FALSE(in.header.contains(QStringLiteral("Auto-Submitted")));

    // Characters XML forbids, as a joke file may hold, would end the stream: the second
    // answer arrives only if the first was well-formed.
    in.session->SendText(ReplyHeader(ReplyColour::DarkBlue),
                         QStringLiteral("a <b> & c\x01\x0C\r\n  two"), TextMessageType);
    in.session->SendText(ReplyHeader(ReplyColour::Black), QStringLiteral("plain"), TextMessageType);
    ASSERT_TRUE(phone.waitForMessages(2)) << server.log();
    const XmppContact::Message &blue = phone.messages().at(0);
    EXPECT_EQ(blue.from, Me + QStringLiteral("/desk"));
    EXPECT_EQ(blue.type, "chat");
    EXPECT_EQ(blue.thread, "t-42");
    const QString fffd(QChar::ReplacementCharacter);
    EXPECT_EQ(blue.body, "a <b> & c" + fffd + fffd + "\n  two");
    EXPECT_TRUE(blue.autoSubmitted);
    // CO=800000 is blue-green-red: dark blue. Leading blanks survive XHTML's folding.
    const QString nbsp(QChar(0x00A0));
    EXPECT_EQ(blue.xhtml, "<span style=\"font-family: Arial; color: #000080\">a &lt;b> &amp; c" +
                              fffd + fffd + "<br/>" + nbsp + nbsp + "two</span>");
    EXPECT_EQ(phone.messages().at(1).xhtml,
              "<span style=\"font-family: Arial; color: #000000\">plain</span>");
    EXPECT_TRUE(phone.messages().at(1).autoSubmitted);
    ASSERT_TRUE(desk.flush());
    EXPECT_TRUE(desk.messages().isEmpty()) << "the answer goes to the connection that wrote";

    // Once signed out, a session sends nothing.
    mm->signOut();
    ASSERT_TRUE(waitForEvent(QStringLiteral("logoff")));
    EXPECT_THROW(in.session->SendText(ReplyHeader(ReplyColour::Black), QStringLiteral("late"),
                                      TextMessageType),
                 MessengerError);
}

TEST_F(XmppBackendTest, OnlyChatAndNormalMessagesWithABodyArriveAndAutomaticOnesSaySo)
{
    auto mm = signIn(account());
    XmppContact ann(server, QStringLiteral("ann"));
    ASSERT_TRUE(ann.connect());
    const QString to = Me + QStringLiteral("/desk");
    XmppContact::SendOptions options;
    for (const char *type : {"groupchat", "headline", "error"}) {
        options.type = QString::fromLatin1(type);
        ann.send(to, QString::fromLatin1(type), options);
    }
    options = {};
    ann.send(to, QString(), options);
    // A copy is trusted only from the account itself: this one, forged, is dropped.
    options.carbonOf = QStringLiteral("ann@localhost/phone");
    ann.send(to, QStringLiteral("forged"), options);
    options = {};
    options.type = QStringLiteral("normal");
    ann.send(to, QStringLiteral("normal"), options);
    options = {};
    options.autoSubmitted = true;
    ann.send(to, QStringLiteral("automatic"), options);
    ASSERT_TRUE(waitUntil([&] { return received.size() >= 2; }));
    ASSERT_TRUE(ann.flush());
    drainEvents();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].text, "normal");
    EXPECT_EQ(received[1].text, "automatic");
    EXPECT_TRUE(received[1].header.contains(QStringLiteral("\r\nAuto-Submitted: auto-replied\r\n")))
        << received[1].header;
}

TEST_F(XmppBackendTest, StrangersAreNotDeliveredUnlessTheUserAcceptsThem)
{
    auto mm = signIn(account());
    XmppContact zed(server, QStringLiteral("zed"));
    XmppContact ann(server, QStringLiteral("ann"));
    ASSERT_TRUE(zed.connect());
    ASSERT_TRUE(ann.connect());
    const QString to = Me + QStringLiteral("/desk");
    zed.send(to, QStringLiteral("wasssup ?!"));
    // Once the server has passed zed's message on, ann's comes after it.
    ASSERT_TRUE(zed.flush());
    ann.send(to, QStringLiteral("marker"));
    ASSERT_TRUE(waitUntil([&] { return !received.empty(); }));
    drainEvents();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].text, "marker");

    XmppAccount open = account();
    open.jid = Me + QStringLiteral("/open");
    open.acceptStrangers = true;
    auto accepting = signIn(open);
    received.clear();
    zed.send(Me + QStringLiteral("/open"), QStringLiteral("one"));
    zed.send(Me + QStringLiteral("/open"), QStringLiteral("two"));
    ASSERT_TRUE(waitUntil([&] { return received.size() == 2; }));
    EXPECT_EQ(received[0].user->GetLogonName(), Zed);
    EXPECT_EQ(received[0].user->GetFriendlyName(), Zed);
    EXPECT_EQ(received[0].user, received[1].user) << "one object per stranger";
    EXPECT_FALSE(logons(*accepting, ListKind::AllContacts).contains(Zed));
}

TEST_F(XmppBackendTest, TheOwnStateChangesOnlyOnceTheServerReflectsIt)
{
    auto mm = signIn(account());
    XmppContact ann(server, QStringLiteral("ann"));
    ASSERT_TRUE(ann.connect());
    ASSERT_TRUE(waitUntil([&] { return ann.showOf(Me) == QLatin1String("online"); }));

    mm->SetLocalState(LocalState::Away);
    EXPECT_EQ(mm->GetLocalState(), LocalState::Online) << "not before the server's answer";
    ASSERT_TRUE(waitForEvent(QStringLiteral("local 34")));
    EXPECT_EQ(mm->GetLocalState(), LocalState::Away);
    EXPECT_TRUE(waitUntil([&] { return ann.showOf(Me) == QLatin1String("away"); }));

    // Asking for the state the client has sends nothing: the busy presence that follows is
    // the only one ann gets, and it would come after a repeated away one.
    const int presences = ann.presencesFrom(Me);
    mm->SetLocalState(LocalState::Away);
    mm->SetLocalState(LocalState::Busy);
    ASSERT_TRUE(waitForEvent(QStringLiteral("local 10")));
    EXPECT_TRUE(waitUntil([&] { return ann.showOf(Me) == QLatin1String("dnd"); }));
    EXPECT_EQ(ann.presencesFrom(Me), presences + 1);
    mm->SetLocalState(LocalState::Online);
    ASSERT_TRUE(waitForEvent(QStringLiteral("local 2")));
    EXPECT_THROW(mm->SetLocalState(LocalState::OnThePhone), MessengerError);
}

TEST_F(XmppBackendTest, TheNicknameIsPublishedInTheVCardAndAsPepNickNotAContactsAnswer)
{
    auto mm = signIn(account());
    XmppContact ann(server, QStringLiteral("ann"));
    ASSERT_TRUE(ann.connect());
    // ann knows the program's full address and answers its next requests first, guessing
    // their ids; the pause lets the server pass them on before the program asks.
    ann.forgeVCardResults(Me + QStringLiteral("/desk"), 5, QStringLiteral("Mallory"));
    QThread::msleep(1000);
    // A contact's nickname command may carry what XML forbids; it is stored replaced.
    mm->GetServices()->GetPrimaryService()->SetFriendlyName(QStringLiteral(" New\x01 Nick") +
                                                            QChar(0xD800));
    const QString stored = QStringLiteral(" New\uFFFD Nick\uFFFD");
    ASSERT_TRUE(waitForEvent(QStringLiteral("property 0 ") + stored)) << events.join('\n');
    QString fullName;
    EXPECT_EQ(ann.vCardNickname(Me, &fullName), stored);
    EXPECT_EQ(fullName, QString()) << "ann's vCard became the user's";
    EXPECT_EQ(ann.pepNick(Me), stored);
}

TEST_F(XmppBackendTest, AServerAwayPastTheReconnectLimitIsALostConnection)
{
    XmppAccount a = account();
    a.reconnectLimitMs = 1500;
    auto mm = signIn(a);
    const ServicePtr service = mm->GetServices()->GetPrimaryService();
    bool lost = false;
    QObject::connect(mm.get(), &XmppMessenger::connectionLost, mm.get(), [&lost] { lost = true; });
    server.stop();
    ASSERT_TRUE(waitForEvent(QStringLiteral("logoff"), 20000));
    EXPECT_TRUE(lost);
    EXPECT_EQ(service->GetServiceStatus(), ServiceStatus::ConnectionLost);
    EXPECT_TRUE(mm->lastError().startsWith(QStringLiteral("the connection to the server was lost")))
        << mm->lastError();
    EXPECT_THROW(mm->SetLocalState(LocalState::Away), MessengerError);
    EXPECT_THROW(service->SetFriendlyName(QStringLiteral("x")), MessengerError);
    // The lists stay readable for the program's last moments.
    EXPECT_EQ(mm->GetList(ListKind::AllContacts)->GetCount(), 3);
}

} // namespace
