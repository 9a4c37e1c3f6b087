// The answer through the user's own libpurple client: a contact writes to the user over a real
// XMPP server; a real Finch signed in as the user receives it and raises it on D-Bus; the
// program, attached to that Finch, answers with the away message stored for the contact
// through Finch again. Measured: the time from each send to the arrival of the first reply
// line back at the contact, who waits for the whole answer (the away message and the footer)
// before writing again. In the same run, interleaved message by message, a second contact
// writes to the same Finch, where a bare QtDBus companion of a few lines answers it through
// the same calls the program makes: the floor that the server, Finch and D-Bus set. Prints
// p50 and p99 of both, and their ratio.
//
// Starts its own Prosody on loopback and its own Finch on a private bus, each in a temporary
// folder that goes with it. Usage: bench_purple [messages]
//
// Finch runs with its debug window (the harness starts it with --debug), which walks all it
// has collected for every line it adds, so every message costs Finch a little more than the
// one before: compare runs of the same length only.

#include "bench/benchsupport.h"
#include "core/dispatcher.h"
#include "core/localstatus.h"
#include "core/program.h"
#include "platform/messenger/purple/purplemessenger.h"
#include "platform/messenger/xmpp/qxmpp.h"
#include "purple/support/finchclient.h"
#include "xmpp/support/prosodyserver.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QThread>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

using zelmo::bench::waitFor;
using zelmo::test::FinchClient;
using zelmo::test::ProsodyServer;

constexpr int kWarmUp = 50;
// Each message comes to a quiet system, as a contact's message does. Without the pause the
// rounds would not start alike: Finch's socket holds the footer back until the server's
// delayed acknowledgement (some 40 ms), so the companion's round would always meet an idle,
// cold Finch and the program's a busy, warm one.
constexpr int kQuietMs = 50;
const QString kAwayText = QStringLiteral("Out until five.");

// The least a companion on Finch's D-Bus interface can do: hear each message from one
// contact and answer it in that contact's conversation, marked as an automatic response.
class BareCompanion : public QObject {
    Q_OBJECT
public:
    BareCompanion(QDBusConnection bus, QString contact, QString markup)
        : m_bus(std::move(bus))
        , m_contact(std::move(contact))
        , m_markup(std::move(markup))
    {
        m_bus.connect(FinchClient::service(), FinchClient::objectPath(), FinchClient::interface(),
                      QStringLiteral("ReceivedImMsg"), this,
                      SLOT(receivedImMsg(int, QString, QString, int, uint)));
    }

public Q_SLOTS:
    void receivedImMsg(int account, const QString &sender, const QString &, int, uint)
    {
        if (!sender.startsWith(m_contact))
            return;
        int &im = m_ims[sender];
        if (!im) {
            const int conv = call(QStringLiteral("PurpleConversationNew"), {1, account, sender});
            im = call(QStringLiteral("PurpleConvIm"), {conv});
        }
        call(QStringLiteral("PurpleConvImSendWithFlags"), {im, m_markup, 8});
    }

private:
    int call(const QString &method, const QVariantList &arguments)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(
            FinchClient::service(), FinchClient::objectPath(), FinchClient::interface(), method);
        message.setArguments(arguments);
        return m_bus.call(message, QDBus::Block, 5000).arguments().value(0).toInt();
    }

    QDBusConnection m_bus;
    QString m_contact;
    QString m_markup;
    QHash<QString, int> m_ims;
};

