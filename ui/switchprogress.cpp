#include "ui/switchprogress.h"

#include "core/appstate.h"
#include "ui/twips.h"

#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QTimer>

namespace zelmo {

SwitchProgress::SwitchProgress(AppState &state, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_state(state)
{
    setObjectName(QStringLiteral("switchProgress"));
    setWindowTitle(title());
    setFont(arialFont(8.25));
    setFixedSize(twipsSize(3495, 645, this));

    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("bar"));
    m_bar->setAccessibleName(QStringLiteral("Progress"));
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);
    placeTwips(m_bar, 120, 75, 3255, 255);

    m_waitLabel = new QLabel(QStringLiteral("Changing status. Please wait ..."), this);
    m_waitLabel->setObjectName(QStringLiteral("waitLabel"));
    m_waitLabel->setAlignment(Qt::AlignCenter);
    placeTwips(m_waitLabel, 120, 360, 3255, 225);

    m_ticker = new QTimer(this);
    m_ticker->setObjectName(QStringLiteral("ticker"));
    m_ticker->setInterval(tickInterval);
    connect(m_ticker, &QTimer::timeout, this, &SwitchProgress::tick);

    centreOnScreen(this);
    start();
}

void SwitchProgress::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    // A thin line keeps the borderless window from melting into what lies behind it.
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void SwitchProgress::start()
{
    progress = 0;
    m_ticker->start();
}

void SwitchProgress::tick()
{
    if (m_state.switchCompleted) {
        m_state.switchCompleted = false;
        m_bar->setValue(100);
        m_ticker->stop();
        close();
        return;
    }
    if (progress > 90)
        progress = 90;
    m_bar->setValue(progress);
    progress += 5;
}

} // namespace zelmo
