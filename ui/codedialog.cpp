#include "ui/codedialog.h"

#include "core/authorizationcode.h"
#include "ui/messagebox.h"
#include "ui/twips.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

#include <utility>

namespace zelmo {

namespace {

// The character a key press types, as the key handlers see it, or 0 for a key that types
// none. Backspace and Enter count as characters whatever the platform reports; Delete,
// which X11 reports with a DEL character, is an editing key.
char16_t characterCode(const QKeyEvent *key)
{
    switch (key->key()) {
    case Qt::Key_Backspace:
        return u'\b';
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return u'\r';
    case Qt::Key_Delete:
        return 0;
    default:
        break;
    }
    const QString text = key->text();
    return text.isEmpty() ? 0 : text.at(0).unicode();
}

void name(QWidget *widget, const QString &objectName, const QString &accessibleName)
{
    widget->setObjectName(objectName);
    widget->setAccessibleName(accessibleName);
}

} // namespace

CodeDialog::CodeDialog(AuthorizationCode &code, QWidget *parent)
    : QDialog(parent)
    , m_code(code)
    , m_codeLabel(new QLabel(tr("Authorized Password:"), this))
    , m_codeField(new QLineEdit(this))
    , m_setButton(new QPushButton(tr("&Set"), this))
    , m_cancelButton(new QPushButton(tr("&Cancel"), this))
{
    setWindowTitle(tr("Zelmo Extensions - View/Change Auth Password"));
    setFont(arialFont(8.25));
    resize(twipsSize(4710, 510, this));

    name(m_codeLabel, QStringLiteral("codeLabel"), tr("Authorized Password"));
    name(m_codeField, QStringLiteral("codeField"), tr("Authorized password"));
    name(m_setButton, QStringLiteral("setButton"), tr("Set"));
    name(m_cancelButton, QStringLiteral("cancelButton"), tr("Cancel"));
    m_codeLabel->setBuddy(m_codeField);
    placeTwips(m_codeLabel, 120, 120, 1695, 255);
    placeTwips(m_codeField, 1920, 120, 615, 285);
    placeTwips(m_setButton, 2760, 120, 855, 315);
    placeTwips(m_cancelButton, 3720, 120, 855, 315);

    // Enter must press nothing, so no button may become the default.
    m_setButton->setAutoDefault(false);
    m_cancelButton->setAutoDefault(false);
    // Typed text has to pass the key rules as key presses, and nothing may be dropped in.
    m_codeField->setAttribute(Qt::WA_InputMethodEnabled, false);
    m_codeField->setAcceptDrops(false);

    setTabOrder(m_codeField, m_setButton);
    setTabOrder(m_setButton, m_cancelButton);
    m_codeField->setFocus();

    // The window sees every key before its controls do.
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);

    connect(m_setButton, &QPushButton::clicked, this, &CodeDialog::saveCode);
    connect(m_cancelButton, &QPushButton::clicked, this, &CodeDialog::cancel);

    start();
}

bool CodeDialog::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::WindowDeactivate:
        // The window that takes over is already active; none means another program.
        m_focusWithOwnWindow = QApplication::activeWindow() != nullptr;
        break;
    case QEvent::WindowActivate:
        // Coming back from a message box must leave the field as the user left it.
        if (!std::exchange(m_focusWithOwnWindow, false))
            windowActivated();
        break;
    default:
        break;
    }
    return QDialog::event(event);
}

bool CodeDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *press = static_cast<QKeyEvent *>(event);
        if (press->key() == Qt::Key_Tab || press->key() == Qt::Key_Backtab)
            return false;
        if (press->key() == Qt::Key_Escape) {
            cancel();
            return true;
        }
        char16_t key = characterCode(press);
        if (key == 0)
            return false;
        filterDialogKey(key);
        if (key != 0 && watched == m_codeField)
            filterCodeKey(key);
        return key == 0;
    }
    if (watched == m_codeField && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && m_codeField->rect().contains(mouse->pos()))
            codeFieldClicked();
    }
    return QDialog::eventFilter(watched, event);
}

void CodeDialog::showEvent(QShowEvent *event)
{
    {
        const CentredShow centred(this, event);
        QDialog::showEvent(event);
    }
    if (!event->spontaneous())
        windowActivated();
}

void CodeDialog::start()
{
    m_codeField->setMaxLength(5);
}

void CodeDialog::windowActivated()
{
    m_codeField->setText(m_code.stored());
}

void CodeDialog::filterDialogKey(char16_t &key)
{
    if (key < u'0' || key > u'9')
        return;
    // Digits go to the end wherever the caret is.
    if (m_codeField->text().size() < m_codeField->maxLength())
        m_codeField->setText(m_codeField->text() + QChar(key));
    key = 0;
}

void CodeDialog::filterCodeKey(char16_t &key)
{
    key = 0;
}

void CodeDialog::codeFieldClicked()
{
    m_codeField->clear();
}

void CodeDialog::saveCode()
{
    switch (m_code.set(m_codeField->text())) {
    case AuthorizationCode::SetResult::Stored:
        accept();
        break;
    case AuthorizationCode::SetResult::NotSaved:
        MessageBox::warning(
            this, applicationTitle(),
            tr("The new code is in force now, but it could not be saved for the next start."));
        accept();
        break;
    case AuthorizationCode::SetResult::Refused:
        MessageBox::information(this, applicationTitle(), tr("Please insert a 5 digit code!"));
        break;
    }
}

void CodeDialog::cancel()
{
    reject();
}

} // namespace zelmo
