#pragma once

#include "core/appstate.h"
#include "core/authorizationcode.h"
#include "core/contactlists.h"
#include "core/localstatus.h"
#include "core/mainview.h"
#include "core/program.h"
#include "core/tray.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>

class QDialog;
class QGroupBox;
class QLabel;
class QListView;
class QPushButton;
class QStatusBar;
class QStringListModel;
class QTime;
class QTimer;

namespace zelmo {

class SwitchProgress;
class RecordWindow;
class SystemTray;

// Brings a list model to the given lines, changing only the rows that differ.
void updateLines(QStringListModel &model, const QStringList &lines);

// The main window: online contacts, unread mail, own status, local time and the away/back
// switch. A view of the program; its handlers forward to it.
class MainWindow : public QMainWindow, public MainView, public TrayWindow {
    Q_OBJECT
public:
    explicit MainWindow(Program &program, QWidget *parent = nullptr);
    ~MainWindow() override;

    static QString title() { return LocalStatus::onlineTitle(); }

    Program &program() { return m_program; }
    AppState &state() { return m_program.state(); }
    ContactLists &contactLists() { return m_program.contactLists(); }
    LocalStatus &localStatus() { return m_program.localStatus(); }
    AuthorizationCode &authorizationCode() { return m_program.authorizationCode(); }

    // The start-up: runs before the window is first shown.
    void start() { m_program.start(); }
    // What ends the program once the logic is done with it, given the exit status; by default
    // the event loop ends with it. Tests put their own here.
    void setEndProgram(std::function<void(int status)> end) { m_endProgram = std::move(end); }
    // What the shutdown does to the splash window, while there is one.
    void setCloseSplash(std::function<void()> close) { m_closeSplash = std::move(close); }

    Tray &tray() { return *m_tray; }
    SystemTray &systemTray() { return *m_systemTray; }

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

    // MainView
    void showWindow() override;
    void setAwayEditorEnabled(bool enabled) override;
    void setOnlineListVisible(bool visible) override;
    void setNotConnectedText(const QString &text) override;
    void setNotConnectedReason(const QString &reason) override;
    void showNoAwayMessages(const QString &text) override;
    void showAwayMessagesSet(const QString &text) override;
    void warnUser(const QString &text, bool wait) override;
    void showActivityRecord() override;
    void closeSplash() override;
    void removeTrayIcon() override;
    void endProgram(int status) override;

    // TrayWindow
    QString currentTitle() const override;
    void hideWindow() override;
    bool isShown() const override { return isVisible(); }
    void restoreWindow() override;
    void closeWindow() override;

    // The progress window of a switch, while it is open.
    SwitchProgress *progressWindow() const;
    // The local time as panel 3 shows it.
    static QString clockText(const QTime &time);
    // The text of status bar panel 1, 2 or 3.
    QString panelText(int panel) const;

public Q_SLOTS:
    void awayButtonClicked();
    void codeChosen();
    void aboutChosen();
    // The dialog openers.
    void messageButtonClicked();
    void indicatorClicked();
    // Shows the logon name of every contact the selected line stands for.
    void showSelectedLogonNames();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildMenus();
    void buildStatusBar();
    void updateClock();

    void openViewer();
    void execOverMainWindow(QDialog &dialog);

    // The not-connected display: the program's text, with the reason below it.
    void showNotConnectedLabel();

    Program &m_program;
    QString m_notConnectedText;
    QString m_notConnectedReason;
    std::function<void(int)> m_endProgram;
    std::function<void()> m_closeSplash;
    bool m_shownOnce = false;
    bool m_recordAfterFirstShow = false;
    SystemTray *m_systemTray = nullptr;
    std::unique_ptr<Tray> m_tray;

    QGroupBox *m_onlineFrame = nullptr;
    QListView *m_onlineList = nullptr;
    QStringListModel *m_onlineModel = nullptr;
    QLabel *m_statusMessage = nullptr;
    QLabel *m_onlineCount = nullptr;
    QLabel *m_noAwayIcon = nullptr;
    QLabel *m_awayIcon = nullptr;
    QLabel *m_indicator = nullptr;
    QPushButton *m_awayButton = nullptr;
    QPushButton *m_messageButton = nullptr;
    QStatusBar *m_statusBar = nullptr;
    QLabel *m_panels[3] = {};
    QTimer *m_clock = nullptr;
    QPointer<SwitchProgress> m_progress;
    QPointer<RecordWindow> m_record;
};

} // namespace zelmo