// The contacts run in a thread of their own, as the separate parties they are: the program's
// calls into Finch block its thread until Finch answers, and must not hold up the moment a
// contact sees the first line.
class ContactsThread {
public:
    ContactsThread()
    {
        m_home.moveToThread(&m_thread);
        m_thread.start();
    }
    ~ContactsThread()
    {
        m_thread.quit();
        m_thread.wait();
    }
    // Runs f in the thread, and waits for it when asked to.
    void run(std::function<void()> f, bool wait = true)
    {
        QMetaObject::invokeMethod(&m_home, std::move(f),
                                  wait ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
    }

private:
    QThread m_thread;
    QObject m_home;
};

// A bare QXmpp client as a contact. It notes when it sent and when the first line of the
// answer came, and counts the lines; the main thread reads those once the lines are in.
class Contact {
public:
    Contact(ContactsThread &thread, const QElapsedTimer &clock)
        : m_thread(thread)
        , m_clock(clock)
    {
    }
    ~Contact()
    {
        // The client goes in the thread it lives in.
        m_thread.run([this] { m_client.reset(); });
    }

    void connectTo(const QXmppConfiguration &config)
    {
        m_thread.run([this, config] {
            m_client = std::make_unique<QXmppClient>();
            QObject::connect(m_client.get(), &QXmppClient::connected, m_client.get(),
                             [this] { m_connected = true; });
            QObject::connect(m_client.get(), &QXmppClient::messageReceived, m_client.get(),
                             [this](const QXmppMessage &m) { received(m); });
            m_client->connectToServer(config);
        });
    }
    bool connected() const { return m_connected; }

    void send(const QString &to, const QString &text)
    {
        m_replies = 0;
        m_thread.run(
            [this, to, text] {
                m_sentAt = m_clock.nsecsElapsed();
                m_client->sendPacket(QXmppMessage(QString(), to, text));
            },
            false);
    }
    int replies() const { return m_replies; }
    qint64 sentAt() const { return m_sentAt; }
    qint64 firstReplyAt() const { return m_firstReplyAt; }
    QString firstBody() const { return m_firstBody; }

private:
    void received(const QXmppMessage &m)
    {
        if (m.body().isEmpty())
            return;
        if (m_replies == 0) {
            m_firstReplyAt = m_clock.nsecsElapsed();
            m_firstBody = m.body();
        }
        ++m_replies;
        // Wakes the main thread, which waits for events.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
    }

    ContactsThread &m_thread;
    const QElapsedTimer &m_clock;
    std::unique_ptr<QXmppClient> m_client;
    std::atomic<bool> m_connected{false};
    // Written by the thread before the count that publishes them.
    std::atomic<int> m_replies{0};
    std::atomic<qint64> m_sentAt{0};
    std::atomic<qint64> m_firstReplyAt{0};
    QString m_firstBody;
};

} // namespace

