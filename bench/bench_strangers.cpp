// Memory under a flood of guessers: the user is away and 100,000 messages with a wrong code
// ("|onlineusers| 00000") come in through the simulated client, once from 1,000 distinct
// senders and once from 100,000, none of them a contact. Each run is a process of its own, so
// that each peak is its own; the figures printed are both peaks and their difference, which
// should stay small: what the program keeps per sender must be bounded.
//
//   bench_strangers                  runs both and prints the comparison
//   bench_strangers --senders N      one run; prints "peak-kib <peak resident set in KiB>"

#include "bench/awayonsim.h"
#include "core/activitylog.h"
#include "core/program.h"
#include "platform/messenger/sim/simmessenger.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

namespace {

using zelmo::ListKind;
using zelmo::sim::SimContact;

constexpr int kMessages = 100000;
constexpr int kBatch = 1000;
constexpr double kGoalMiB = 8.0;
const QString kWrongCode = QStringLiteral("|onlineusers| 00000");

QString senderName(int i)
{
    return QStringLiteral("guesser%1@strangers.example").arg(i);
}

// Peak resident set of this process, in KiB (Linux counts ru_maxrss in KiB).
long peakKib()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int runOnce(int senders)
{
    zelmo::sim::SimMessenger sim;
    const QList<ListKind> users{ListKind::AllContacts, ListKind::Users};
    sim.setContacts({{QStringLiteral("ana@example.net"), QStringLiteral("Ana"), 2, users},
                     {QStringLiteral("ben@example.net"), QStringLiteral("Ben"), 1, users}});
    zelmo::bench::AwayOnSim away(sim);
    zelmo::Program &program = away.program;
    if (!away.away())
        return 1;

    // Counted after the program has handled each message: it is connected first.
    int handled = 0;
    QObject::connect(&sim, &zelmo::MessengerObject::OnTextReceived, &sim, [&] { ++handled; });
    int sent = 0;
    while (sent < kMessages) {
        for (int i = 0; i < kBatch; ++i, ++sent)
            sim.receiveText(senderName(sent % senders), kWrongCode);
        if (!zelmo::bench::waitFor([&] { return handled == sent; })) {
            std::fprintf(stderr, "stalled at %d of %d messages\n", handled, sent);
            return 1;
        }
    }
    // The guesses were seen as such, not let through.
    const auto &rows = program.activityLog().rows();
    if (rows.empty() || rows.front().kind != zelmo::ActivityLog::Kind::CodeDeclined) {
        std::fprintf(stderr, "the last message was not recorded as a declined code\n");
        return 1;
    }
    std::printf("peak-kib %ld\n", peakKib());
    return 0;
}

// Runs this program for one sender count; the peak it reports, or -1.
long childPeakKib(int senders)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--senders"), QString::number(senders)});
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit ||
        child.exitCode() != 0)
        return -1;
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("peak-kib (\\d+)")).match(child.readAllStandardOutput());
    return match.hasMatch() ? match.captured(1).toLong() : -1;
}

} // namespace

int main(int argc, char **argv)
{
    zelmo::bench::runHeadless();
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() == 2 && args.at(0) == QLatin1String("--senders")) {
        const int senders = args.at(1).toInt();
        if (senders <= 0) {
            std::fprintf(stderr, "the sender count must be a positive number\n");
            return 2;
        }
        return runOnce(senders);
    }
    if (!args.isEmpty()) {
        std::fprintf(stderr, "usage: %s [--senders N]\n", argv[0]);
        return 2;
    }

    const int few = 1000, many = kMessages;
    const long fewKib = childPeakKib(few);
    const long manyKib = childPeakKib(many);
    if (fewKib < 0 || manyKib < 0) {
        std::fprintf(stderr, "a run failed\n");
        return 1;
    }
    const double diffMiB = static_cast<double>(manyKib - fewKib) / 1024.0;
    std::printf("%d messages with a wrong code, the user away\n", kMessages);
    std::printf("  from %6d senders: peak %.1f MiB\n", few, static_cast<double>(fewKib) / 1024.0);
    std::printf("  from %6d senders: peak %.1f MiB\n", many, static_cast<double>(manyKib) / 1024.0);
    std::printf("  difference: %.1f MiB (goal: at most %.0f MiB) %s\n", diffMiB, kGoalMiB,
                diffMiB <= kGoalMiB ? "met" : "MISSED");
    return 0;
}
