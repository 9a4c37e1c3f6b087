#include "core/tray.h"

namespace zelmo {

Tray::Tray(TrayIcon &icon, TrayWindow &window)
    : m_icon(icon)
    , m_window(window)
{
}

void Tray::windowResized(bool minimised)
{
    if (!minimised) {
        // A window manager may report a state change while the window is hidden in the tray;
        // the icon is then the only way back, and it goes only once the window shows again.
        if (m_window.isShown())
            removeIcon();
        return;
    }
    // Without a notification area a hidden window could never be brought back: it stays
    // minimised in the task bar instead.
    if (!m_icon.isAvailable())
        return;
    m_window.hideWindow();
    m_icon.showIcon(m_window.currentTitle());
    m_inTray = true;
}

void Tray::iconDoubleClicked()
{
    restore();
}

void Tray::restoreChosen()
{
    restore();
}

void Tray::restore()
{
    m_window.restoreWindow();
    removeIcon();
}

void Tray::exitChosen()
{
    // Closing the window runs the shutdown, which removes the icon and ends the program.
    m_window.closeWindow();
}

void Tray::removeIcon()
{
    m_icon.removeIcon();
    m_inTray = false;
}

} // namespace zelmo
