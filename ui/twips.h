#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

class QShowEvent;
class QWidget;

namespace zelmo {

// Layouts are given in twips: 1440 to the inch, so 15 to the pixel at 96 dpi. These scale
// by the real dpi of the screen the widget is on.
int twipsToPixels(int twips, const QWidget *widget = nullptr);
QRect twipsRect(int left, int top, int width, int height, const QWidget *widget = nullptr);
QSize twipsSize(int width, int height, const QWidget *widget = nullptr);
// Places a child widget at a rectangle given in twips.
void placeTwips(QWidget *child, int left, int top, int width, int height);

// The windows' layouts were drawn for Arial; wider desktop fonts would clip their texts.
QFont arialFont(qreal points);
// Centres a window, frame included, on the available area of its screen.
void centreOnScreen(QWidget *window);

// Held around a dialog's QDialog::showEvent: the dialog opens centred on the screen, not over
// the main window, which may be hidden in the tray; and again each time it is shown, unless
// the user has moved it meanwhile.
class CentredShow {
public:
    CentredShow(QWidget *window, const QShowEvent *event);
    ~CentredShow();
    CentredShow(const CentredShow &) = delete;
    CentredShow &operator=(const CentredShow &) = delete;

private:
    QWidget *m_window;
    bool m_centre;
};

} // namespace zelmo
