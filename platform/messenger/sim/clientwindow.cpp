#include "platform/messenger/sim/clientwindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace zelmo::sim {

namespace {

constexpr int kLogonRole = Qt::UserRole;
const QString kMuted = QStringLiteral("#6b7280");

QPixmap dot(const QString &colour, int size = 12)
{
    const qreal ratio = qApp->devicePixelRatio();
    QPixmap pixmap(QSize(size, size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor fill(colour);
    p.setPen(QPen(fill.darker(140), 1));
    p.setBrush(fill);
    p.drawEllipse(QRectF(1.5, 1.5, size - 3, size - 3));
    return pixmap;
}

template <typename W> W *named(W *widget, const char *objectName, const QString &accessibleName)
{
    widget->setObjectName(QString::fromLatin1(objectName));
    widget->setAccessibleName(accessibleName);
    return widget;
}

// A label's text is what a screen reader reads; the description says what it is.
QLabel *described(QLabel *label, const char *objectName, const QString &description)
{
    label->setObjectName(QString::fromLatin1(objectName));
    label->setAccessibleDescription(description);
    return label;
}

void fillStates(QComboBox *box, const QList<qint32> &states)
{
    for (qint32 state : states)
        box->addItem(QIcon(dot(ClientWindowLogic::stateColour(state))),
                     ClientWindowLogic::stateName(state), state);
}

void selectState(QComboBox *box, qint32 state)
{
    const QSignalBlocker block(box);
    const int index = box->findData(state);
    // A state the box does not offer (0, or a code from a contacts file) shows as blank.
    box->setCurrentIndex(index);
}

QString contactText(const SimContact &c)
{
    return (c.friendlyName.isEmpty() ? c.logonName : c.friendlyName) + QLatin1Char('\n') +
           c.logonName;
}

QString stateText(const SimContact &c)
{
    return ClientWindowLogic::stateName(c.state) + QLatin1Char('\n') +
           ClientWindowLogic::listsText(c.lists);
}

} // namespace

ClientWindow::ClientWindow(SimMessenger &sim, QWidget *parent)
    : QMainWindow(parent)
    , m_sim(sim)
    , m_logic(sim)
{
    setObjectName(QStringLiteral("ClientWindow"));
    setWindowTitle(title());
    setAccessibleName(title());

    buildMenus();
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildAccountBar());

    auto *splitter = new QSplitter(Qt::Horizontal, central);
    splitter->setObjectName(QStringLiteral("splitter"));
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(buildContacts());
    splitter->addWidget(buildChat());
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({320, 340});
    layout->addWidget(splitter, 1);
    setCentralWidget(central);

    m_connection = described(new QLabel(this), "connection", QStringLiteral("Connection"));
    m_connection->setContentsMargins(0, 0, 6, 0);
    statusBar()->addPermanentWidget(m_connection);
    statusBar()->setSizeGripEnabled(false);

    connect(&m_sim, &SimMessenger::changed, this, &ClientWindow::scheduleRefresh);
    connect(&m_logic, &ClientWindowLogic::chatLineAdded, this, &ClientWindow::onChatLineAdded);

    refresh();
    resize(660, 480);
}

ClientWindow::~ClientWindow()
{
    // The list's items go after this object's members: nothing may reach openChat then.
    m_contacts->disconnect(this);
}

QString ClientWindow::title()
{
    return QStringLiteral("Simulated Messenger - Zelmo Extensions");
}

void ClientWindow::placeSideBySide(QWidget *first, QWidget *second)
{
    // Before a window is shown its frame is unknown: allow for a typical one.
    const auto outer = [](QWidget *w) {
        return w->isVisible() ? w->frameGeometry().size() : w->size() + QSize(8, 30);
    };
    QScreen *screen = first->screen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 1024);
    const QSize a = outer(first);
    const QSize b = outer(second);
    const int gap = 12;
    const int width = a.width() + gap + b.width();
    const int left = area.left() + qMax(0, (area.width() - width) / 2);
    const int top = area.top() + qMax(0, (area.height() - qMax(a.height(), b.height())) / 2);
    first->move(left, top);
    second->move(qMin(left + a.width() + gap, area.right() - b.width()), top);
}

