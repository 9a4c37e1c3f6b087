#include "ui/form3.h"

#include "ui/twips.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

namespace zelmo {

namespace {

void name(QWidget *widget, const QString &objectName, const QString &accessibleName)
{
    widget->setObjectName(objectName);
    widget->setAccessibleName(accessibleName);
}

} // namespace

Form3::Form3(AppState &state, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , Text1(awayMessageBox(this))
    , Command1(new QPushButton(tr("&Delete"), this))
    , Command2(new QPushButton(tr("&Ok"), this))
    , Command3(new QPushButton(tr("&Cancel"), this))
    , cm(new ContactCombo(this))
    , Label1(new QLabel(tr("Check away message for:"), this))
    , m_logic(state, *this)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(AwayViewer::title());
    setFont(arialFont(8.25));
    setFixedSize(twipsSize(4095, 2820, this));

    name(Text1, QStringLiteral("Text1"), tr("Away message"));
    name(Command1, QStringLiteral("Command1"), tr("Delete"));
    name(Command2, QStringLiteral("Command2"), tr("Ok"));
    name(Command3, QStringLiteral("Command3"), tr("Cancel"));
    name(cm, QStringLiteral("cm"), tr("Contact"));
    name(Label1, QStringLiteral("Label1"), tr("Check away message for"));
    Label1->setBuddy(cm);
    Text1->setToolTip(tr("The message this contact gets while you are away"));
    cm->setToolTip(tr("Pick a contact to see its away message; double-click to see its "
                      "logon name"));
    Command1->setToolTip(tr("Delete this contact's away message"));
    placeTwips(Text1, 0, 600, 4095, 1815);
    placeTwips(Command1, 120, 2520, 1215, 255);
    placeTwips(Command2, 1440, 2520, 1215, 255);
    placeTwips(Command3, 2760, 2520, 1215, 255);
    placeTwips(cm, 0, 240, 4095, 330);
    placeTwips(Label1, 0, 0, 1935, 255);

    // Read-only, yet the keyboard can still reach and select the message.
    Text1->setReadOnly(true);
    Text1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Text1->setFocusPolicy(Qt::StrongFocus);
    for (QPushButton *button : {Command1, Command2, Command3})
        button->setAutoDefault(false);

    setTabOrder(Text1, Command1);
    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Command3);
    setTabOrder(Command3, cm);
    Text1->setFocus();

    connect(cm, &ContactCombo::picked, &m_logic, &AwayViewer::cm_Click);
    connect(cm, &ContactCombo::doubleClicked, &m_logic, &AwayViewer::cm_DblClick);
    connect(Command1, &QPushButton::clicked, &m_logic, &AwayViewer::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, [this] {
        m_inOk = true;
        m_logic.Command2_Click();
        m_inOk = false;
    });
    connect(Command3, &QPushButton::clicked, &m_logic, &AwayViewer::Command3_Click);

    m_logic.Form_Load();
}

void Form3::closeWindow()
{
    if (m_inOk)
        accept();
    else
        reject();
}

void Form3::showBox(BoxIcon icon, const QString &title, const QString &text)
{
    showAwayDialogBox(this, icon, title, text);
}

void Form3::setMessageText(const QString &text)
{
    Text1->setPlainText(text);
}

void Form3::done(int result)
{
    m_logic.Form_Unload();
    QDialog::done(result);
}

void Form3::keyPressEvent(QKeyEvent *event)
{
    // No button is the cancel button: Esc presses none and leaves the viewer open.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Form3::showEvent(QShowEvent *event)
{
    // Placed by the window system like any new window, not centred over the main window.
    QWidget::showEvent(event);
}

} // namespace zelmo
