#pragma once

#include <QString>

namespace zelmo {

// The icon in the desktop's notification area, as the logic needs it.
class TrayIcon {
public:
    virtual ~TrayIcon() = default;
    // False on a desktop without a notification area (no tray host running).
    virtual bool isAvailable() const = 0;
    virtual void showIcon(const QString &tip) = 0;
    virtual void removeIcon() = 0;
};

// What the tray needs of the main window.
class TrayWindow {
public:
    virtual ~TrayWindow() = default;
    virtual QString currentTitle() const = 0;
    virtual void hideWindow() = 0;
    virtual bool isShown() const = 0;
    // Shows the window in its normal state, in front.
    virtual void restoreWindow() = 0;
    virtual void closeWindow() = 0;
};

// Minimising hides the main window behind a tray icon; the icon brings it back or ends the
// program through its menu.
class Tray {
public:
    Tray(TrayIcon &icon, TrayWindow &window);

    static QString restoreText() { return QStringLiteral("Restore / Open Zelmo"); }
    static QString exitText() { return QStringLiteral("Exit Program"); }
    static QString recordText() { return QStringLiteral("While you were away..."); }

    // After every change of the window's state. The tip is the title of this moment and is
    // not updated while the window stays in the tray.
    void windowResized(bool minimised);
    // A double click on the icon.
    void iconDoubleClicked();
    void restoreChosen();
    void exitChosen();
    // The shutdown's last word on the tray.
    void removeIcon();

    bool inTray() const { return m_inTray; }

private:
    void restore();

    TrayIcon &m_icon;
    TrayWindow &m_window;
    bool m_inTray = false;
};

} // namespace zelmo
