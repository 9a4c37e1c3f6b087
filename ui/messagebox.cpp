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

void showAndWait(QMessageBox::Icon icon, QWidget *parent, const QString &title, const QString &text)
{
    if (observer()) {
        observer()(title, text);
        return;
    }
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    // A box blocks the window it belongs to, not the tray icon or the other windows.
    if (parent)
        box.setWindowModality(Qt::WindowModal);
    box.exec();
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
    if (observer()) {
        observer()(title, text);
        return true;
    }
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    if (parent)
        box.setWindowModality(Qt::WindowModal);
    return box.exec() == QMessageBox::Yes;
}

void MessageBox::warningLater(QWidget *parent, const QString &title, const QString &text)
{
    if (observer()) {
        observer()(title, text);
        return;
    }
    auto *box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

void MessageBox::setObserver(Observer o)
{
    observer() = std::move(o);
}

} // namespace zelmo
