#pragma once

#include "core/idleaway.h"

namespace zelmo {

// The desktop's idle time through KIdleTime, which reads it on X11 and Wayland only.
class KIdleTimeSource : public IdleSource {
    Q_OBJECT
public:
    explicit KIdleTimeSource(QObject *parent = nullptr);
    ~KIdleTimeSource() override;

    bool available() const override;
    QString unavailableReason() const override;
    void watch(std::chrono::milliseconds idleFor) override;
    void stop() override;

private:
    void timeoutReached(int identifier);
    void resumingFromIdle();

    bool m_connected = false; // to KIdleTime's signals, which it has for the whole process
    int m_timeout = -1;       // our timeout's identifier, -1 while not watching
    bool m_idle = false;      // our timeout was reached; waiting for the next input
};

} // namespace zelmo
