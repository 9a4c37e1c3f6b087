#include "app/endreport.h"

#include "ui/form1.h"

#include <QApplication>
#include <QEvent>
#include <QTextStream>

namespace zelmo {

EndReport::EndReport(MessengerObject &messenger, std::function<QString()> reason, QObject *parent)
    : QObject(parent)
    , m_reason(std::move(reason))
{
    connect(&messenger, &MessengerObject::OnLogoff, this, &EndReport::tell);
    // The main window is made after the client, by code that does not know of this.
    qApp->installEventFilter(this);
}

EndReport::~EndReport() = default;

void EndReport::tell()
{
    const QString reason = m_reason();
    if (!m_told && !reason.isEmpty()) {
        m_told = true;
        QTextStream(stderr) << "zelmo: " << reason << "; ending.\n";
    }
    refreshLater();
}

void EndReport::refreshLater()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            const auto windows = QApplication::topLevelWidgets();
            for (QWidget *window : windows)
                refresh(window);
        },
        Qt::QueuedConnection);
}

void EndReport::refresh(QObject *window)
{
    // A window still being made sets its title before it has the text to add to.
    auto *form = qobject_cast<Form1 *>(window);
    if (!form || !form->isVisible())
        return;
    const QString reason = m_reason();
    if (reason.isEmpty())
        return;
    // Smaller than the program's own text, so that both fit the area.
    QString said = reason.toHtmlEscaped();
    said[0] = said[0].toUpper();
    form->setNotConnectedText(form->program().notConnectedText() +
                              QStringLiteral("<br><span style=\"font-size: 8pt\">") + said +
                              QStringLiteral("</span>"));
}

bool EndReport::eventFilter(QObject *watched, QEvent *event)
{
    // The not-connected display writes its fixed text, then the countdown sets the title:
    // the reason goes back under the text at once. Showing the window comes before the text,
    // so the reason follows once that handler is done.
    if (event->type() == QEvent::WindowTitleChange)
        refresh(watched);
    else if (event->type() == QEvent::Show && qobject_cast<Form1 *>(watched))
        refreshLater();
    return false;
}

} // namespace zelmo
