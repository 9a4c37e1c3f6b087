#include "ui/frmsplash.h"

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

QString frmSplash::productText()
{
    // The blanks push the second name onto the label's second line.
    return QStringLiteral("MSN Messenger") + QString(22, QLatin1Char(' ')) +
           QStringLiteral("Zelmo Extensions");
}

frmSplash::frmSplash(std::function<void()> loadMainWindow, std::function<void()> showMainWindow,
                     const AppState &state, QWidget *parent)
    // A splash screen has no title bar and stays out of the task bar.
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
    , m_loadMainWindow(std::move(loadMainWindow))
    , m_showMainWindow(std::move(showMainWindow))
    , m_logic(*this, state)
{
    initSplashResources();
    setObjectName(QStringLiteral("frmSplash"));
    setAccessibleName(QStringLiteral("Zelmo Extensions is starting"));
    setFont(arialFont(8.25));
    setFixedSize(twipsSize(4065, 3360, this));

    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setAccessibleName(QStringLiteral("Start-up"));
    QPalette menuColours = Frame1->palette();
    menuColours.setColor(QPalette::Window,
                         QApplication::palette("QMenu").color(QPalette::Active, QPalette::Window));
    Frame1->setPalette(menuColours);
    Frame1->setAutoFillBackground(true);
    placeTwips(Frame1, 120, 120, 3825, 3090);

    Image1 = label(Frame1, QStringLiteral("Image1"), QStringLiteral("Zelmo Extensions logo"), {});
    Image1->setPixmap(QPixmap(QStringLiteral(":/zelmo/splash.png")));
    placeTwips(Image1, 120, 240, 3540, 900);

    Label2 = label(Frame1, QStringLiteral("Label2"), QStringLiteral("Product"), productText());
    QFont bold = arialFont(11.25);
    bold.setBold(true);
    Label2->setFont(bold);
    Label2->setForegroundRole(QPalette::Highlight);
    Label2->setWordWrap(true);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    placeTwips(Label2, 1080, 1440, 2535, 495);

    Label1 = label(Frame1, QStringLiteral("Label1"), QStringLiteral("Author"), creditText());
    placeTwips(Label1, 2040, 2040, 1695, 255);

    Label3 = label(Frame1, QStringLiteral("Label3"), QStringLiteral("Start-up step"),
                   QStringLiteral("Loading ..."));
    Label3->setAlignment(Qt::AlignCenter);
    Label3->setForegroundRole(QPalette::Highlight);
    placeTwips(Label3, 360, 2520, 3255, 255);

    pb = new QProgressBar(Frame1);
    pb->setObjectName(QStringLiteral("pb"));
    pb->setAccessibleName(QStringLiteral("Start-up progress"));
    pb->setRange(0, Splash::fullProgress);
    pb->setValue(0);
    pb->setTextVisible(false);
    placeTwips(pb, 885, 2760, 2175, 255);

    centreOnScreen(this);
    m_logic.Form_Load();
}

void frmSplash::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Window managers need not activate a splash screen: the first activation is not left
    // to them.
    if (!m_activated)
        QTimer::singleShot(0, this, [this] {
            if (!m_activated)
                Form_Activate();
        });
}

void frmSplash::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Form_Activate();
}

void frmSplash::Form_Activate()
{
    const bool first = !m_activated;
    m_activated = true;
    // The start-up blocks the event loop: paint once before it, so that the window is not an
    // empty rectangle meanwhile.
    if (first)
        repaint();
    m_logic.Form_Activate();
}

void frmSplash::closeEvent(QCloseEvent *event)
{
    // The splash goes with its hand-over. Closed by the user before it, it would leave the
    // program running with no window at all.
    if (event->spontaneous()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
    m_logic.Form_Unload();
}

void frmSplash::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    // The fixed dialog border, drawn inside the window as it has no frame of its own.
    QPainter painter(this);
    qDrawWinPanel(&painter, rect(), palette(), false);
}

void frmSplash::setProgressValue(qint32 value)
{
    pb->setValue(value);
}

void frmSplash::setStepText(const QString &text)
{
    Label3->setText(text);
}

void frmSplash::loadMainWindow()
{
    if (m_loadMainWindow)
        m_loadMainWindow();
}

void frmSplash::showMainWindow()
{
    if (m_showMainWindow)
        m_showMainWindow();
}

void frmSplash::closeWindow()
{
    close();
}

} // namespace zelmo
