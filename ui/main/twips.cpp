#include "ui/main/twips.h"

#include <QGuiApplication>
#include <QScreen>
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

} // namespace zelmo
