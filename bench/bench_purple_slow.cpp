// The program's event loop while the user's libpurple client is slow: a fake client
// (tests/purple/support/fakepurple.cpp) on a private bus, with four buddies, and the real
// program attached to it, away, with an away message for each. The attach and the going away
// are done while the client answers at once; then it answers every call 3 s late, and the
// contacts write some dozens of messages, spread over four seconds, from a thread of their own.
// Measured, until the client has been asked to send every answer's lines (and a little past
// that, to catch a line sent again): the longest stall of the program's event loop, seen by
// a 5 ms timer on its thread as the largest gap between two ticks beyond the interval. Prints
// it against the goal, and the lines sent, whether any was sent twice and whether each
// answer's lines came in order (the away message, then the footer).
//
// The bench's own look at the lines sent is a call to the fake that is answered at once: it
// stalls the loop by well under a millisecond. Usage: bench_purple_slow [messages [delay ms]];
// a delay of 0 gives what the program itself costs the loop.

#include "bench/benchsupport.h"
#include "core/dispatcher.h"
#include "core/localstatus.h"
#include "core/program.h"
#include "platform/messenger/purple/purpleformat.h"
#include "platform/messenger/purple/purplemessenger.h"
#include "bench/fakepurple/fakepurpleservice.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QHash>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

using zelmo::bench::waitFor;
using zelmo::test::FakePurpleService;

constexpr int kContacts = 4;
constexpr int kSpreadMs = 4000;
constexpr int kTickMs = 5;
constexpr double kGoalMs = 100;

QString logon(int contact)
{
    return QStringLiteral("c%1@localhost").arg(contact + 1);
}

QString awayText(int contact)
{
    return QStringLiteral("Out until five, C%1.").arg(contact + 1);
}

