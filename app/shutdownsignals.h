#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace zelmo {

// SIGTERM, SIGINT and SIGHUP (systemd stopping a service, Ctrl+C, a closed terminal) end the
// run the way the user would end it: the code and the record written, the lock released. A
// signal handler may do almost nothing, so it only writes to a pipe that the event loop
// reads. The handlers are installed at construction; a signal that comes before start() waits
// in the pipe until then.
class ShutdownSignals : public QObject {
    Q_OBJECT
public:
    explicit ShutdownSignals(QObject *parent = nullptr);
    ~ShutdownSignals() override;

    // From now on a signal runs shutdown from the event loop, once.
    void start(std::function<void()> shutdown);

private:
    std::function<void()> m_shutdown;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace zelmo
