#pragma once

#include "core/appstate.h"
#include "core/contactlists.h"
#include "core/authorizationcode.h"
#include "core/localstatus.h"

#include <QMainWindow>
#include <QPointer>

class QGroupBox;
class QLabel;
class QListView;
class QPushButton;
class QStatusBar;
class QStringListModel;
class QTime;
class QTimer;

namespace zelmo {

class Form6;
class SettingsStore;

// Brings a list model to the given lines, changing only the rows that differ.
void updateLines(QStringListModel &model, const QStringList &lines);

// The main window: online contacts, unread mail, own status, local time and the away/back
// switch. It holds the state the whole program shares; its handlers forward to the logic.
class Form1 : public QMainWindow, public OnlineListView, public StatusView {
    Q_OBJECT
public:
    Form1(MessengerObject *messenger, SettingsStore &settings, QWidget *parent = nullptr);
    ~Form1() override;

    static QString title() { return LocalStatus::onlineTitle(); }

    AppState &state() { return m_state; }
    ContactLists &contactLists() { return m_contactLists; }
    LocalStatus &localStatus() { return m_localStatus; }
    AuthorizationCode &authorizationCode() { return m_authorizationCode; }

    // OnlineListView
    void setOnlineLines(const QStringList &lines) override;
    void setOnlineCountText(const QString &text) override;

    // StatusView
    void setMailText(const QString &text) override;
    void setStatusText(const QString &text) override;
    void setSwitchCaption(const QString &text) override;
    void setTitle(const QString &title) override;
    void setSwitchEnabled(bool enabled) override;
    void setWindowEnabled(bool enabled) override;
    void showProgress() override;
    void dismissProgress() override;

    // The progress window of a switch, while it is open.
    Form6 *progressWindow() const;
    // The local time as panel 3 shows it.
    static QString clockText(const QTime &time);
    // The text of status bar panel 1, 2 or 3.
    QString panelText(int panel) const;

public Q_SLOTS:
    void Command2_Click();
    void authpass_Click();

private:
    void buildControls();
    void buildMenus();
    void buildStatusBar();
    void updateClock();

    AppState m_state;
    ContactLists m_contactLists;
    LocalStatus m_localStatus;
    AuthorizationCode m_authorizationCode;

    QGroupBox *Frame1 = nullptr;
    QListView *List1 = nullptr;
    QStringListModel *m_onlineModel = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *im1 = nullptr;
    QLabel *im2 = nullptr;
    QLabel *Label3 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command1 = nullptr;
    QStatusBar *sb = nullptr;
    QLabel *m_panels[3] = {};
    QTimer *m_clock = nullptr;
    QPointer<Form6> m_progress;
};

} // namespace zelmo
