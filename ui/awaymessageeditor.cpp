#include "ui/awaymessageeditor.h"

#include "ui/messagebox.h"
#include "ui/twips.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>
#include <limits>

namespace zelmo {

namespace {

// The desktop background of the system the layout was drawn for; Linux desktops publish none.
const QColor desktopColour(0x3a, 0x6e, 0xa5);

} // namespace

ContactCombo::ContactCombo(QWidget *parent)
    : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // The field and its list in the desktop colour, written in the colour of text windows.
    QPalette colours = palette();
    colours.setColor(QPalette::Text, colours.color(QPalette::Base));
    colours.setColor(QPalette::Base, desktopColour);
    setPalette(colours);

    // When the field loses the focus, QComboBox selects the entry its text matches, and the
    // inline completion makes a few typed letters match a whole name: the user would act on a
    // contact they never picked. Only a pick from the list selects.
    QObject::disconnect(lineEdit(), &QLineEdit::editingFinished, this, nullptr);
    lineEdit()->installEventFilter(this);
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { m_typedOver = true; });
    connect(this, QOverload<int>::of(&QComboBox::activated), this, [this] {
        m_typedOver = false;
        Q_EMIT picked();
    });
}

void ContactCombo::setEntries(const QStringList &entries)
{
    clear();
    addItems(entries);
    setCurrentIndex(-1);
    m_typedOver = false;
}

QString ContactCombo::highlightedEditText() const
{
    return lineEdit()->selectedText();
}

qint16 ContactCombo::selectedPosition() const
{
    if (m_typedOver)
        return -1;
    return static_cast<qint16>(std::min(currentIndex(), int{std::numeric_limits<qint16>::max()}));
}

void ContactCombo::selectPosition(qint16 position)
{
    m_typedOver = false;
    if (position >= 0) {
        setCurrentIndex(position);
        return;
    }
    const QString text = currentText();
    setCurrentIndex(-1);
    setEditText(text);
}

bool ContactCombo::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lineEdit() && event->type() == QEvent::MouseButtonDblClick)
        Q_EMIT doubleClicked();
    return QComboBox::eventFilter(watched, event);
}

QPlainTextEdit *awayMessageBox(QWidget *parent)
{
    auto *box = new QPlainTextEdit(parent);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setTabChangesFocus(true);
    // Tooltip yellow, with the text colour the theme pairs with it.
    QPalette colours = box->palette();
    colours.setColor(QPalette::Base, colours.color(QPalette::ToolTipBase));
    colours.setColor(QPalette::Text, colours.color(QPalette::ToolTipText));
    box->setPalette(colours);
    return box;
}

void showAwayDialogBox(QWidget *parent, AwayDialogView::BoxIcon icon, const QString &title,
                       const QString &text)
{
    if (icon == AwayDialogView::BoxIcon::Warning)
        MessageBox::warning(parent, title, text);
    else
        MessageBox::information(parent, title, text);
}

namespace {

void name(QWidget *widget, const QString &objectName, const QString &accessibleName)
{
    widget->setObjectName(objectName);
    widget->setAccessibleName(accessibleName);
}

} // namespace

AwayMessageEditor::AwayMessageEditor(AppState &state, MainView &mainView, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , m_contactLabel(new QLabel(tr("Set away  message for:"), this))
    , m_contacts(new ContactCombo(this))
    , m_message(awayMessageBox(this))
    , m_okButton(new QPushButton(tr("Ok"), this))
    , m_cancelButton(new QPushButton(tr("Cancel"), this))
    , m_logic(state, mainView, *this)
{
    setObjectName(QStringLiteral("awayMessageEditor"));
    setWindowTitle(AwayEditor::title());
    setFont(arialFont(8.25));
    setFixedSize(twipsSize(3855, 3105, this));

    name(m_contactLabel, QStringLiteral("contactLabel"), tr("Set away message for"));
    name(m_contacts, QStringLiteral("contacts"), tr("Contact"));
    name(m_message, QStringLiteral("message"), tr("Away message"));
    name(m_okButton, QStringLiteral("okButton"), tr("Ok"));
    name(m_cancelButton, QStringLiteral("cancelButton"), tr("Cancel"));
    m_contactLabel->setBuddy(m_contacts);
    m_contacts->setToolTip(tr("The contact who gets this message, or everyone in the list"));
    m_message->setToolTip(tr("The message sent to this contact while you are away"));
    m_okButton->setToolTip(tr("Store the message"));
    m_cancelButton->setToolTip(tr("Close without storing"));
    placeTwips(m_contactLabel, 0, 0, 1815, 255);
    placeTwips(m_contacts, 0, 240, 3855, 330);
    placeTwips(m_message, 0, 600, 3855, 2055);
    placeTwips(m_okButton, 1560, 2760, 1095, 300);
    placeTwips(m_cancelButton, 2760, 2760, 1095, 300);

    m_message->setPlainText(QStringLiteral("Type away message here\n"));
    // Enter belongs to the message, Esc to nothing: no button is the default.
    m_okButton->setAutoDefault(false);
    m_cancelButton->setAutoDefault(false);

    setTabOrder(m_contacts, m_message);
    setTabOrder(m_message, m_okButton);
    setTabOrder(m_okButton, m_cancelButton);

    connect(m_okButton, &QPushButton::clicked, this, &AwayMessageEditor::okClicked);
    connect(m_cancelButton, &QPushButton::clicked, &m_logic, &AwayEditor::cancel);

    m_logic.start();
}

void AwayMessageEditor::okClicked()
{
    m_inOk = true;
    m_logic.save();
    m_inOk = false;
}

void AwayMessageEditor::closeWindow()
{
    if (m_inOk)
        accept();
    else
        reject();
}

void AwayMessageEditor::showBox(BoxIcon icon, const QString &title, const QString &text)
{
    showAwayDialogBox(this, icon, title, text);
}

QString AwayMessageEditor::messageText() const
{
    // The message goes out with the line breaks of the messenger, CR LF.
    return m_message->toPlainText().replace(QLatin1Char('\n'), QLatin1String("\r\n"));
}

void AwayMessageEditor::done(int result)
{
    m_logic.stop();
    QDialog::done(result);
}

void AwayMessageEditor::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void AwayMessageEditor::showEvent(QShowEvent *event)
{
    const CentredShow centred(this, event);
    QDialog::showEvent(event);
}

} // namespace zelmo
