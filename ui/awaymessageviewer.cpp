#include "ui/awaymessageviewer.h"

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

AwayMessageViewer::AwayMessageViewer(AppState &state, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , m_message(awayMessageBox(this))
    , m_deleteButton(new QPushButton(tr("&Delete"), this))
    , m_okButton(new QPushButton(tr("&Ok"), this))
    , m_cancelButton(new QPushButton(tr("&Cancel"), this))
    , m_contacts(new ContactCombo(this))
    , m_contactLabel(new QLabel(tr("Check away message for:"), this))
    , m_logic(state, *this)
{
    setObjectName(QStringLiteral("awayMessageViewer"));
    setWindowTitle(AwayViewer::title());
    setFont(arialFont(8.25));
    setFixedSize(twipsSize(4095, 2820, this));

    name(m_message, QStringLiteral("message"), tr("Away message"));
    name(m_deleteButton, QStringLiteral("deleteButton"), tr("Delete"));
    name(m_okButton, QStringLiteral("okButton"), tr("Ok"));
    name(m_cancelButton, QStringLiteral("cancelButton"), tr("Cancel"));
    name(m_contacts, QStringLiteral("contacts"), tr("Contact"));
    name(m_contactLabel, QStringLiteral("contactLabel"), tr("Check away message for"));
    m_contactLabel->setBuddy(m_contacts);
    m_message->setToolTip(tr("The message this contact gets while you are away"));
    m_contacts->setToolTip(tr("Pick a contact to see its away message; double-click to see its "
                              "logon name"));
    m_deleteButton->setToolTip(tr("Delete this contact's away message"));
    placeTwips(m_message, 0, 600, 4095, 1815);
    placeTwips(m_deleteButton, 120, 2520, 1215, 255);
    placeTwips(m_okButton, 1440, 2520, 1215, 255);
    placeTwips(m_cancelButton, 2760, 2520, 1215, 255);
    placeTwips(m_contacts, 0, 240, 4095, 330);
    placeTwips(m_contactLabel, 0, 0, 1935, 255);

    // Read-only, yet the keyboard can still reach and select the message.
    m_message->setReadOnly(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_message->setFocusPolicy(Qt::StrongFocus);
    for (QPushButton *button : {m_deleteButton, m_okButton, m_cancelButton})
        button->setAutoDefault(false);

    setTabOrder(m_message, m_deleteButton);
    setTabOrder(m_deleteButton, m_okButton);
    setTabOrder(m_okButton, m_cancelButton);
    setTabOrder(m_cancelButton, m_contacts);
    m_message->setFocus();

    connect(m_contacts, &ContactCombo::picked, &m_logic, &AwayViewer::showSelected);
    connect(m_contacts, &ContactCombo::doubleClicked, &m_logic, &AwayViewer::showLogonNames);
    connect(m_deleteButton, &QPushButton::clicked, &m_logic, &AwayViewer::deleteSelected);
    connect(m_okButton, &QPushButton::clicked, this, [this] {
        m_inOk = true;
        m_logic.ok();
        m_inOk = false;
    });
    connect(m_cancelButton, &QPushButton::clicked, &m_logic, &AwayViewer::cancel);

    m_logic.start();
}

void AwayMessageViewer::closeWindow()
{
    if (m_inOk)
        accept();
    else
        reject();
}

void AwayMessageViewer::showBox(BoxIcon icon, const QString &title, const QString &text)
{
    showAwayDialogBox(this, icon, title, text);
}

void AwayMessageViewer::setMessageText(const QString &text)
{
    m_message->setPlainText(text);
}

void AwayMessageViewer::done(int result)
{
    m_logic.stop();
    QDialog::done(result);
}

void AwayMessageViewer::keyPressEvent(QKeyEvent *event)
{
    // No button is the cancel button: Esc presses none and leaves the viewer open.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void AwayMessageViewer::showEvent(QShowEvent *event)
{
    // Placed by the window system like any new window, not centred over the main window.
    QWidget::showEvent(event);
}

} // namespace zelmo
