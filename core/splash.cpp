#include "core/splash.h"

#include "core/appstate.h"

#include <limits>

namespace zelmo {

Splash::Splash(SplashView &view, const AppState &state, QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_state(state)
{
    Timer1.setInterval(checkInterval);
    Timer2.setInterval(progressInterval);
    Timer3.setInterval(handOverInterval);
    connect(&Timer1, &QTimer::timeout, this, &Splash::Timer1_Timer);
    connect(&Timer2, &QTimer::timeout, this, &Splash::Timer2_Timer);
    connect(&Timer3, &QTimer::timeout, this, &Splash::Timer3_Timer);
}

void Splash::Form_Load()
{
    m_loaded = true;
    Timer1.start();
    Timer2.start();
    Timer3.start();
}

void Splash::Form_Activate()
{
    splashProgress = 0;
    splashTicks = 0;
    if (m_mainWindowLoaded)
        return;
    // Marked before the load, so that an activation from inside the start-up loads nothing.
    m_mainWindowLoaded = true;
    m_view.loadMainWindow();
}

void Splash::Timer1_Timer()
{
    if (m_barValue == fullProgress && m_state.done) {
        Timer1.stop();
        Timer2.stop();
    }
}

void Splash::Timer2_Timer()
{
    splashProgress = m_state.statusbar;
    if (splashProgress > fullProgress)
        splashProgress = fullProgress;
    m_barValue = splashProgress;
    m_view.setProgressValue(m_barValue);
    m_view.setStepText(m_state.Status);
}

void Splash::Timer3_Timer()
{
    if (splashTicks == 2) {
        m_view.showMainWindow();
        m_view.closeWindow();
    }
    // Only a splash that stays up past its hand-over counts on; the count must not wrap.
    if (splashTicks < std::numeric_limits<qint16>::max())
        ++splashTicks;
}

void Splash::Form_Unload()
{
    m_loaded = false;
    Timer1.stop();
    Timer2.stop();
    Timer3.stop();
}

void Splash::closeFromShutdown()
{
    Timer1.stop();
    Timer2.stop();
    if (m_loaded)
        m_view.closeWindow();
}

} // namespace zelmo