// The largest gap between two ticks of a timer on this thread, beyond its interval.
class StallMeter {
public:
    StallMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longest = std::max(m_longest, now - m_last - qint64(kTickMs) * 1000000);
            m_last = now;
        });
        m_clock.start();
        m_last = m_clock.nsecsElapsed();
        m_timer.start(kTickMs);
    }
    double longestMs() const { return static_cast<double>(m_longest) / 1e6; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

// The lines sent to each contact, read as the program's answers: how many away messages and
// footers, and whether they alternate, the away message first.
struct Answers {
    int away[kContacts] = {};
    int footers[kContacts] = {};
    int lines = 0;
    bool inOrder = true;

    explicit Answers(const QList<FakePurpleService::Line> &sent)
    {
        const QString footer = zelmo::Dispatcher::autoMessageFooter();
        lines = static_cast<int>(sent.size());
        for (const FakePurpleService::Line &line : sent) {
            const QString text = zelmo::purple::textFromMarkup(line.markup);
            for (int c = 0; c < kContacts; ++c) {
                if (!line.to.startsWith(logon(c) + QLatin1Char('/')))
                    continue;
                if (text == awayText(c)) {
                    inOrder = inOrder && away[c] == footers[c];
                    ++away[c];
                } else if (text == footer) {
                    inOrder = inOrder && footers[c] + 1 == away[c];
                    ++footers[c];
                } else {
                    inOrder = false;
                }
            }
        }
    }
    bool complete(const int *written) const
    {
        for (int c = 0; c < kContacts; ++c) {
            if (away[c] < written[c] || footers[c] < written[c])
                return false;
        }
        return true;
    }
    bool sentTwice(const int *written) const
    {
        for (int c = 0; c < kContacts; ++c) {
            if (away[c] > written[c] || footers[c] > written[c])
                return true;
        }
        return false;
    }
};

int fail(const char *what)
{
    std::fprintf(stderr, "bench_purple_slow: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    zelmo::bench::runHeadless();
    QCoreApplication app(argc, argv);
    const int messages = argc > 1 ? QByteArray(argv[1]).toInt() : 24;
    bool delayGiven = true;
    const int delayMs = argc > 2 ? QByteArray(argv[2]).toInt(&delayGiven) : 3000;
    if (messages <= 0 || !delayGiven || delayMs < 0) {
        std::fprintf(stderr, "usage: bench_purple_slow [messages [delay ms]]\n");
        return 2;
    }

    QStringList buddies;
    for (int c = 0; c < kContacts; ++c)
        buddies << logon(c) + QStringLiteral("=C") + QString::number(c + 1);
    FakePurpleService fake(buddies);
    QString error;
    if (!fake.start(&error))
        return fail(qPrintable(error));

    // The program on its own connection to the client's bus, as a separate process has it.
    zelmo::purple::PurpleMessenger messenger(
        QDBusConnection::connectToBus(fake.busAddress(), QStringLiteral("bench-program")),
        zelmo::purple::PurpleAccount{});
    if (!messenger.attach(&error))
        return fail(qPrintable(error));
    zelmo::bench::ProgramSentAway away(messenger);
    zelmo::Program &program = away.program;
    if (!waitFor([&] { return messenger.GetLocalState() == zelmo::LocalState::Away; }))
        return fail("the client did not go away");
    const zelmo::UserCollectionPtr contacts = messenger.GetList(zelmo::ListKind::AllContacts);
    int stored = 0;
    for (qint32 i = 0; i < contacts->GetCount(); ++i) {
        for (int c = 0; c < kContacts; ++c) {
            if (contacts->Item(i)->GetLogonName() == logon(c))
                stored += program.state().SetMessage(logon(c), awayText(c), static_cast<qint16>(i));
        }
    }
    if (stored != kContacts)
        return fail("the contacts are not all among the user's buddies");
    zelmo::bench::liftAwayMessageLimit(program.dispatcher());

    fake.setDelay(delayMs);
    StallMeter stalls;
    QElapsedTimer clock;
    clock.start();
    int written[kContacts] = {};
    for (int i = 0; i < messages; ++i)
        ++written[i % kContacts];
    std::thread contactsThread([&] {
        for (int i = 0; i < messages; ++i) {
            std::this_thread::sleep_until(std::chrono::steady_clock::now() +
                                          std::chrono::milliseconds(kSpreadMs / messages));
            fake.deliver(logon(i % kContacts) + QStringLiteral("/phone"),
                         QStringLiteral("are you there? (%1)").arg(i + 1));
        }
    });

    // A blocking client makes every call in turn: a delay for each line and each
    // conversation it opens.
    const int boundMs = (2 * messages + 2 * kContacts) * delayMs + 60000;
    bool look = true;
    QTimer lookAgain;
    QObject::connect(&lookAgain, &QTimer::timeout, [&] { look = true; });
    lookAgain.start(250);
    const auto answered = [&] {
        if (!look)
            return false;
        look = false;
        return Answers(fake.sentLines()).complete(written);
    };
    const bool complete = waitFor(answered, boundMs);
    const double answeredAfter = static_cast<double>(clock.elapsed()) / 1000;
    contactsThread.join();
    // A line sent again would come after the last one expected.
    bool lingered = false;
    QTimer::singleShot(delayMs + 1000, [&] { lingered = true; });
    waitFor([&] { return lingered; });
    const Answers answers(fake.sentLines());
    const double stallMs = stalls.longestMs();
    program.shutDown();

    std::printf("%d messages from %d contacts over %.1f s; the client answers every call %d ms "
                "late\n",
                messages, kContacts, kSpreadMs / 1000.0, delayMs);
    std::printf("  longest stall of the event loop: %.1f ms  (goal: under %.0f ms)\n", stallMs,
                kGoalMs);
    std::printf("  lines sent: %d of %d expected; sent twice: %s; each answer's lines in order: "
                "%s\n",
                answers.lines, 2 * messages, answers.sentTwice(written) ? "yes" : "no",
                answers.inOrder ? "yes" : "no");
    if (!complete) {
        std::printf("  not every answer was sent within %d s\n", boundMs / 1000);
        return 1;
    }
    std::printf("  every answer's lines sent %.1f s after the contacts began\n", answeredAfter);
    return 0;
}
