#include "ui/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QWidget>

#include <cmath>

namespace zelmo {

namespace {
qreal dpiFor(const QWidget *widget)
{
    if (widget && widget->screen())
        return widget->screen()->logicalDotsPerInchX();
    if (QScreen *s = QGuiApplication::primaryScreen())
        return s->logicalDotsPerInchX();
    return 96.0;
}
} // namespace

int twipsToPixels(int twips, const QWidget *widget)
{
    return static_cast<int>(std::lround(twips * dpiFor(widget) / 1440.0));
}

QRect twipsRect(int left, int top, int width, int height, const QWidget *widget)
{
    return {twipsToPixels(left, widget), twipsToPixels(top, widget), twipsToPixels(width, widget),
            twipsToPixels(height, widget)};
}

QSize twipsSize(int width, int height, const QWidget *widget)
{
    return {twipsToPixels(width, widget), twipsToPixels(height, widget)};
}

void placeTwips(QWidget *child, int left, int top, int width, int height)
{
    child->setGeometry(twipsRect(left, top, width, height, child));
}

QFont arialFont(qreal points)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    return font;
}

void centreOnScreen(QWidget *window)
{
    // Before a window is first shown, its parent knows better which screen it will be on.
    const QWidget *placed = window->parentWidget() ? window->parentWidget() : window;
    const QScreen *screen = placed->screen() ? placed->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    window->move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter,
                                     window->frameGeometry().size(), screen->availableGeometry())
                     .topLeft());
}

CentredShow::CentredShow(QWidget *window, const QShowEvent *event)
    : m_window(window)
    , m_centre(!event->spontaneous() && !window->testAttribute(Qt::WA_Moved))
{
    if (m_centre)
        centreOnScreen(m_window);
}

CentredShow::~CentredShow()
{
    if (m_centre)
        m_window->setAttribute(Qt::WA_Moved, false);
}

} // namespace zelmo
