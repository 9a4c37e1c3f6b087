#include "ui/aboutbox.h"

#include "ui/twips.h"

#include <QFontMetrics>
#include <QLabel>
#include <QShowEvent>

namespace zelmo {

namespace {

// A label that lets the About box's background show through.
QLabel *aboutLabel(QWidget *parent, const char *name, const QString &accessibleName,
                   const QString &text, const QFont &font)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    // The text is what a screen reader reads (it changes during the start-up); the
    // description says what it is.
    label->setAccessibleDescription(accessibleName);
    label->setTextFormat(Qt::PlainText);
    label->setAutoFillBackground(false);
    label->setFont(font);
    return label;
}

QFont styled(qreal points, bool bold, bool italic)
{
    QFont font = arialFont(points);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

// The name was laid out for 26.25 pt, at which "Zelmo Extensions v 1.0" is wider than the
// whole window: it keeps its place and steps down in size until it fits its one line.
QFont fittedFont(QFont font, const QString &text, int width)
{
    constexpr qreal smallest = 8.25;
    while (font.pointSizeF() > smallest && QFontMetrics(font).horizontalAdvance(text) > width)
        font.setPointSizeF(font.pointSizeF() - 0.75);
    return font;
}

} // namespace

AboutBox::AboutBox(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("aboutBox"));
    setWindowTitle(title());
    setFixedSize(twipsSize(4140, 2340, this));
    QPalette background = palette();
    background.setColor(QPalette::Window, desktopColour());
    setPalette(background);
    setAutoFillBackground(true);

    m_product = aboutLabel(this, "product", QStringLiteral("Product and version"), productText(),
                           styled(26.25, false, false));
    m_product->setForegroundRole(QPalette::Light);
    placeTwips(m_product, 360, 120, 2775, 615);
    m_product->setFont(fittedFont(m_product->font(), m_product->text(), m_product->width()));

    m_writtenBy = aboutLabel(this, "writtenBy", QStringLiteral("Written by"), QStringLiteral("by"),
                             styled(9.75, false, true));
    QPalette yellow = m_writtenBy->palette();
    yellow.setColor(QPalette::WindowText, creditColour());
    m_writtenBy->setPalette(yellow);
    placeTwips(m_writtenBy, 1440, 840, 495, 375);

    m_author = aboutLabel(this, "author", QStringLiteral("Author"), QStringLiteral("Zelmo Team"),
                          styled(15.75, true, true));
    m_author->setForegroundRole(QPalette::ToolTipBase);
    placeTwips(m_author, 1560, 1080, 2295, 375);

    m_copyright = aboutLabel(this, "copyright", QStringLiteral("Copyright"),
                             QStringLiteral("Copyright (C) 2026 The Zelmo Team."),
                             styled(6.75, false, false));
    m_copyright->setForegroundRole(QPalette::HighlightedText);
    placeTwips(m_copyright, 1560, 1680, 2655, 255);

    m_rights = aboutLabel(this, "rights", QStringLiteral("Rights"),
                          QStringLiteral("All rights reserved."), styled(8.25, false, false));
    m_rights->setForegroundRole(QPalette::HighlightedText);
    placeTwips(m_rights, 1560, 1920, 1455, 255);
}

void AboutBox::showEvent(QShowEvent *event)
{
    // QDialog would centre the box over its parent; the window manager places it instead,
    // as it does any new window.
    QWidget::showEvent(event);
}

} // namespace zelmo
