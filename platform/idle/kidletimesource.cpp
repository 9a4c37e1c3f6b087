#include "platform/idle/kidletimesource.h"

#include <KIdleTime>
#include <QGuiApplication>

namespace zelmo {

namespace {

QString platformName()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance())
               ? QGuiApplication::platformName()
               : QString();
}

} // namespace

KIdleTimeSource::KIdleTimeSource(QObject *parent)
    : IdleSource(parent)
{
}

KIdleTimeSource::~KIdleTimeSource()
{
    stop();
}

bool KIdleTimeSource::available() const
{
    // KIdleTime has pollers for these only; elsewhere it would never report anything.
    const QString platform = platformName();
    return platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland"));
}

QString KIdleTimeSource::unavailableReason() const
{
    if (available())
        return QString();
    const QString platform = platformName();
    if (platform.isEmpty())
        return QStringLiteral("Idle time cannot be read without a desktop");
    return QStringLiteral("Idle time cannot be read on this desktop (") + platform +
           QStringLiteral(")");
}

void KIdleTimeSource::watch(std::chrono::milliseconds idleFor)
{
    if (!available())
        return;
    KIdleTime *idleTime = KIdleTime::instance();
    if (!m_connected) {
        connect(idleTime, qOverload<int, int>(&KIdleTime::timeoutReached), this,
                [this](int identifier, int) { timeoutReached(identifier); });
        connect(idleTime, &KIdleTime::resumingFromIdle, this, &KIdleTimeSource::resumingFromIdle);
        m_connected = true;
    }
    // A new bound replaces the old one; an idle period already reported still ends at the next
    // input.
    if (m_timeout >= 0)
        idleTime->removeIdleTimeout(m_timeout);
    m_timeout = idleTime->addIdleTimeout(idleFor);
}

void KIdleTimeSource::stop()
{
    if (m_timeout < 0)
        return;
    KIdleTime *idleTime = KIdleTime::instance();
    idleTime->removeIdleTimeout(m_timeout);
    m_timeout = -1;
    if (m_idle)
        idleTime->stopCatchingResumeEvent();
    m_idle = false;
}

void KIdleTimeSource::timeoutReached(int identifier)
{
    if (identifier != m_timeout || m_idle)
        return;
    m_idle = true;
    KIdleTime::instance()->catchNextResumeEvent();
    Q_EMIT idle();
}

void KIdleTimeSource::resumingFromIdle()
{
    // Another user of KIdleTime may have asked for this one.
    if (!m_idle)
        return;
    m_idle = false;
    Q_EMIT resumed();
}

} // namespace zelmo
