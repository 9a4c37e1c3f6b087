#pragma once

#include "core/tray.h"

#include <QObject>

class QIcon;
class QMenu;
class QSystemTrayIcon;

namespace zelmo {

// The tray icon on the desktop's notification area, with its pop-up menu
// ("Restore / Open Zelmo", a separator, "Exit Program").
class SystemTray : public QObject, public TrayIcon {
    Q_OBJECT
public:
    explicit SystemTray(const QIcon &icon, QObject *parent = nullptr);
    ~SystemTray() override;

    bool isAvailable() const override;
    void showIcon(const QString &tip) override;
    void removeIcon() override;

    bool isShown() const;
    QString tip() const;
    QMenu *menu() const { return m_menu; }

Q_SIGNALS:
    void doubleClicked();
    void restoreChosen();
    void exitChosen();
    void recordChosen();

private:
    QSystemTrayIcon *m_icon = nullptr;
    QMenu *m_menu = nullptr; // no parent widget: a tray menu belongs to no window
};

} // namespace zelmo
