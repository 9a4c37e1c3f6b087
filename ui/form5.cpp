#include "ui/form5.h"

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

Form5::Form5(AuthorizationCode &code, QWidget *parent)
    : QDialog(parent)
    , m_code(code)
    , Label1(new QLabel(tr("Authorized Password:"), this))
    , Text1(new QLineEdit(this))
    , Command1(new QPushButton(tr("&Set"), this))
    , Command2(new QPushButton(tr("&Cancel"), this))
{
    setWindowTitle(tr("Zelmo Extensions - View/Change Auth Password"));
    setFont(arialFont(8.25));
    resize(twipsSize(4710, 510, this));

    name(Label1, QStringLiteral("Label1"), tr("Authorized Password"));
    name(Text1, QStringLiteral("Text1"), tr("Authorized password"));
    name(Command1, QStringLiteral("Command1"), tr("Set"));
    name(Command2, QStringLiteral("Command2"), tr("Cancel"));
    Label1->setBuddy(Text1);
    placeTwips(Label1, 120, 120, 1695, 255);
    placeTwips(Text1, 1920, 120, 615, 285);
    placeTwips(Command1, 2760, 120, 855, 315);
    placeTwips(Command2, 3720, 120, 855, 315);

    // Enter must press nothing, so no button may become the default.
    Command1->setAutoDefault(false);
    Command2->setAutoDefault(false);
    // Typed text has to pass the key rules as key presses, and nothing may be dropped in.
    Text1->setAttribute(Qt::WA_InputMethodEnabled, false);
    Text1->setAcceptDrops(false);

    setTabOrder(Text1, Command1);
    setTabOrder(Command1, Command2);
    Text1->setFocus();

    // The window sees every key before its controls do.
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);

    connect(Command1, &QPushButton::clicked, this, &Form5::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form5::Command2_Click);

    Form_Load();
}

bool Form5::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::WindowDeactivate:
        // The window that takes over is already active; none means another program.
        m_focusWithOwnWindow = QApplication::activeWindow() != nullptr;
        break;
    case QEvent::WindowActivate:
        // Coming back from a message box must leave the field as the user left it.
        if (!std::exchange(m_focusWithOwnWindow, false))
            Form_Activate();
        break;
    default:
        break;
    }
    return QDialog::event(event);
}

bool Form5::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)
            return false;
        if (key->key() == Qt::Key_Escape) {
            Command2_Click();
            return true;
        }
        char16_t KeyAscii = characterCode(key);
        if (KeyAscii == 0)
            return false;
        Form_KeyPress(KeyAscii);
        if (KeyAscii != 0 && watched == Text1)
            Text1_KeyPress(KeyAscii);
        return KeyAscii == 0;
    }
    if (watched == Text1 && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && Text1->rect().contains(mouse->pos()))
            Text1_Click();
    }
    return QDialog::eventFilter(watched, event);
}

void Form5::showEvent(QShowEvent *event)
{
    {
        const CentredShow centred(this, event);
        QDialog::showEvent(event);
    }
    if (!event->spontaneous())
        Form_Activate();
}

void Form5::Form_Load()
{
    Text1->setMaxLength(5);
}

void Form5::Form_Activate()
{
    Text1->setText(m_code.stored());
}

void Form5::Form_KeyPress(char16_t &KeyAscii)
{
    if (KeyAscii < u'0' || KeyAscii > u'9')
        return;
    // Digits go to the end wherever the caret is.
    if (Text1->text().size() < Text1->maxLength())
        Text1->setText(Text1->text() + QChar(KeyAscii));
    KeyAscii = 0;
}

void Form5::Text1_KeyPress(char16_t &KeyAscii)
{
    KeyAscii = 0;
}

void Form5::Text1_Click()
{
    Text1->clear();
}

void Form5::Command1_Click()
{
    switch (m_code.set(Text1->text())) {
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

void Form5::Command2_Click()
{
    reject();
}

} // namespace zelmo