int main(int argc, char **argv)
{
    zelmo::bench::runHeadless();
    QCoreApplication app(argc, argv);
    const int messages = zelmo::bench::messageCount(argc, argv, "bench_purple");
    if (messages == 0)
        return 2;

    ProsodyServer server;
    for (const char *user : {"me", "c1", "c2"})
        server.addAccount(QString::fromLatin1(user));
    server.setRoster(QStringLiteral("me"), {{QStringLiteral("c1"), QStringLiteral("C1")},
                                            {QStringLiteral("c2"), QStringLiteral("C2")}});
    for (const char *user : {"c1", "c2"})
        server.setRoster(QString::fromLatin1(user), {{QStringLiteral("me"), QString()}});
    QString error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "bench_purple: %s\n", qPrintable(error));
        return 1;
    }
    // Finch's sound library makes a PulseAudio runtime folder beside Finch's own temporary
    // folder, not in it; this one goes with the bench.
    QTemporaryDir runtime(QDir::tempPath() + QStringLiteral("/zelmo-bench-XXXXXX"));
    qputenv("PULSE_RUNTIME_PATH", runtime.filePath(QStringLiteral("pulse")).toLocal8Bit());
    FinchClient finch(server, {{QStringLiteral("me")}});
    if (!finch.start(&error)) {
        std::fprintf(stderr, "bench_purple: %s\n", qPrintable(error));
        return 1;
    }

    // The program on its own connection to Finch's bus, as a separate process would have it,
    // away, with a message stored for c1.
    zelmo::purple::PurpleMessenger messenger(
        QDBusConnection::connectToBus(finch.busAddress(), QStringLiteral("bench-program")),
        zelmo::purple::PurpleAccount{});
    if (!messenger.attach(&error)) {
        std::fprintf(stderr, "bench_purple: %s\n", qPrintable(error));
        return 1;
    }
    zelmo::bench::ProgramSentAway away(messenger);
    zelmo::Program &program = away.program;
    if (messenger.GetLocalState() != zelmo::LocalState::Away) {
        std::fprintf(stderr, "bench_purple: Finch did not go away\n");
        return 1;
    }
    const zelmo::UserCollectionPtr contacts = messenger.GetList(zelmo::ListKind::AllContacts);
    qint16 c1Index = -1;
    for (qint32 i = 0; i < contacts->GetCount(); ++i)
        if (contacts->Item(i)->GetLogonName() == QLatin1String("c1@localhost"))
            c1Index = static_cast<qint16>(i);
    if (c1Index < 0 ||
        !program.state().SetMessage(QStringLiteral("c1@localhost"), kAwayText, c1Index)) {
        std::fprintf(stderr, "bench_purple: c1 is not among the user's contacts\n");
        return 1;
    }
    zelmo::bench::liftAwayMessageLimit(program.dispatcher());

    // The floor, on a connection of its own too, answering c2 with a line of the same shape
    // as the program's first one.
    BareCompanion companion(
        QDBusConnection::connectToBus(finch.busAddress(), QStringLiteral("bench-companion")),
        QStringLiteral("c2@localhost/"),
        QStringLiteral("<font face=\"Arial\" color=\"#000000\">") + kAwayText +
            QStringLiteral("</font>"));

    // The contacts, in their own thread.
    QElapsedTimer clock;
    clock.start();
    ContactsThread contactsThread;
    Contact c1(contactsThread, clock), c2(contactsThread, clock);
    c1.connectTo(server.clientConfig(QStringLiteral("c1"), QStringLiteral("phone")));
    c2.connectTo(server.clientConfig(QStringLiteral("c2"), QStringLiteral("phone")));
    if (!waitFor([&] { return c1.connected() && c2.connected(); })) {
        std::fprintf(stderr, "bench_purple: the contacts did not sign in\n");
        return 1;
    }

    // One round: send, wait for the whole answer; the time to its first line.
    const QString me = QStringLiteral("me@localhost/finch");
    const auto round = [&](Contact &contact, int lines, qint64 *latencyNs) {
        bool quiet = false;
        QTimer::singleShot(kQuietMs, [&] { quiet = true; });
        waitFor([&] { return quiet; });
        contact.send(me, QStringLiteral("are you there?"));
        if (!waitFor([&] { return contact.replies() >= lines; }))
            return false;
        *latencyNs = contact.firstReplyAt() - contact.sentAt();
        return contact.firstBody() == kAwayText;
    };

    std::vector<qint64> answered, floor;
    answered.reserve(static_cast<std::size_t>(messages));
    floor.reserve(static_cast<std::size_t>(messages));
    for (int i = 0; i < kWarmUp + messages; ++i) {
        qint64 a = 0, b = 0;
        if (!round(c1, 2, &a)) {
            std::fprintf(stderr, "bench_purple: no away message for message %d (got \"%s\")\n", i,
                         qPrintable(c1.firstBody()));
            return 1;
        }
        if (!round(c2, 1, &b)) {
            std::fprintf(stderr, "bench_purple: no answer from the companion to message %d\n", i);
            return 1;
        }
        if (i >= kWarmUp) {
            answered.push_back(a);
            floor.push_back(b);
        }
    }
    program.shutDown();

    std::printf("send to first reply line, %d messages each, interleaved, Prosody and Finch on "
                "loopback\n",
                messages);
    zelmo::bench::printAgainstFloor(answered, floor, "bare QtDBus companion", "companion", 1.10);
    return 0;
}

#include "bench_purple.moc"
