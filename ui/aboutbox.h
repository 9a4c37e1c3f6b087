#pragma once

#include <QColor>
#include <QDialog>

class QLabel;

namespace zelmo {

// The About box: the product name and version, the author credit and the copyright notice.
// No buttons; the user closes it with the close box (or Esc). Opened modally from the main
// window's menu.
class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget *parent = nullptr);

    static QString title() { return QStringLiteral("About Zelmo Extensions"); }
    static QString productText() { return QStringLiteral("Zelmo Extensions v 1.0"); }
    // Qt has no desktop colour role: this is the blue-grey of the classic desktop background.
    static QColor desktopColour() { return QColor(0x3A, 0x6E, 0xA5); }
    static QColor creditColour() { return QColor(255, 255, 128); }

protected:
    void showEvent(QShowEvent *event) override;

private:
    QLabel *m_product = nullptr;
    QLabel *m_writtenBy = nullptr;
    QLabel *m_author = nullptr;
    QLabel *m_copyright = nullptr;
    QLabel *m_rights = nullptr;
};

} // namespace zelmo
