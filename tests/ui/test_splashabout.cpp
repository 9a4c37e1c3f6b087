// The splash window and the About box as a user sees them: layout, texts, fonts, colours, and
// one real run of the splash from its load to the hand-over.

#include "ui/aboutbox.h"
#include "ui/splashscreen.h"

#include "core/appstate.h"
#include "support/printers.h"
#include "support/waituntil.h"
#include "ui/twips.h"

#include <QElapsedTimer>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>

#include <gtest/gtest.h>

using namespace zelmo;

namespace {

template <typename T> T *child(const QWidget &window, const char *name)
{
    T *w = window.findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

// Every named control says what it is (a label by its text and description), and no text
// runs past its label.
void expectNamedAndUnclipped(const QWidget &window)
{
    for (const QWidget *w : window.findChildren<QWidget *>()) {
        if (w->objectName().isEmpty() || w->objectName().startsWith(QLatin1String("qt_")))
            continue;
        const auto *label = qobject_cast<const QLabel *>(w);
        EXPECT_FALSE(w->accessibleName().isEmpty() &&
                     !(label && !w->accessibleDescription().isEmpty()))
            << w->objectName();
        if (label && !label->wordWrap()) {
            EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), label->width())
                << label->objectName();
        }
    }
}

} // namespace

TEST(SplashWindowTest, HasItsLayoutAndHandsOverAboutASecondAfterTheStartUp)
{
    AppState state;
    int loads = 0;
    QElapsedTimer sinceLoad;
    qint64 shownAfter = -1;
    SplashScreen splash(
        [&] {
            ++loads;
            state.startupStep = QStringLiteral("Getting Status info");
            state.startupProgress = 200;
            state.startupDone = true;
            sinceLoad.start();
        },
        [&] { shownAfter = sinceLoad.elapsed(); }, state);

    EXPECT_TRUE(splash.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(splash.windowType(), Qt::SplashScreen);
    EXPECT_EQ(splash.size(), twipsSize(4065, 3360, &splash));
    EXPECT_EQ(child<QGroupBox>(splash, "frame")->geometry(), twipsRect(120, 120, 3825, 3090));
    EXPECT_EQ(child<QLabel>(splash, "logo")->pixmap(Qt::ReturnByValue).size(), QSize(236, 60));
    const QString product = QStringLiteral("MSN Messenger") + QString(22, QLatin1Char(' ')) +
                            QStringLiteral("Zelmo Extensions");
    auto *productLabel = child<QLabel>(splash, "product");
    EXPECT_EQ(productLabel->text(), product);
    EXPECT_TRUE(productLabel->wordWrap());
    EXPECT_TRUE(productLabel->font().bold());
    EXPECT_DOUBLE_EQ(productLabel->font().pointSizeF(), 11.25);
    auto *stepLabel = child<QLabel>(splash, "step");
    EXPECT_EQ(stepLabel->text(), QStringLiteral("Loading ..."));
    auto *bar = child<QProgressBar>(splash, "bar");
    EXPECT_EQ(bar->maximum(), 240);
    expectNamedAndUnclipped(splash);

    splash.show();
    EXPECT_TRUE(test::waitUntil([&] { return shownAfter >= 0; }, 6000));
    EXPECT_EQ(loads, 1);
    EXPECT_GE(shownAfter, 900) << "the third hand-over tick, not the first";
    EXPECT_EQ(bar->value(), 200);
    EXPECT_EQ(stepLabel->text(), QStringLiteral("Getting Status info"));
    EXPECT_FALSE(splash.isVisible());
    EXPECT_FALSE(splash.logic().handOverTimerRunning());
}

TEST(SplashWindowTest, TheShutdownClosesAShownSplash)
{
    AppState state;
    SplashScreen splash([] {}, [] {}, state);
    splash.show();
    splash.closeFromShutdown();
    EXPECT_FALSE(splash.isVisible());
    EXPECT_FALSE(splash.logic().checkTimerRunning() || splash.logic().handOverTimerRunning());
}

TEST(AboutBoxTest, ShowsItsLabelsInTheirFontsAndColours)
{
    AboutBox about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Zelmo Extensions"));
    EXPECT_EQ(about.size(), twipsSize(4140, 2340, &about));
    EXPECT_TRUE(about.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(about.windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(about.palette().color(QPalette::Window), AboutBox::desktopColour());
    expectNamedAndUnclipped(about);

    struct Expected {
        const char *name;
        qreal points;
        bool bold, italic;
        QColor colour;
    };
    const QPalette system = about.palette();
    const Expected labels[] = {
        {"writtenBy", 9.75, false, true, QColor(255, 255, 128)},
        {"author", 15.75, true, true, system.color(QPalette::ToolTipBase)},
        {"copyright", 6.75, false, false, system.color(QPalette::HighlightedText)},
        {"rights", 8.25, false, false, system.color(QPalette::HighlightedText)},
    };
    for (const Expected &e : labels) {
        auto *label = child<QLabel>(about, e.name);
        EXPECT_EQ(label->font().family(), QStringLiteral("Arial")) << e.name;
        EXPECT_DOUBLE_EQ(label->font().pointSizeF(), e.points) << e.name;
        EXPECT_EQ(label->font().bold(), e.bold) << e.name;
        EXPECT_EQ(label->font().italic(), e.italic) << e.name;
        EXPECT_EQ(label->palette().color(label->foregroundRole()), e.colour) << e.name;
        EXPECT_FALSE(label->autoFillBackground()) << e.name;
    }
    // The name is as large as its box allows, up to its design size.
    auto *productLabel = child<QLabel>(about, "product");
    EXPECT_EQ(productLabel->text(), QStringLiteral("Zelmo Extensions v 1.0"));
    EXPECT_EQ(productLabel->geometry(), twipsRect(360, 120, 2775, 615, &about));
    EXPECT_LE(productLabel->font().pointSizeF(), 26.25);
    if (productLabel->font().pointSizeF() < 26.25) {
        QFont larger = productLabel->font();
        larger.setPointSizeF(larger.pointSizeF() + 0.75);
        EXPECT_GT(QFontMetrics(larger).horizontalAdvance(productLabel->text()),
                  productLabel->width());
    }
    EXPECT_EQ(productLabel->palette().color(productLabel->foregroundRole()),
              system.color(QPalette::Light));
}
