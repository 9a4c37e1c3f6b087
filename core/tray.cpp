#include "core/tray.h"

namespace zelmo {

Tray::Tray(TrayIcon &icon, TrayWindow &window)
    : m_icon(icon)
    , m_window(window)
{
}

void Tray::Form_Resize(bool minimised)
{
    if (!minimised) {
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
    m_window.restoreWindow();
}

void Tray::mnuRestore_Click()
{
    m_window.restoreWindow();
}

void Tray::mnuexit_Click()
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