// Building ------------------------------------------------------------------------------------

void ClientWindow::buildMenus()
{
    QMenu *client = menuBar()->addMenu(QStringLiteral("&Client"));
    client->setObjectName(QStringLiteral("clientMenu"));
    QAction *save = client->addAction(QStringLiteral("&Save contacts..."));
    save->setObjectName(QStringLiteral("saveContacts"));
    save->setShortcut(QKeySequence::Save);
    connect(save, &QAction::triggered, this, &ClientWindow::saveContacts);
    QAction *load = client->addAction(QStringLiteral("&Load contacts..."));
    load->setObjectName(QStringLiteral("loadContacts"));
    load->setShortcut(QKeySequence::Open);
    connect(load, &QAction::triggered, this, &ClientWindow::loadContacts);

    m_failuresMenu = menuBar()->addMenu(QStringLiteral("&Failures"));
    m_failuresMenu->setObjectName(QStringLiteral("failuresMenu"));
    for (Operation op : ClientWindowLogic::operations()) {
        const QString name = ClientWindowLogic::operationName(op);
        FailureActions actions;
        actions.menu = m_failuresMenu->addMenu(name);
        actions.menu->setObjectName(QStringLiteral("fail-") + name);
        auto *group = new QActionGroup(actions.menu);
        actions.never = actions.menu->addAction(QStringLiteral("Never fail"));
        actions.always = actions.menu->addAction(QStringLiteral("Fail always"));
        actions.after = actions.menu->addAction(QStringLiteral("Fail after k calls..."));
        for (QAction *a : {actions.never, actions.always, actions.after}) {
            a->setCheckable(true);
            group->addAction(a);
        }
        actions.never->setObjectName(QStringLiteral("never-") + name);
        actions.always->setObjectName(QStringLiteral("always-") + name);
        actions.after->setObjectName(QStringLiteral("after-") + name);
        connect(actions.never, &QAction::triggered, this,
                [this, op] { m_logic.setFailure(op, FailureMode::Never); });
        connect(actions.always, &QAction::triggered, this,
                [this, op] { m_logic.setFailure(op, FailureMode::Always); });
        connect(actions.after, &QAction::triggered, this, [this, op] { askFailAfter(op); });
        m_failureActions.insert(static_cast<int>(op), actions);
    }
    m_failuresMenu->addSeparator();
    QAction *clear = m_failuresMenu->addAction(QStringLiteral("Clear all failures"));
    clear->setObjectName(QStringLiteral("clearFailures"));
    connect(clear, &QAction::triggered, this, [this] {
        m_logic.clearFailures();
        refreshFailureMenu();
    });
    connect(m_failuresMenu, &QMenu::aboutToShow, this, &ClientWindow::refreshFailureMenu);
    refreshFailureMenu();
}

