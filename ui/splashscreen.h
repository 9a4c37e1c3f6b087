#pragma once

#include "core/splash.h"

#include <QWidget>

#include <functional>

class QGroupBox;
class QLabel;
class QProgressBar;

namespace zelmo {

class AppState;

// The splash screen, the program's first window: it loads the main window on its first
// activation, shows the start-up's progress and hands over to the main window about a second
// after the start-up has ended. Its handlers forward to Splash.
class SplashScreen : public QWidget, private SplashView {
    Q_OBJECT
public:
    // loadMainWindow runs the main window's start-up; showMainWindow shows it, not modally.
    // state is the main window's, read for the progress. None of them is owned.
    SplashScreen(std::function<void()> loadMainWindow, std::function<void()> showMainWindow,
                 const AppState &state, QWidget *parent = nullptr);

    static QString productText();
    static QString creditText() { return QStringLiteral("by the Zelmo Team"); }

    Splash &logic() { return m_logic; }
    // For the main window's shutdown: the completion check and the progress stop, and the
    // splash closes should it still be loaded.
    void closeFromShutdown() { m_logic.closeFromShutdown(); }

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void windowActivated();

    // SplashView
    void setProgressValue(qint32 value) override;
    void setStepText(const QString &text) override;
    void loadMainWindow() override;
    void showMainWindow() override;
    void closeWindow() override;

    std::function<void()> m_loadMainWindow;
    std::function<void()> m_showMainWindow;
    Splash m_logic;
    bool m_activated = false;

    QGroupBox *m_frame = nullptr;
    QLabel *m_logo = nullptr;
    QLabel *m_product = nullptr;
    QLabel *m_credit = nullptr;
    QLabel *m_step = nullptr;
    QProgressBar *m_bar = nullptr;
};

} // namespace zelmo
