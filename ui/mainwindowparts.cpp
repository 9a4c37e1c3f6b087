#include "ui/mainwindowparts.h"

#include <QPainter>
#include <QStyleOptionSlider>

namespace zelmo {

void SteadyScrollBar::sliderChange(SliderChange change)
{
    if (m_painted && *m_painted == look())
        return;
    QScrollBar::sliderChange(change);
}

void SteadyScrollBar::paintEvent(QPaintEvent *event)
{
    // Whatever made this paint (a resize, a new style, a hover), this is now on screen.
    m_painted = look();
    QScrollBar::paintEvent(event);
}

SteadyScrollBar::Look SteadyScrollBar::look() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return {
        style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
        option.sliderValue == option.minimum, option.sliderValue == option.maximum, isEnabled()};
}

void FrameBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QFontMetrics metrics(font());
    // The border runs through the middle of the caption, etched: a shadow, then a light.
    const QRect border = rect().adjusted(0, metrics.height() / 2, -2, -2);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(border);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(border.translated(1, 1));
    const QRect caption(metrics.averageCharWidth(), 0,
                        metrics.horizontalAdvance(title()) + 2 * captionPadding, metrics.height());
    painter.fillRect(caption, palette().window());
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(caption, Qt::AlignCenter, title());
}

} // namespace zelmo
