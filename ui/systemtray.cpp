#include "ui/systemtray.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

namespace zelmo {

SystemTray::SystemTray(const QIcon &icon, QObject *parent)
    : QObject(parent)
    , m_icon(new QSystemTrayIcon(icon, this))
    , m_menu(new QMenu)
{
    m_menu->setObjectName(QStringLiteral("trayMenu"));
    m_menu->setTitle(QStringLiteral("Systray"));
    QAction *restoreItem = m_menu->addAction(Tray::restoreText());
    restoreItem->setObjectName(QStringLiteral("restoreItem"));
    QAction *recordItem = m_menu->addAction(Tray::recordText());
    recordItem->setObjectName(QStringLiteral("recordItem"));
    connect(recordItem, &QAction::triggered, this, &SystemTray::recordChosen);
    QAction *spacer = m_menu->addSeparator();
    spacer->setObjectName(QStringLiteral("separator"));
    QAction *exitItem = m_menu->addAction(Tray::exitText());
    exitItem->setObjectName(QStringLiteral("exitItem"));
    connect(restoreItem, &QAction::triggered, this, &SystemTray::restoreChosen);
    connect(exitItem, &QAction::triggered, this, &SystemTray::exitChosen);

    // The right button opens the menu; a single click or a mere press does nothing.
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick)
                    Q_EMIT doubleClicked();
            });
}

SystemTray::~SystemTray()
{
    m_icon->hide();
    delete m_menu;
}

bool SystemTray::isAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void SystemTray::showIcon(const QString &tip)
{
    m_icon->setToolTip(tip);
    m_icon->show();
}

void SystemTray::removeIcon()
{
    m_icon->hide();
}

bool SystemTray::isShown() const
{
    return m_icon->isVisible();
}

QString SystemTray::tip() const
{
    return m_icon->toolTip();
}

} // namespace zelmo
