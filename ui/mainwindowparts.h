#pragma once

#include <QGroupBox>
#include <QScrollBar>

#include <optional>

namespace zelmo {

// A scroll bar that repaints only when what it shows changes. Every contact coming online
// moves the list's range by one row, which rarely moves the handle by a pixel; repainting
// the bar each time cost more than the rest of the update.
class SteadyScrollBar : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

protected:
    void sliderChange(SliderChange change) override;
    void paintEvent(QPaintEvent *event) override;

private:
    struct Look {
        QRect handle;
        bool atMinimum = false;
        bool atMaximum = false;
        bool enabled = false;
        bool operator==(const Look &) const = default;
    };
    Look look() const;

    std::optional<Look> m_painted;
};

// A frame with its caption in the top border, as a frame's caption is drawn; most Linux
// styles put a group box's title on a line of its own above the frame instead.
class FrameBox : public QGroupBox {
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    static constexpr int captionPadding = 2;
};

} // namespace zelmo
