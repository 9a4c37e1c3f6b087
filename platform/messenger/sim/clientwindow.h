#pragma once

// The simulated client's own window: a small instant-messaging client where the user plays
// both the messenger the program is attached to and the contacts who write to it. It is a
// view of the client's control side; every action goes through ClientWindowLogic or the
// control calls of SimMessenger.

#include "platform/messenger/sim/clientwindowlogic.h"

#include <QHash>
#include <QMainWindow>
#include <QSet>
#include <QString>

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QTextEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace zelmo::sim {

class ClientWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit ClientWindow(SimMessenger &sim, QWidget *parent = nullptr);
    ~ClientWindow() override;

    // Deliberately not starting with the program's name: scripts look for the program's
    // windows by the start of their title.
    static QString title();

    ClientWindowLogic &logic() { return m_logic; }

    // Moves two top-level windows so that they stand side by side, first on the left, the
    // pair centred on the screen of the first. Call before showing them.
    static void placeSideBySide(QWidget *first, QWidget *second);

    // The contact whose chat shows, or an empty string.
    QString currentContact() const { return m_current; }
    // Selects the contact and shows its chat.
    void openChat(const QString &logon);
    // The chat pane of a contact, or nullptr while nothing was said in it nor was it opened.
    QTextEdit *chatPane(const QString &logon) const { return m_panes.value(logon); }

private:
    void buildMenus();
    QWidget *buildAccountBar();
    QWidget *buildContacts();
    QWidget *buildChat();

    void scheduleRefresh();
    void refresh();
    void refreshAccount();
    void refreshContacts();
    void refreshContactActions();
    void refreshChatTitle();
    void refreshFailureMenu();

    QTextEdit *paneFor(const QString &logon);
    void renderLine(QTextEdit *pane, const ChatLine &line);
    void rerenderPanes();
    void onChatLineAdded(const QString &logon, int index);
    void sendInput();

    void askFailAfter(Operation op);
    void saveContacts();
    void loadContacts();

    SimMessenger &m_sim;
    ClientWindowLogic m_logic;
    bool m_refreshQueued = false;
    QString m_current;
    // Contacts whose chats have lines the user has not looked at yet.
    QSet<QString> m_unseen;

    QLabel *m_ownDot = nullptr;
    QLabel *m_ownName = nullptr;
    QLabel *m_ownState = nullptr;
    QLabel *m_pending = nullptr;
    QComboBox *m_ownStateBox = nullptr;
    QSpinBox *m_confirmDelay = nullptr;
    QSpinBox *m_unreadMail = nullptr;
    QPushButton *m_signOut = nullptr;
    QPushButton *m_signIn = nullptr;
    QPushButton *m_loseConnection = nullptr;
    QLabel *m_connection = nullptr;

    QTreeWidget *m_contacts = nullptr;
    QComboBox *m_contactState = nullptr;
    QPushButton *m_block = nullptr;
    QPushButton *m_remove = nullptr;
    QLineEdit *m_nameEdit = nullptr;
    QPushButton *m_rename = nullptr;
    QLineEdit *m_newLogon = nullptr;
    QPushButton *m_add = nullptr;

    QLabel *m_chatTitle = nullptr;
    QStackedWidget *m_chatStack = nullptr;
    QLabel *m_noChat = nullptr;
    QHash<QString, QTextEdit *> m_panes;
    QCheckBox *m_showFormat = nullptr;
    QLineEdit *m_input = nullptr;
    QPushButton *m_send = nullptr;

    QMenu *m_failuresMenu = nullptr;
    struct FailureActions {
        QMenu *menu = nullptr;
        QAction *never = nullptr;
        QAction *always = nullptr;
        QAction *after = nullptr;
    };
    QHash<int, FailureActions> m_failureActions;
};

} // namespace zelmo::sim
