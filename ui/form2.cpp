#include "ui/form2.h"

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

Form2::Form2(AppState &state, MainView &mainView, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , Label1(new QLabel(tr("Set away  message for:"), this))
    , cm(new ContactCombo(this))
    , Text1(awayMessageBox(this))
    , Command1(new QPushButton(tr("Ok"), this))
    , Command2(new QPushButton(tr("Cancel"), this))
    , m_logic(state, mainView, *this)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(AwayEditor::title());
    setFont(arialFont(8.25));
    setFixedSize(twipsSize(3855, 3105, this));

    name(Label1, QStringLiteral("Label1"), tr("Set away message for"));
    name(cm, QStringLiteral("cm"), tr("Contact"));
    name(Text1, QStringLiteral("Text1"), tr("Away message"));
    name(Command1, QStringLiteral("Command1"), tr("Ok"));
    name(Command2, QStringLiteral("Command2"), tr("Cancel"));
    Label1->setBuddy(cm);
    cm->setToolTip(tr("The contact who gets this message, or everyone in the list"));
    Text1->setToolTip(tr("The message sent to this contact while you are away"));
    Command1->setToolTip(tr("Store the message"));
    Command2->setToolTip(tr("Close without storing"));
    placeTwips(Label1, 0, 0, 1815, 255);
    placeTwips(cm, 0, 240, 3855, 330);
    placeTwips(Text1, 0, 600, 3855, 2055);
    placeTwips(Command1, 1560, 2760, 1095, 300);
    placeTwips(Command2, 2760, 2760, 1095, 300);

    Text1->setPlainText(QStringLiteral("Type away message here\n"));
    // Enter belongs to the message, Esc to nothing: no button is the default.
    Command1->setAutoDefault(false);
    Command2->setAutoDefault(false);

    setTabOrder(cm, Text1);
    setTabOrder(Text1, Command1);
    setTabOrder(Command1, Command2);

    connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    connect(Command2, &QPushButton::clicked, &m_logic, &AwayEditor::Command2_Click);

    m_logic.Form_Load();
}

void Form2::Command1_Click()
{
    m_inOk = true;
    m_logic.Command1_Click();
    m_inOk = false;
}

void Form2::closeWindow()
{
    if (m_inOk)
        accept();
    else
        reject();
}

void Form2::showBox(BoxIcon icon, const QString &title, const QString &text)
{
    showAwayDialogBox(this, icon, title, text);
}

QString Form2::messageText() const
{
    // The message goes out with the line breaks of the messenger, CR LF.
    return Text1->toPlainText().replace(QLatin1Char('\n'), QLatin1String("\r\n"));
}

void Form2::done(int result)
{
    m_logic.Form_Unload();
    QDialog::done(result);
}

void Form2::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Form2::showEvent(QShowEvent *event)
{
    const CentredShow centred(this, event);
    QDialog::showEvent(event);
}

} // namespace zelmo
