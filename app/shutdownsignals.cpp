#include "app/shutdownsignals.h"

#include <QSocketNotifier>

#include <array>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace zelmo {

namespace {

std::array<int, 2> pipeEnds{-1, -1};
constexpr std::array<int, 3> endingSignals{SIGTERM, SIGINT, SIGHUP};

void onSignal(int number)
{
    const int saved = errno;
    const char byte = static_cast<char>(number);
    // A full pipe already holds a signal to act on.
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
    errno = saved;
}

} // namespace

ShutdownSignals::ShutdownSignals(QObject *parent)
    : QObject(parent)
{
    if (::pipe2(pipeEnds.data(), O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : endingSignals)
        ::sigaction(number, &action, nullptr);
}

ShutdownSignals::~ShutdownSignals()
{
    // Back to the defaults: past this point there is nothing left to end cleanly.
    for (const int number : endingSignals)
        std::signal(number, SIG_DFL);
}

void ShutdownSignals::start(std::function<void()> shutdown)
{
    if (pipeEnds[0] < 0)
        return;
    m_shutdown = std::move(shutdown);
    m_notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(pipeEnds[0], bytes, sizeof bytes) > 0) {
        }
        if (m_shutdown)
            std::exchange(m_shutdown, nullptr)();
    });
}

} // namespace zelmo
