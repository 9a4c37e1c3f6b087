#include "ui/systemtray.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

namespace zelmo {

SystemTray::SystemTray(const QIcon &icon, QObject *parent)
    : QObject(parent)
    , m_icon(new QSystemTrayIcon(icon, this))
    , mnuSystray(new QMenu)
{
    mnuSystray->setObjectName(QStringLiteral("mnuSystray"));
    mnuSystray->setTitle(QStringLiteral("Systray"));
    QAction *mnuRestore = mnuSystray->addAction(Tray::restoreText());
    mnuRestore->setObjectName(QStringLiteral("mnuRestore"));
    QAction *mnuRecord = mnuSystray->addAction(Tray::recordText());
    mnuRecord->setObjectName(QStringLiteral("mnuRecord"));
    connect(mnuRecord, &QAction::triggered, this, &SystemTray::recordChosen);
    QAction *spacer = mnuSystray->addSeparator();
    spacer->setObjectName(QStringLiteral("Spacer1"));
    QAction *mnuexit = mnuSystray->addAction(Tray::exitText());
    mnuexit->setObjectName(QStringLiteral("mnuexit"));
    connect(mnuRestore, &QAction::triggered, this, &SystemTray::restoreChosen);
    connect(mnuexit, &QAction::triggered, this, &SystemTray::exitChosen);

    // The right button opens the menu; a single click or a mere press does nothing.
    m_icon->setContextMenu(mnuSystray);
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick)
                    Q_EMIT doubleClicked();
            });
}

SystemTray::~SystemTray()
{
    m_icon->hide();
    delete mnuSystray;
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
