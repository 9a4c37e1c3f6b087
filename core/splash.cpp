#include "core/splash.h"

#include "core/appstate.h"

#include <limits>

namespace zelmo {

Splash::Splash(SplashView &view, const AppState &state, QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_state(state)
{
    m_checkTimer.setInterval(checkInterval);
    m_progressTimer.setInterval(progressInterval);
    m_handOverTimer.setInterval(handOverInterval);
    connect(&m_checkTimer, &QTimer::timeout, this, &Splash::checkCompletion);
    connect(&m_progressTimer, &QTimer::timeout, this, &Splash::followProgress);
    connect(&m_handOverTimer, &QTimer::timeout, this, &Splash::handOverTick);
}

void Splash::start()
{
    m_loaded = true;
    m_checkTimer.start();
    m_progressTimer.start();
    m_handOverTimer.start();
}

void Splash::windowActivated()
{
    splashProgress = 0;
    splashTicks = 0;
    if (m_mainWindowLoaded)
        return;
    // Marked before the load, so that an activation from inside the start-up loads nothing.
    m_mainWindowLoaded = true;
    m_view.loadMainWindow();
}

void Splash::checkCompletion()
{
    if (m_barValue == fullProgress && m_state.startupDone) {
        m_checkTimer.stop();
        m_progressTimer.stop();
    }
}

void Splash::followProgress()
{
    splashProgress = m_state.startupProgress;
    if (splashProgress > fullProgress)
        splashProgress = fullProgress;
    m_barValue = splashProgress;
    m_view.setProgressValue(m_barValue);
    m_view.setStepText(m_state.startupStep);
}

void Splash::handOverTick()
{
    if (splashTicks == 2) {
        m_view.showMainWindow();
        m_view.closeWindow();
    }
    // Only a splash that stays up past its hand-over counts on; the count must not wrap.
    if (splashTicks < std::numeric_limits<qint16>::max())
        ++splashTicks;
}

void Splash::stop()
{
    m_loaded = false;
    m_checkTimer.stop();
    m_progressTimer.stop();
    m_handOverTimer.stop();
}

void Splash::closeFromShutdown()
{
    m_checkTimer.stop();
    m_progressTimer.stop();
    if (m_loaded)
        m_view.closeWindow();
}

} // namespace zelmo
