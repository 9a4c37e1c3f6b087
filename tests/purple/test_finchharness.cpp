// The Finch harness itself: a real Finch on a private bus, reached with QtDBus the way a
// backend would, signed in to Prosody with a contact in its roster.

#include "purple/support/finchclient.h"
#include "support/printers.h"
#include "support/waituntil.h"
#include "xmpp/support/prosodyserver.h"
#include "xmpp/support/xmppcontact.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusMessage>
#include <QObject>

#include <gtest/gtest.h>

using namespace zelmo::test;

namespace {

// libpurple's PURPLE_MESSAGE_RECV.
constexpr uint receivedFlag = 0x2;

// Every signal of libpurple's interface on the bus, in order.
class PurpleSignals : public QObject {
    Q_OBJECT
public:
    explicit PurpleSignals(const QDBusConnection &bus)
        : m_bus(bus)
    {
        m_bus.connect(QString(), FinchClient::objectPath(), FinchClient::interface(), QString(),
                      this, SLOT(record(QDBusMessage)));
    }
    ~PurpleSignals() override
    {
        m_bus.disconnect(QString(), FinchClient::objectPath(), FinchClient::interface(), QString(),
                         this, SLOT(record(QDBusMessage)));
    }

    QList<QDBusMessage> named(const QString &member) const
    {
        QList<QDBusMessage> found;
        for (const QDBusMessage &m : m_messages) {
            if (m.member() == member)
                found << m;
        }
        return found;
    }
    void clear() { m_messages.clear(); }

public Q_SLOTS:
    void record(const QDBusMessage &message) { m_messages << message; }

private:
    QDBusConnection m_bus;
    QList<QDBusMessage> m_messages;
};

class FinchHarness : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.addAccount(QStringLiteral("me"));
        server.addAccount(QStringLiteral("ann"));
        server.setRoster(QStringLiteral("me"), {{QStringLiteral("ann"), QString()}});
        server.setRoster(QStringLiteral("ann"), {{QStringLiteral("me"), QString()}});
        QString error;
        ASSERT_TRUE(server.start(&error)) << error;
        ASSERT_TRUE(finch.start(&error)) << error;
        bus = QDBusConnection::connectToBus(finch.busAddress(), QStringLiteral("finch-test"));
        ASSERT_TRUE(bus.isConnected());
    }
    void TearDown() override
    {
        bus = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(QStringLiteral("finch-test"));
    }

    // A call on libpurple's interface over the test's own connection; its first result.
    QVariant purple(const QString &method, const QVariantList &arguments = {})
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            FinchClient::service(), FinchClient::objectPath(), FinchClient::interface(), method);
        call.setArguments(arguments);
        const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
            << method << ": " << reply.errorMessage();
        return reply.arguments().value(0);
    }
    QList<int> activeAccounts()
    {
        return qdbus_cast<QList<int>>(purple(QStringLiteral("PurpleAccountsGetAllActive")));
    }
    bool nameOnBus()
    {
        return bus.interface()->isServiceRegistered(FinchClient::service()).value();
    }

    ProsodyServer server;
    FinchClient finch{server, {{QStringLiteral("me")}}};
    QDBusConnection bus{QString()};
};

TEST_F(FinchHarness, SignedInWithTheRosterAndReceivesMessages)
{
    const QList<int> accounts = activeAccounts();
    ASSERT_EQ(accounts.size(), 1);
    const int account = accounts.first();
    EXPECT_EQ(account, finch.accountHandle(QStringLiteral("me")));
    EXPECT_EQ(purple(QStringLiteral("PurpleAccountGetUsername"), {account}).toString(),
              QStringLiteral("me@localhost/finch"));
    EXPECT_EQ(purple(QStringLiteral("PurpleAccountIsConnected"), {account}).toInt(), 1);

    // The roster comes just after the sign-in.
    QStringList buddies;
    EXPECT_TRUE(waitUntil(
        [&] {
            buddies.clear();
            const auto handles = qdbus_cast<QList<int>>(
                purple(QStringLiteral("PurpleFindBuddies"), {account, QString()}));
            for (int buddy : handles)
                buddies << purple(QStringLiteral("PurpleBuddyGetName"), {buddy}).toString();
            return !buddies.isEmpty();
        },
        10000));
    EXPECT_EQ(buddies, QStringList{QStringLiteral("ann@localhost")});
    // The harness's settings took: no idle time to turn the status away under a test.
    EXPECT_EQ(purple(QStringLiteral("PurplePrefsGetString"),
                     {QStringLiteral("/purple/away/idle_reporting")})
                  .toString(),
              QStringLiteral("none"));

    PurpleSignals events(bus);
    XmppContact ann(server, QStringLiteral("ann"), QStringLiteral("phone"));
    ASSERT_TRUE(ann.connect());
    ann.send(QStringLiteral("me@localhost"), QStringLiteral("hello"));
    ASSERT_TRUE(
        waitUntil([&] { return !events.named(QStringLiteral("ReceivedImMsg")).isEmpty(); }, 15000))
        << finch.log();
    const QVariantList received = events.named(QStringLiteral("ReceivedImMsg")).first().arguments();
    ASSERT_EQ(received.size(), 5);
    EXPECT_EQ(received.at(0).toInt(), account);
    EXPECT_EQ(received.at(1).toString(), QStringLiteral("ann@localhost/phone"));
    EXPECT_EQ(received.at(2).toString(), QStringLiteral("hello"));
    EXPECT_TRUE(received.at(4).toUInt() & receivedFlag);
}

TEST_F(FinchHarness, SignsOutQuitsStartsAgainAndDies)
{
    PurpleSignals events(bus);
    ASSERT_TRUE(finch.signOut(QStringLiteral("me")));
    EXPECT_TRUE(activeAccounts().isEmpty());
    EXPECT_TRUE(
        waitUntil([&] { return !events.named(QStringLiteral("AccountSignedOff")).isEmpty(); }));
    ASSERT_TRUE(finch.signIn(QStringLiteral("me")));
    EXPECT_EQ(activeAccounts().size(), 1);

    // Quitting: libpurple says so, then leaves the bus, and the process ends.
    events.clear();
    finch.quit();
    EXPECT_FALSE(finch.running());
    EXPECT_FALSE(nameOnBus());
    EXPECT_EQ(events.named(QStringLiteral("Quitting")).size(), 1);

    QString error;
    ASSERT_TRUE(finch.start(&error)) << error;
    EXPECT_TRUE(nameOnBus());
    EXPECT_TRUE(finch.isConnected(QStringLiteral("me")));

    // A crash: the name goes without a word.
    events.clear();
    finch.kill();
    EXPECT_FALSE(finch.running());
    EXPECT_FALSE(nameOnBus());
    drainEvents();
    EXPECT_TRUE(events.named(QStringLiteral("Quitting")).isEmpty());
}

} // namespace

#include "test_finchharness.moc"
