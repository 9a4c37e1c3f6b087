#include "ui/form6.h"

#include "core/appstate.h"
#include "ui/twips.h"

#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QTimer>

namespace zelmo {

Form6::Form6(AppState &state, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_state(state)
{
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(title());
    setFont(arialFont(8.25));
    setFixedSize(twipsSize(3495, 645, this));

    pb = new QProgressBar(this);
    pb->setObjectName(QStringLiteral("pb"));
    pb->setAccessibleName(QStringLiteral("Progress"));
    pb->setRange(0, 100);
    pb->setValue(0);
    pb->setTextVisible(false);
    placeTwips(pb, 120, 75, 3255, 255);

    Label1 = new QLabel(QStringLiteral("Changing status. Please wait ..."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    placeTwips(Label1, 120, 360, 3255, 225);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(tickInterval);
    connect(Timer1, &QTimer::timeout, this, &Form6::Timer1_Timer);

    centreOnScreen(this);
    Form_Load();
}

void Form6::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    // A thin line keeps the borderless window from melting into what lies behind it.
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void Form6::Form_Load()
{
    progress = 0;
    Timer1->start();
}

void Form6::Timer1_Timer()
{
    if (m_state.CurrStatus) {
        m_state.CurrStatus = false;
        pb->setValue(100);
        Timer1->stop();
        close();
        return;
    }
    if (progress > 90)
        progress = 90;
    pb->setValue(progress);
    progress += 5;
}

} // namespace zelmo