QWidget *ClientWindow::buildAccountBar()
{
    auto *bar = new QFrame(this);
    bar->setObjectName(QStringLiteral("accountBar"));
    bar->setAccessibleName(QStringLiteral("My account"));
    bar->setStyleSheet(QStringLiteral("#accountBar { background: qlineargradient(x1:0, y1:0, "
                                      "x2:0, y2:1, stop:0 #eaf3fb, stop:1 #d3e5f5); "
                                      "border-bottom: 1px solid #9dbcd9; }"));
    auto *grid = new QGridLayout(bar);
    grid->setContentsMargins(10, 6, 10, 6);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(4);

    m_ownDot = described(new QLabel(bar), "ownDot", QStringLiteral("My state colour"));
    m_ownName = described(new QLabel(bar), "ownName", QStringLiteral("My nickname"));
    QFont big = m_ownName->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.15);
    m_ownName->setFont(big);
    m_ownState = described(new QLabel(bar), "ownState", QStringLiteral("My state"));
    m_pending = described(new QLabel(bar), "pending", QStringLiteral("Requested state"));
    m_pending->setStyleSheet(QStringLiteral("color: #a15c00; font-style: italic;"));

    auto *who = new QHBoxLayout;
    who->setSpacing(6);
    who->addWidget(m_ownDot);
    who->addWidget(m_ownName);
    who->addWidget(m_ownState);
    who->addWidget(m_pending);
    who->addStretch(1);
    grid->addLayout(who, 0, 0, 1, 6);

    m_ownStateBox = named(new QComboBox(bar), "ownStateBox", QStringLiteral("Set my state"));
    m_ownStateBox->setToolTip(QStringLiteral("Change your state in the messenger itself"));
    fillStates(m_ownStateBox, ClientWindowLogic::ownStates());
    connect(m_ownStateBox, QOverload<int>::of(&QComboBox::activated), this,
            [this](int index) { m_sim.setLocalStateNow(m_ownStateBox->itemData(index).toInt()); });

    m_confirmDelay = named(new QSpinBox(bar), "confirmDelay", QStringLiteral("Confirmation delay"));
    m_confirmDelay->setRange(-1, 60000);
    m_confirmDelay->setSingleStep(100);
    m_confirmDelay->setSuffix(QStringLiteral(" ms"));
    m_confirmDelay->setSpecialValueText(QStringLiteral("never"));
    m_confirmDelay->setToolTip(
        QStringLiteral("How long the messenger takes to confirm a state change the program "
                       "asks for (\"never\": it hangs)"));
    connect(m_confirmDelay, QOverload<int>::of(&QSpinBox::valueChanged), this,
            [this](int ms) { m_sim.setConfirmDelay(ms); });

    m_unreadMail = named(new QSpinBox(bar), "unreadMail", QStringLiteral("Unread mail"));
    m_unreadMail->setRange(0, 9999);
    connect(m_unreadMail, QOverload<int>::of(&QSpinBox::valueChanged), this,
            [this](int count) { m_sim.setUnreadMailCount(count); });

    auto label = [bar](const QString &text, QWidget *buddy) {
        auto *l = new QLabel(text, bar);
        l->setBuddy(buddy);
        return l;
    };
    grid->addWidget(label(QStringLiteral("&State"), m_ownStateBox), 1, 0);
    grid->addWidget(m_ownStateBox, 1, 1);
    grid->addWidget(label(QStringLiteral("&Confirm after"), m_confirmDelay), 1, 2);
    grid->addWidget(m_confirmDelay, 1, 3);
    grid->addWidget(label(QStringLiteral("&Mail"), m_unreadMail), 1, 4);
    grid->addWidget(m_unreadMail, 1, 5);

    m_signOut = named(new QPushButton(QStringLiteral("Sign &out"), bar), "signOut",
                      QStringLiteral("Sign out"));
    m_signIn = named(new QPushButton(QStringLiteral("Sign &in"), bar), "signIn",
                     QStringLiteral("Sign in"));
    m_loseConnection = named(new QPushButton(QStringLiteral("Lose co&nnection"), bar),
                             "loseConnection", QStringLiteral("Lose connection"));
    connect(m_signOut, &QPushButton::clicked, this, [this] { m_sim.signOut(); });
    connect(m_signIn, &QPushButton::clicked, this, [this] { m_sim.signIn(); });
    connect(m_loseConnection, &QPushButton::clicked, this, [this] { m_sim.loseConnection(); });
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_signOut);
    buttons->addWidget(m_signIn);
    buttons->addWidget(m_loseConnection);
    grid->addLayout(buttons, 2, 0, 1, 6);
    grid->setColumnStretch(1, 1);
    return bar;
}

