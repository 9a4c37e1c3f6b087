#include "ui/splashscreen.h"

#include "core/appstate.h"
#include "ui/twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QTimer>
#include <qdrawutil.h>

#include <utility>

// The picture lives in this static library: it must be registered before first use.
static void initSplashResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace zelmo {

namespace {

QLabel *label(QWidget *parent, const QString &objectName, const QString &accessibleName,
              const QString &text)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(objectName);
    // The text is what a screen reader reads (it changes during the start-up); the
    // description says what it is.
    l->setAccessibleDescription(accessibleName);
    l->setTextFormat(Qt::PlainText);
    return l;
}

} // namespace

QString SplashScreen::productText()
{
    // The blanks push the second name onto the label's second line.
    return QStringLiteral("MSN Messenger") + QString(22, QLatin1Char(' ')) +
           QStringLiteral("Zelmo Extensions");
}

SplashScreen::SplashScreen(std::function<void()> loadMainWindow,
                           std::function<void()> showMainWindow, const AppState &state,
                           QWidget *parent)
    // A splash screen has no title bar and stays out of the task bar.
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
    , m_loadMainWindow(std::move(loadMainWindow))
    , m_showMainWindow(std::move(showMainWindow))
    , m_logic(*this, state)
{
    initSplashResources();
    setObjectName(QStringLiteral("splashScreen"));
    setAccessibleName(QStringLiteral("Zelmo Extensions is starting"));
    setFont(arialFont(8.25));
    setFixedSize(twipsSize(4065, 3360, this));

    m_frame = new QGroupBox(this);
    m_frame->setObjectName(QStringLiteral("frame"));
    m_frame->setAccessibleName(QStringLiteral("Start-up"));
    QPalette menuColours = m_frame->palette();
    menuColours.setColor(QPalette::Window,
                         QApplication::palette("QMenu").color(QPalette::Active, QPalette::Window));
    m_frame->setPalette(menuColours);
    m_frame->setAutoFillBackground(true);
    placeTwips(m_frame, 120, 120, 3825, 3090);

    m_logo = label(m_frame, QStringLiteral("logo"), QStringLiteral("Zelmo Extensions logo"), {});
    m_logo->setPixmap(QPixmap(QStringLiteral(":/zelmo/splash.png")));
    placeTwips(m_logo, 120, 240, 3540, 900);

    m_product = label(m_frame, QStringLiteral("product"), QStringLiteral("Product"), productText());
    QFont bold = arialFont(11.25);
    bold.setBold(true);
    m_product->setFont(bold);
    m_product->setForegroundRole(QPalette::Highlight);
    m_product->setWordWrap(true);
    m_product->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    placeTwips(m_product, 1080, 1440, 2535, 495);

    m_credit = label(m_frame, QStringLiteral("credit"), QStringLiteral("Author"), creditText());
    placeTwips(m_credit, 2040, 2040, 1695, 255);

    m_step = label(m_frame, QStringLiteral("step"), QStringLiteral("Start-up step"),
                   QStringLiteral("Loading ..."));
    m_step->setAlignment(Qt::AlignCenter);
    m_step->setForegroundRole(QPalette::Highlight);
    placeTwips(m_step, 360, 2520, 3255, 255);

    m_bar = new QProgressBar(m_frame);
    m_bar->setObjectName(QStringLiteral("bar"));
    m_bar->setAccessibleName(QStringLiteral("Start-up progress"));
    m_bar->setRange(0, Splash::fullProgress);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);
    placeTwips(m_bar, 885, 2760, 2175, 255);

    centreOnScreen(this);
    m_logic.start();
}

void SplashScreen::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Window managers need not activate a splash screen: the first activation is not left
    // to them.
    if (!m_activated)
        QTimer::singleShot(0, this, [this] {
            if (!m_activated)
                windowActivated();
        });
}

void SplashScreen::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        windowActivated();
}

void SplashScreen::windowActivated()
{
    const bool first = !m_activated;
    m_activated = true;
    // The start-up blocks the event loop: paint once before it, so that the window is not an
    // empty rectangle meanwhile.
    if (first)
        repaint();
    m_logic.windowActivated();
}

void SplashScreen::closeEvent(QCloseEvent *event)
{
    // The splash goes with its hand-over. Closed by the user before it, it would leave the
    // program running with no window at all.
    if (event->spontaneous()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
    m_logic.stop();
}

void SplashScreen::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    // The fixed dialog border, drawn inside the window as it has no frame of its own.
    QPainter painter(this);
    qDrawWinPanel(&painter, rect(), palette(), false);
}

void SplashScreen::setProgressValue(qint32 value)
{
    m_bar->setValue(value);
}

void SplashScreen::setStepText(const QString &text)
{
    m_step->setText(text);
}

void SplashScreen::loadMainWindow()
{
    if (m_loadMainWindow)
        m_loadMainWindow();
}

void SplashScreen::showMainWindow()
{
    if (m_showMainWindow)
        m_showMainWindow();
}

void SplashScreen::closeWindow()
{
    close();
}

} // namespace zelmo
