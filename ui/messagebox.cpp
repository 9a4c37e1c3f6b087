#include "ui/messagebox.h"

#include <QMessageBox>

namespace zelmo {

namespace {
MessageBox::Observer &observer()
{
    static MessageBox::Observer instance;
    return instance;
}
} // namespace

QString applicationTitle()
{
    return QStringLiteral("Zelmo Extensions");
}

namespace {

// The button pressed; with an observer, the default one.
QMessageBox::StandardButton showAndWait(QMessageBox::Icon icon, QWidget *parent,
                                        const QString &title, const QString &text,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                        QMessageBox::StandardButton defaultButton = QMessageBox::Ok)
{
    if (observer()) {
        observer()(title, text);
        return defaultButton;
    }
    QMessageBox box(icon, title, text, buttons, parent);
    box.setDefaultButton(defaultButton);
    // A box blocks the window it belongs to, not the tray icon or the other windows.
    if (parent)
        box.setWindowModality(Qt::WindowModal);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace

void MessageBox::information(QWidget *parent, const QString &title, const QString &text)
{
    showAndWait(QMessageBox::Information, parent, title, text);
}

void MessageBox::warning(QWidget *parent, const QString &title, const QString &text)
{
    showAndWait(QMessageBox::Warning, parent, title, text);
}

bool MessageBox::question(QWidget *parent, const QString &title, const QString &text)
{
    // Observed, a question counts as answered Yes, so that tests reach what follows.
    if (observer()) {
        observer()(title, text);
        return true;
    }
    return showAndWait(QMessageBox::Question, parent, title, text,
                       QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void MessageBox::warningLater(QWidget *parent, const QString &title, const QString &text)
{
    if (observer()) {
        observer()(title, text);
        return;
    }
    auto *box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // A message box makes itself application modal; this one must not block anything.
    box->setWindowModality(Qt::NonModal);
    box->show();
}

void MessageBox::setObserver(Observer o)
{
    observer() = std::move(o);
}

} // namespace zelmo