QWidget *ClientWindow::buildContacts()
{
    auto *panel = new QWidget(this);
    auto *v = new QVBoxLayout(panel);
    v->setContentsMargins(8, 6, 4, 6);
    v->setSpacing(4);

    m_contacts = named(new QTreeWidget(panel), "contacts", QStringLiteral("Contacts"));
    m_contacts->setColumnCount(2);
    m_contacts->setHeaderLabels({QStringLiteral("Contact"), QStringLiteral("State, lists")});
    m_contacts->setRootIsDecorated(false);
    m_contacts->setUniformRowHeights(false);
    m_contacts->setAlternatingRowColors(true);
    m_contacts->setIconSize(QSize(12, 12));
    // Logons share their start and end more than their middle.
    m_contacts->setTextElideMode(Qt::ElideMiddle);
    m_contacts->header()->setStretchLastSection(false);
    m_contacts->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_contacts->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_contacts->setStyleSheet(QStringLiteral("QTreeWidget::item { padding: 2px 0; }"));
    connect(m_contacts, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) {
        if (item)
            openChat(item->data(0, kLogonRole).toString());
    });
    v->addWidget(m_contacts, 1);

    m_contactState = named(new QComboBox(panel), "contactState", QStringLiteral("Contact's state"));
    fillStates(m_contactState, ClientWindowLogic::contactStates());
    connect(m_contactState, QOverload<int>::of(&QComboBox::activated), this, [this](int index) {
        m_logic.setContactState(m_current, m_contactState->itemData(index).toInt());
    });
    m_block =
        named(new QPushButton(QStringLiteral("&Block"), panel), "block", QStringLiteral("Block"));
    connect(m_block, &QPushButton::clicked, this, [this] {
        m_logic.setBlocked(m_current, !ClientWindowLogic::isBlocked(m_logic.contact(m_current)));
    });
    m_remove = named(new QPushButton(QStringLiteral("&Remove"), panel), "remove",
                     QStringLiteral("Remove"));
    connect(m_remove, &QPushButton::clicked, this, [this] { m_logic.removeContact(m_current); });
    auto *row1 = new QHBoxLayout;
    row1->addWidget(m_contactState, 1);
    row1->addWidget(m_block);
    row1->addWidget(m_remove);
    v->addLayout(row1);

    m_nameEdit = named(new QLineEdit(panel), "nameEdit", QStringLiteral("Contact's name"));
    m_nameEdit->setPlaceholderText(QStringLiteral("Contact's friendly name"));
    m_rename = named(new QPushButton(QStringLiteral("Re&name"), panel), "rename",
                     QStringLiteral("Rename"));
    const auto rename = [this] { m_logic.renameContact(m_current, m_nameEdit->text()); };
    connect(m_rename, &QPushButton::clicked, this, rename);
    connect(m_nameEdit, &QLineEdit::returnPressed, this, rename);
    auto *row2 = new QHBoxLayout;
    row2->addWidget(m_nameEdit, 1);
    row2->addWidget(m_rename);
    v->addLayout(row2);

    m_newLogon = named(new QLineEdit(panel), "newLogon", QStringLiteral("New contact"));
    m_newLogon->setPlaceholderText(QStringLiteral("new.contact@example.net"));
    m_add =
        named(new QPushButton(QStringLiteral("&Add"), panel), "add", QStringLiteral("Add contact"));
    const auto add = [this] {
        const QString logon = m_newLogon->text().trimmed();
        if (!m_logic.addContact(logon))
            return;
        m_newLogon->clear();
        refreshContacts();
        openChat(logon);
    };
    connect(m_add, &QPushButton::clicked, this, add);
    connect(m_newLogon, &QLineEdit::returnPressed, this, add);
    auto *row3 = new QHBoxLayout;
    row3->addWidget(m_newLogon, 1);
    row3->addWidget(m_add);
    v->addLayout(row3);
    return panel;
}

