// The answer over a real XMPP server: a contact writes to the user, who is away with a
// message stored for that contact, and waits for the whole answer (the away message and the
// footer) before writing again. Measured: the time from each send to the arrival of the first
// reply line. In the same run, interleaved message by message, the same contact writes to a
// bare QXmpp echo client on the same server, which sends each body straight back: the floor
// that the network, the server and QXmpp set. Prints p50 and p99 of both, and their ratio.
//
// Starts its own Prosody on loopback in a temporary folder. Usage: bench_xmpp [messages]

#include "bench/benchsupport.h"
#include "core/program.h"
#include "platform/messenger/xmpp/qxmpp.h"
#include "platform/messenger/xmpp/xmppmessenger.h"
#include "xmpp/support/prosodyserver.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

using zelmo::test::ProsodyServer;

constexpr int kWarmUp = 50;

// Runs the event loop until done() holds; false after timeoutMs.
bool waitFor(const std::function<bool()> &done, int timeoutMs = 20000)
{
    // Blocks for events rather than spinning, so that the server keeps its share of the
    // machine; the timer only makes sure that the deadline is seen.
    const QDeadlineTimer deadline(timeoutMs);
    QTimer wake;
    wake.start(100);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

QXmppConfiguration configFor(const ProsodyServer &server, const QString &user,
                             const QString &resource)
{
    QXmppConfiguration config;
    config.setJid(ProsodyServer::jid(user) + QLatin1Char('/') + resource);
    config.setPassword(QStringLiteral("pw"));
    config.setHost(server.host());
    config.setPort(server.port());
    config.setStreamSecurityMode(QXmppConfiguration::TLSDisabled);
    config.setAutoReconnectionEnabled(false);
    return config;
}

qint64 percentile(std::vector<qint64> samples, double p)
{
    std::sort(samples.begin(), samples.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(samples.size() - 1) + 0.5);
    return samples[index];
}

} // namespace

int main(int argc, char **argv)
{
    zelmo::bench::runHeadless();
    QCoreApplication app(argc, argv);
    const int messages = argc > 1 ? QByteArray(argv[1]).toInt() : 1000;
    if (messages <= 0) {
        std::fprintf(stderr, "usage: bench_xmpp [messages]\n");
        return 2;
    }

    ProsodyServer server;
    for (const char *user : {"zelmo", "ann", "echo"})
        server.addAccount(QString::fromLatin1(user));
    server.setRoster(QStringLiteral("zelmo"), {{QStringLiteral("ann"), QStringLiteral("Ann")}});
    server.setRoster(QStringLiteral("ann"),
                     {{QStringLiteral("zelmo"), QString()}, {QStringLiteral("echo"), QString()}});
    server.setRoster(QStringLiteral("echo"), {{QStringLiteral("ann"), QString()}});
    QString error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "bench_xmpp: %s\n", qPrintable(error));
        return 1;
    }

    // The program, signed in, away, with a message stored for ann.
    zelmo::xmpp::XmppAccount account;
    account.jid = QStringLiteral("zelmo@localhost/zelmo");
    account.password = QStringLiteral("pw");
    account.host = server.host();
    account.port = server.port();
    account.insecurePlaintext = true;
    zelmo::xmpp::XmppMessenger messenger(account);
    messenger.signIn();
    if (!waitFor(
            [&] { return messenger.serviceStatus() != zelmo::ServiceStatus::Synchronizing; }) ||
        messenger.serviceStatus() != zelmo::ServiceStatus::Connected) {
        std::fprintf(stderr, "bench_xmpp: %s\n", qPrintable(messenger.lastError()));
        return 1;
    }
    zelmo::bench::NullView view;
    zelmo::bench::MemoryStore store;
    zelmo::Program program(view, &messenger, store, nullptr);
    program.Form_Load();
    program.localStatus().Command2_Click();
    program.state().SetMessage(QStringLiteral("ann@localhost"), QStringLiteral("Out until five."),
                               0);

    // The echo client: every body straight back.
    QXmppClient echo;
    QObject::connect(&echo, &QXmppClient::messageReceived, &echo, [&echo](const QXmppMessage &m) {
        if (m.type() != QXmppMessage::Error && !m.body().isEmpty())
            echo.sendPacket(QXmppMessage(QString(), m.from(), m.body()));
    });
    echo.connectToServer(configFor(server, QStringLiteral("echo"), QStringLiteral("echo")));

    // The contact.
    QXmppClient ann;
    QElapsedTimer clock;
    clock.start();
    qint64 firstReplyAt = -1;
    int replies = 0;
    QObject::connect(&ann, &QXmppClient::messageReceived, &ann, [&](const QXmppMessage &m) {
        if (m.body().isEmpty())
            return;
        if (replies++ == 0)
            firstReplyAt = clock.nsecsElapsed();
    });
    ann.connectToServer(configFor(server, QStringLiteral("ann"), QStringLiteral("phone")));
    if (!waitFor([&] { return echo.isConnected() && ann.isConnected(); })) {
        std::fprintf(stderr, "bench_xmpp: the clients did not sign in\n");
        return 1;
    }

    // One round: send, note the first line, wait for the whole answer.
    const auto round = [&](const QString &to, int lines, qint64 *latencyNs) {
        replies = 0;
        firstReplyAt = -1;
        const qint64 sentAt = clock.nsecsElapsed();
        ann.sendPacket(QXmppMessage(QString(), to, QStringLiteral("are you there?")));
        if (!waitFor([&] { return replies >= lines; }))
            return false;
        *latencyNs = firstReplyAt - sentAt;
        return true;
    };

    const QString zelmoJid = QStringLiteral("zelmo@localhost/zelmo");
    const QString echoJid = QStringLiteral("echo@localhost/echo");
    std::vector<qint64> answered, echoed;
    answered.reserve(static_cast<std::size_t>(messages));
    echoed.reserve(static_cast<std::size_t>(messages));
    for (int i = 0; i < kWarmUp + messages; ++i) {
        qint64 a = 0, b = 0;
        if (!round(zelmoJid, 2, &a) || !round(echoJid, 1, &b)) {
            std::fprintf(stderr, "bench_xmpp: no answer to message %d\n", i);
            return 1;
        }
        if (i >= kWarmUp) {
            answered.push_back(a);
            echoed.push_back(b);
        }
    }

    const auto ms = [](qint64 ns) { return static_cast<double>(ns) / 1e6; };
    const qint64 p50 = percentile(answered, 0.50), p99 = percentile(answered, 0.99);
    const qint64 e50 = percentile(echoed, 0.50), e99 = percentile(echoed, 0.99);
    std::printf("send to first reply line, %d messages each, interleaved, Prosody on loopback\n",
                messages);
    std::printf("  zelmo (away message): p50 %.3f ms  p99 %.3f ms\n", ms(p50), ms(p99));
    std::printf("  bare QXmpp echo:      p50 %.3f ms  p99 %.3f ms\n", ms(e50), ms(e99));
    std::printf("  ratio zelmo/echo:     p50 %.2f  p99 %.2f  (goal: p50 within 1.10)\n",
                static_cast<double>(p50) / static_cast<double>(e50),
                static_cast<double>(p99) / static_cast<double>(e99));
    return 0;
}
