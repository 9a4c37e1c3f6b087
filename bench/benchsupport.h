#pragma once

// What the benchmarks share: a settings store that keeps nothing, a main view that shows
// nothing, the program sent away, and the few figures they print.

#include "core/dispatcher.h"
#include "core/localstatus.h"
#include "core/mainview.h"
#include "core/program.h"
#include "core/settingsstore.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace zelmo::bench {

// Reads give the default, writes succeed: the start-up then makes a code of its own.
class MemoryStore : public SettingsStore {
public:
    bool contains(const QString &, const QString &, const QString &) override { return false; }
    Health health(const QString &) override { return Health::Fine; }
    QString setAside(const QString &) override { return {}; }
    QString location(const QString &) const override { return {}; }
    QString read(const QString &, const QString &, const QString &,
                 const QString &defaultValue) override
    {
        return defaultValue;
    }
    bool write(const QString &, const QString &, const QString &, const QString &) override
    {
        return true;
    }
};

// A window that draws nothing, so that only the program's own logic is measured.
using NullView = WindowlessView;

// Before the application object exists: the benchmarks run without a display.
inline void runHeadless()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// The median of the samples (the upper one of the middle two for an even count).
inline qint64 median(std::vector<qint64> samples)
{
    if (samples.empty())
        return 0;
    const auto middle = samples.begin() + static_cast<std::ptrdiff_t>(samples.size() / 2);
    std::nth_element(samples.begin(), middle, samples.end());
    return *middle;
}

// Runs the event loop until done() holds; false after timeoutMs. It blocks for events rather
// than spinning, so that the servers and clients measured keep their share of the machine; the
// timer only makes sure that the deadline is seen.
inline bool waitFor(const std::function<bool()> &done, int timeoutMs = 20000)
{
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

// Every away message a window after the one before, so that the limit per contact never holds
// one back: a benchmark sends far more than a person would.
inline void liftAwayMessageLimit(Dispatcher &dispatcher)
{
    dispatcher.setClock([now = std::chrono::milliseconds(0)]() mutable {
        return now += Dispatcher::awayMessageWindow;
    });
}

// The p-th percentile of the samples (0 <= p <= 1), the nearest rank.
inline qint64 percentile(std::vector<qint64> samples, double p)
{
    std::sort(samples.begin(), samples.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(samples.size() - 1) + 0.5);
    return samples[index];
}

// The number of messages a round-trip benchmark sends: its one argument, or 1000. Zero, with
// the usage printed, when the argument is not a positive number.
inline int messageCount(int argc, char **argv, const char *name)
{
    const int messages = argc > 1 ? QByteArray(argv[1]).toInt() : 1000;
    if (messages <= 0)
        std::fprintf(stderr, "usage: %s [messages]\n", name);
    return std::max(messages, 0);
}

// The program's round trips against the same trips through the least a client can do
// (floorName), as p50 and p99, and their ratio against the goal.
inline void printAgainstFloor(const std::vector<qint64> &ours, const std::vector<qint64> &floor,
                              const char *floorName, const char *floorShort, double goal)
{
    const QByteArray labels[] = {"zelmo (away message):", QByteArray(floorName) + ':',
                                 "ratio zelmo/" + QByteArray(floorShort) + ':'};
    int width = 0;
    for (const QByteArray &label : labels)
        width = std::max(width, static_cast<int>(label.size()));
    const auto ms = [](qint64 ns) { return static_cast<double>(ns) / 1e6; };
    const qint64 p50 = percentile(ours, 0.50), p99 = percentile(ours, 0.99);
    const qint64 f50 = percentile(floor, 0.50), f99 = percentile(floor, 0.99);
    std::printf("  %-*s p50 %.3f ms  p99 %.3f ms\n", width, labels[0].constData(), ms(p50),
                ms(p99));
    std::printf("  %-*s p50 %.3f ms  p99 %.3f ms\n", width, labels[1].constData(), ms(f50),
                ms(f99));
    std::printf("  %-*s p50 %.2f  p99 %.2f  (goal: p50 within %.2f)\n", width,
                labels[2].constData(), static_cast<double>(p50) / static_cast<double>(f50),
                static_cast<double>(p99) / static_cast<double>(f99), goal);
}

// The real program on a messenger, started and sent away by its own button, as a user does.
struct ProgramSentAway {
    explicit ProgramSentAway(MessengerObject &messenger)
        : program(view, &messenger, store, nullptr)
    {
        program.start();
        program.state().AwayMode = false;
        program.localStatus().toggleAway();
    }

    NullView view;
    MemoryStore store;
    Program program;
};

} // namespace zelmo::bench