QWidget *ClientWindow::buildChat()
{
    auto *panel = new QWidget(this);
    auto *v = new QVBoxLayout(panel);
    v->setContentsMargins(4, 6, 8, 6);
    v->setSpacing(4);

    m_chatTitle = described(new QLabel(panel), "chatTitle", QStringLiteral("Chat"));
    m_chatTitle->setTextFormat(Qt::PlainText);
    QFont bold = m_chatTitle->font();
    bold.setBold(true);
    m_chatTitle->setFont(bold);
    v->addWidget(m_chatTitle);

    m_chatStack = new QStackedWidget(panel);
    m_chatStack->setObjectName(QStringLiteral("chats"));
    m_noChat = described(
        new QLabel(QStringLiteral("Pick a contact on the left to write as them."), m_chatStack),
        "noChat", QStringLiteral("No chat open"));
    m_noChat->setAlignment(Qt::AlignCenter);
    m_noChat->setWordWrap(true);
    m_chatStack->addWidget(m_noChat);
    v->addWidget(m_chatStack, 1);

    m_showFormat = named(new QCheckBox(QStringLiteral("Show &header and colour"), panel),
                         "showFormat", QStringLiteral("Show header and colour"));
    m_showFormat->setToolTip(
        QStringLiteral("Show under each line the program sent its format header and colour"));
    connect(m_showFormat, &QCheckBox::toggled, this, &ClientWindow::rerenderPanes);
    v->addWidget(m_showFormat);

    m_input = named(new QLineEdit(panel), "input", QStringLiteral("Write as contact"));
    m_send = named(new QPushButton(QStringLiteral("Sen&d"), panel), "send", QStringLiteral("Send"));
    connect(m_input, &QLineEdit::returnPressed, this, &ClientWindow::sendInput);
    connect(m_send, &QPushButton::clicked, this, &ClientWindow::sendInput);
    auto *row = new QHBoxLayout;
    row->addWidget(m_input, 1);
    row->addWidget(m_send);
    v->addLayout(row);
    return panel;
}

// Refreshing ----------------------------------------------------------------------------------

void ClientWindow::scheduleRefresh()
{
    // The client reports every change at once, often several in one handler: draw once.
    if (m_refreshQueued)
        return;
    m_refreshQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_refreshQueued = false;
        refresh();
    });
}

void ClientWindow::refresh()
{
    refreshAccount();
    refreshContacts();
    refreshContactActions();
    refreshChatTitle();
}

void ClientWindow::refreshAccount()
{
    const qint32 state = m_sim.localState();
    m_ownDot->setPixmap(dot(ClientWindowLogic::stateColour(state), 14));
    m_ownName->setText(m_sim.ownFriendlyName());
    m_ownState->setText(QStringLiteral("(") + ClientWindowLogic::stateName(state) +
                        QLatin1Char(')'));
    const qint32 pending = m_sim.pendingLocalState();
    m_pending->setVisible(pending >= 0);
    m_pending->setText(pending >= 0
                           ? QStringLiteral("asked for ") + ClientWindowLogic::stateName(pending) +
                                 QStringLiteral(", not confirmed yet")
                           : QString());
    selectState(m_ownStateBox, state);

    for (QSpinBox *box : {m_confirmDelay, m_unreadMail}) {
        const QSignalBlocker block(box);
        box->setValue(box == m_confirmDelay ? m_sim.confirmDelay() : m_sim.unreadMailCount());
    }

    const qint32 status = m_sim.serviceStatus();
    const bool connected =
        status != ServiceStatus::NotConnected && status != ServiceStatus::ConnectionLost;
    m_signOut->setEnabled(connected);
    m_loseConnection->setEnabled(connected);
    m_signIn->setEnabled(!connected);
    m_ownStateBox->setEnabled(connected);
    m_connection->setText(ClientWindowLogic::serviceStatusName(status));
}

void ClientWindow::refreshContacts()
{
    const QList<SimContact> contacts = m_sim.contacts();
    // Items are updated in place, so that the current one and a screen reader's hold on an
    // item survive a change elsewhere in the list.
    QHash<QString, QTreeWidgetItem *> items;
    for (int i = 0; i < m_contacts->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = m_contacts->topLevelItem(i);
        items.insert(item->data(0, kLogonRole).toString(), item);
    }
    const QSignalBlocker block(m_contacts);
    QTreeWidgetItem *current = nullptr;
    for (int row = 0; row < contacts.size(); ++row) {
        const SimContact &c = contacts.at(row);
        QTreeWidgetItem *item = items.take(c.logonName);
        if (!item) {
            item = new QTreeWidgetItem;
            item->setData(0, kLogonRole, c.logonName);
        }
        const int at = m_contacts->indexOfTopLevelItem(item);
        if (at != row) {
            if (at >= 0)
                m_contacts->takeTopLevelItem(at);
            m_contacts->insertTopLevelItem(row, item);
        }
        item->setText(0, contactText(c));
        item->setIcon(0, QIcon(dot(ClientWindowLogic::stateColour(c.state))));
        item->setText(1, stateText(c));
        item->setToolTip(0, c.logonName);
        QFont font = m_contacts->font();
        font.setBold(m_unseen.contains(c.logonName));
        font.setStrikeOut(ClientWindowLogic::isBlocked(c));
        item->setFont(0, font);
        if (c.logonName == m_current)
            current = item;
    }
    qDeleteAll(items);
    // Once the open contact is gone no other one is highlighted, so a click opens it.
    m_contacts->setCurrentItem(current);
}

