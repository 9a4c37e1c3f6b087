// The auto-responder under load: the user is away, one contact with a stored away message
// writes ordinary text (no command), and every message goes the whole way the real program
// takes it: the simulated client queues OnTextReceived, the event loop delivers it to the
// dispatcher, and the two reply lines (the away message and the footer) go back through the
// contact's session. Prints the time per message.

#include "bench/awayonsim.h"
#include "core/dispatcher.h"
#include "core/program.h"
#include "platform/messenger/sim/simmessenger.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

namespace {

using zelmo::ListKind;
using zelmo::sim::SimContact;

constexpr int kBatch = 1000;
constexpr int kRepliesPerMessage = 2;

QList<SimContact> contacts()
{
    const QList<ListKind> users{ListKind::AllContacts, ListKind::Users};
    return {
        {QStringLiteral("ana@example.net"), QStringLiteral("Ana"), 2, users},
        {QStringLiteral("ben@example.net"), QStringLiteral("Ben"), 1, users},
        {QStringLiteral("chloe@example.net"), QStringLiteral("Chloe"), 10, users},
        {QStringLiteral("dev@example.net"), QStringLiteral("Dev"), 34, users},
        {QStringLiteral("emma@example.net"), QStringLiteral("Emma"), 2, users},
        {QStringLiteral("femi@example.net"), QStringLiteral("Femi"), 14, users},
        {QStringLiteral("gus@example.net"), QStringLiteral("Gus"), 2, users},
        {QStringLiteral("hana@example.net"),
         QStringLiteral("Hana"),
         2,
         {ListKind::AllContacts, ListKind::Blocked}},
    };
}

// Runs the event loop until the session holds `expected` messages; false if it stalls.
bool answerAll(const zelmo::sim::SimSession &session, qsizetype expected)
{
    QDeadlineTimer deadline(10000);
    while (session.sent().size() < expected) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
    return session.sent().size() == expected;
}

} // namespace

int main(int argc, char **argv)
{
    zelmo::bench::runHeadless();
    QCoreApplication app(argc, argv);

    const int messages = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    if (messages <= 0 || messages % kBatch != 0) {
        std::fprintf(stderr, "the message count must be a positive multiple of %d\n", kBatch);
        return 2;
    }

    zelmo::sim::SimMessenger sim;
    sim.setContacts(contacts());
    zelmo::bench::AwayOnSim away(sim);
    zelmo::Program &program = away.program;
    if (!away.away())
        return 1;

    // Not the first contact: the lookup walks the table up to the sender.
    const qint16 senderIndex = 5;
    const QString sender = contacts().at(senderIndex).logonName;
    const QString awayMessage = QStringLiteral("Out for lunch, back at two.");
    if (!program.state().SetMessage(sender, awayMessage, senderIndex)) {
        std::fprintf(stderr, "the away message could not be stored\n");
        return 1;
    }
    zelmo::bench::liftAwayMessageLimit(program.dispatcher());

    const QString text = QStringLiteral("Hi, are you around? I have a question about Friday.");
    const std::shared_ptr<zelmo::sim::SimSession> session = sim.sessionWith(sender);

    auto runBatch = [&](int size) {
        for (int i = 0; i < size; ++i)
            sim.receiveText(sender, text);
        return answerAll(*session, qsizetype{size} * kRepliesPerMessage);
    };

    // One batch first, untimed, which also checks that the replies are the right ones.
    if (!runBatch(kBatch)) {
        std::fprintf(stderr, "the messages were not answered\n");
        return 1;
    }
    // Nested delivery changes the order of the answers, never the pair each one is.
    const QList<zelmo::sim::SentText> &sent = session->sent();
    for (qsizetype i = 0; i < sent.size(); i += kRepliesPerMessage) {
        if (sent.at(i).text != awayMessage ||
            sent.at(i + 1).text != zelmo::Dispatcher::autoMessageFooter()) {
            std::fprintf(stderr, "unexpected reply: %s\n", qPrintable(sent.at(i).text));
            return 1;
        }
    }
    session->clearSent();

    QElapsedTimer timer;
    timer.start();
    for (int done = 0; done < messages; done += kBatch) {
        if (!runBatch(kBatch)) {
            std::fprintf(stderr, "batch at %d was not answered\n", done);
            return 1;
        }
        // Keeps memory flat over the run, as a real session does not keep what it sent.
        session->clearSent();
    }
    const qint64 elapsed = timer.nsecsElapsed();

    // For comparison: each message alone in the queue, as a quiet conversation brings them.
    // Then the dispatcher's pass over pending events finds nothing to run and goes to the
    // event dispatcher every time, which a full queue spares all but the first messages.
    const int alone = messages / 5;
    timer.restart();
    for (int done = 0; done < alone; ++done) {
        if (!runBatch(1)) {
            std::fprintf(stderr, "message %d was not answered\n", done);
            return 1;
        }
        session->clearSent();
    }
    const qint64 aloneElapsed = timer.nsecsElapsed();

    std::printf("messages: %d (batches of %d, %d replies each)\n", messages, kBatch,
                kRepliesPerMessage);
    std::printf("total: %.1f ms\n", elapsed / 1e6);
    std::printf("%.2f us per message\n", elapsed / 1e3 / messages);
    std::printf("one message in the queue at a time (%d messages): %.2f us each\n", alone,
                aloneElapsed / 1e3 / alone);
    return 0;
}
