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
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

namespace {

using zelmo::bench::waitFor;
using zelmo::test::ProsodyServer;

constexpr int kWarmUp = 50;

} // namespace

int main(int argc, char **argv)
{
    zelmo::bench::runHeadless();
    QCoreApplication app(argc, argv);
    const int messages = zelmo::bench::messageCount(argc, argv, "bench_xmpp");
    if (messages == 0)
        return 2;

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
    // As in the real program, each row of the record is written to its file as it comes.
    const QTemporaryDir recordDir;
    program.setRecordFile(recordDir.filePath(QStringLiteral("record.jsonl")));
    program.start();
    program.localStatus().toggleAway();
    program.state().SetMessage(QStringLiteral("ann@localhost"), QStringLiteral("Out until five."),
                               0);
    zelmo::bench::liftAwayMessageLimit(program.dispatcher());

    // The echo client: every body straight back.
    QXmppClient echo;
    QObject::connect(&echo, &QXmppClient::messageReceived, &echo, [&echo](const QXmppMessage &m) {
        if (m.type() != QXmppMessage::Error && !m.body().isEmpty())
            echo.sendPacket(QXmppMessage(QString(), m.from(), m.body()));
    });
    echo.connectToServer(server.clientConfig(QStringLiteral("echo"), QStringLiteral("echo")));

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
    ann.connectToServer(server.clientConfig(QStringLiteral("ann"), QStringLiteral("phone")));
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

    std::printf("send to first reply line, %d messages each, interleaved, Prosody on loopback\n",
                messages);
    zelmo::bench::printAgainstFloor(answered, echoed, "bare QXmpp echo", "echo", 1.10);
    return 0;
}