void ClientWindow::refreshContactActions()
{
    const SimContact c = m_logic.contact(m_current);
    const bool known = !c.logonName.isEmpty();
    for (QWidget *w :
         std::initializer_list<QWidget *>{m_contactState, m_block, m_remove, m_nameEdit, m_rename})
        w->setEnabled(known);
    m_input->setEnabled(!m_current.isEmpty());
    m_send->setEnabled(!m_current.isEmpty());
    if (!known)
        return;
    selectState(m_contactState, c.state);
    const bool blocked = ClientWindowLogic::isBlocked(c);
    m_block->setText(blocked ? QStringLiteral("Un&block") : QStringLiteral("&Block"));
    m_block->setAccessibleName(blocked ? QStringLiteral("Unblock") : QStringLiteral("Block"));
    if (!m_nameEdit->hasFocus())
        m_nameEdit->setText(c.friendlyName);
}

void ClientWindow::refreshChatTitle()
{
    if (m_current.isEmpty()) {
        m_chatTitle->setText(QStringLiteral("No chat open"));
        return;
    }
    const SimContact c = m_logic.contact(m_current);
    const QString name = c.friendlyName.isEmpty() ? m_current : c.friendlyName;
    m_chatTitle->setText(name + QStringLiteral("  <") + m_current + QLatin1Char('>'));
    m_input->setPlaceholderText(QStringLiteral("Write as ") + name +
                                QStringLiteral(" and press Enter"));
}

void ClientWindow::refreshFailureMenu()
{
    for (Operation op : ClientWindowLogic::operations()) {
        const FailureActions &a = m_failureActions.value(static_cast<int>(op));
        const FailureMode mode = m_logic.failureMode(op);
        QString title = ClientWindowLogic::operationName(op);
        if (mode == FailureMode::Always)
            title += QStringLiteral("  (fails always)");
        else if (mode == FailureMode::AfterCalls)
            title += QStringLiteral("  (fails after %1 calls)").arg(m_logic.failureCalls(op));
        a.menu->setTitle(title);
        a.never->setChecked(mode == FailureMode::Never);
        a.always->setChecked(mode == FailureMode::Always);
        a.after->setChecked(mode == FailureMode::AfterCalls);
    }
}

// Chats ---------------------------------------------------------------------------------------

void ClientWindow::openChat(const QString &logon)
{
    if (logon.isEmpty())
        return;
    m_current = logon;
    m_unseen.remove(logon);
    m_chatStack->setCurrentWidget(paneFor(logon));
    refreshContacts();
    refreshContactActions();
    refreshChatTitle();
}

QTextEdit *ClientWindow::paneFor(const QString &logon)
{
    QTextEdit *pane = m_panes.value(logon);
    if (pane)
        return pane;
    pane = named(new QTextEdit(m_chatStack), "chatPane", QStringLiteral("Chat with ") + logon);
    pane->setReadOnly(true);
    pane->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    pane->document()->setDocumentMargin(6);
    m_chatStack->addWidget(pane);
    m_panes.insert(logon, pane);
    for (const ChatLine &line : m_logic.chat(logon))
        renderLine(pane, line);
    return pane;
}

