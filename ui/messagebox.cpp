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

void MessageBox::information(QWidget *parent, const QString &title, const QString &text)
{
    if (observer()) {
        observer()(title, text);
        return;
    }
    QMessageBox::information(parent, title, text, QMessageBox::Ok);
}

void MessageBox::warning(QWidget *parent, const QString &title, const QString &text)
{
    if (observer()) {
        observer()(title, text);
        return;
    }
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
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
