#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

namespace zelmo {

class AppState;

// What the splash logic needs of its window and of the main window it hands over to.
class SplashView {
public:
    virtual ~SplashView() = default;
    // The progress bar, 0 to Splash::fullProgress.
    virtual void setProgressValue(qint32 value) = 0;
    // The text of the current start-up step.
    virtual void setStepText(const QString &text) = 0;
    // Loads the main window without showing it; its load runs the whole start-up before
    // returning.
    virtual void loadMainWindow() = 0;
    // Shows the main window, not modally.
    virtual void showMainWindow() = 0;
    // Closes the splash window; its unload follows from the close.
    virtual void closeWindow() = 0;
};

// The splash screen's logic: it loads the main window on its first activation, shows the
// start-up's progress, and hands over to the main window on the third hand-over tick after
// its last activation. The window forwards its events here; tests call the handlers directly.
class Splash : public QObject {
    Q_OBJECT
public:
    static constexpr qint32 fullProgress = 240;
    static constexpr int checkInterval = 500;
    // Any interval up to about 20 ms shows the same progress; a 1 ms timer would wake the
    // CPU a thousand times a second for nothing.
    static constexpr int progressInterval = 20;
    static constexpr int handOverInterval = 500;

    // state is the main window's, read for the progress; neither is owned.
    Splash(SplashView &view, const AppState &state, QObject *parent = nullptr);

    // The splash is loaded: all three timers run from here.
    void start();
    // Every activation starts the hand-over count again; only the first loads the main
    // window.
    void windowActivated();
    // The completion check: progress full and the status known stop the first two timers.
    void checkCompletion();
    // The progress: the main window's step counter, capped, and its step text.
    void followProgress();
    // The hand-over: at the third tick the main window is shown and the splash closes.
    void handOverTick();
    // The splash has closed: every timer stops.
    void stop();
    // The main window's shutdown: the completion check and the progress stop, and the
    // splash closes should it still be loaded.
    void closeFromShutdown();

    qint32 progress() const { return splashProgress; }
    qint16 ticks() const { return splashTicks; }
    bool loaded() const { return m_loaded; }
    bool mainWindowLoaded() const { return m_mainWindowLoaded; }
    bool checkTimerRunning() const { return m_checkTimer.isActive(); }
    bool progressTimerRunning() const { return m_progressTimer.isActive(); }
    bool handOverTimerRunning() const { return m_handOverTimer.isActive(); }

private:
    SplashView &m_view;
    const AppState &m_state;
    QTimer m_checkTimer;    // the completion check
    QTimer m_progressTimer; // the progress
    QTimer m_handOverTimer; // the hand-over
    qint32 splashProgress = 0;
    qint16 splashTicks = 0;
    qint32 m_barValue = 0; // what the progress bar shows
    bool m_loaded = false;
    bool m_mainWindowLoaded = false;
};

} // namespace zelmo