void ClientWindow::renderLine(QTextEdit *pane, const ChatLine &line)
{
    QTextCursor cursor(pane->document());
    cursor.movePosition(QTextCursor::End);
    const bool first = pane->document()->isEmpty();

    QTextBlockFormat heading;
    heading.setTopMargin(first ? 0 : 6);
    QTextCharFormat muted;
    muted.setForeground(QColor(kMuted));
    const auto block = [&](const QTextBlockFormat &format) {
        if (pane->document()->isEmpty())
            cursor.setBlockFormat(format);
        else
            cursor.insertBlock(format);
    };

    if (line.kind == ChatLine::Kind::Note) {
        QTextCharFormat note = muted;
        note.setFontItalic(true);
        block(heading);
        cursor.insertText(line.text, note);
        return;
    }

    block(heading);
    cursor.insertText(line.time.toString(QStringLiteral("HH:mm")) + QLatin1Char(' ') + line.sender +
                          QStringLiteral(" says:"),
                      muted);

    QTextCharFormat body;
    if (line.kind == ChatLine::Kind::FromProgram) {
        // As the contact's messenger draws it: the font and colour of the format header.
        if (!line.format.fontFamily.isEmpty())
            body.setFontFamily(line.format.fontFamily);
        body.setForeground(QColor(line.format.colour));
        body.setFontWeight(line.format.bold ? QFont::Bold : QFont::Normal);
        body.setFontItalic(line.format.italic);
        body.setFontUnderline(line.format.underline);
        body.setFontStrikeOut(line.format.strikeOut);
    }
    QTextBlockFormat indented;
    indented.setLeftMargin(14);
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    for (const QString &part : line.text.split(lineBreak)) {
        cursor.insertBlock(indented);
        cursor.insertText(part, body);
    }

    if (line.kind == ChatLine::Kind::FromProgram && m_showFormat->isChecked()) {
        QTextCharFormat mono = muted;
        mono.setFontFamily(QStringLiteral("monospace"));
        mono.setFontPointSize(qMax(6.0, pane->font().pointSizeF() - 1));
        QTextBlockFormat detail = indented;
        detail.setLeftMargin(28);
        cursor.insertBlock(detail);
        cursor.insertText(QStringLiteral("colour ") + line.format.colour + QStringLiteral(" (CO=") +
                              line.format.co + QStringLiteral("), font ") + line.format.fontFamily,
                          mono);
        for (const QString &h : line.header.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
            cursor.insertBlock(detail);
            cursor.insertText(h, mono);
        }
    }
    pane->verticalScrollBar()->setValue(pane->verticalScrollBar()->maximum());
}

void ClientWindow::rerenderPanes()
{
    for (auto it = m_panes.cbegin(); it != m_panes.cend(); ++it) {
        it.value()->clear();
        for (const ChatLine &line : m_logic.chat(it.key()))
            renderLine(it.value(), line);
    }
}

void ClientWindow::onChatLineAdded(const QString &logon, int index)
{
    renderLine(paneFor(logon), m_logic.chat(logon).at(index));
    if (logon != m_current && !m_unseen.contains(logon)) {
        m_unseen.insert(logon);
        scheduleRefresh();
    }
}

void ClientWindow::sendInput()
{
    if (m_logic.writeAs(m_current, m_input->text()))
        m_input->clear();
}

// Menus ---------------------------------------------------------------------------------------

void ClientWindow::askFailAfter(Operation op)
{
    bool ok = false;
    const int calls = QInputDialog::getInt(this, QStringLiteral("Fail after k calls"),
                                           ClientWindowLogic::operationName(op) +
                                               QStringLiteral(": calls that still succeed"),
                                           qMax(1, m_logic.failureCalls(op)), 0, 1000000, 1, &ok);
    if (ok)
        m_logic.setFailure(op, FailureMode::AfterCalls, calls);
    refreshFailureMenu();
}

void ClientWindow::saveContacts()
{
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save contacts"), QStringLiteral("contacts.json"),
        QStringLiteral("Contacts (*.json);;All files (*)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!m_sim.saveContactsFile(path, &error)) {
        QMessageBox::warning(this, QStringLiteral("Save contacts"), error);
        return;
    }
    statusBar()->showMessage(QStringLiteral("Saved to ") + path, 5000);
}

void ClientWindow::loadContacts()
{
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("Load contacts"), QString(),
                                     QStringLiteral("Contacts (*.json);;All files (*)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!m_sim.loadContactsFile(path, &error)) {
        QMessageBox::warning(this, QStringLiteral("Load contacts"), error);
        return;
    }
    statusBar()->showMessage(QStringLiteral("Loaded ") + path, 5000);
}

} // namespace zelmo::sim
