#pragma once

#include "core/contactlists.h"
#include "core/localstatus.h"

#include <QString>

namespace zelmo {

// What the program's logic needs of its main window, besides the online list and the
// status display: the not-connected display, the away-message indicator and the way out.
class MainView : public OnlineListView, public StatusView {
public:
    // Shows the window (not modal), wherever it stands in the start-up.
    virtual void showWindow() = 0;
    // The button that opens the away-message editor.
    virtual void setAwayEditorEnabled(bool enabled) = 0;
    // Hiding the list of online contacts uncovers the text that lies under it.
    virtual void setOnlineListVisible(bool visible) = 0;
    virtual void setNotConnectedText(const QString &text) = 0;
    // Why the messenger could not be reached or went, shown with the not-connected text;
    // empty while that is not known.
    virtual void setNotConnectedReason(const QString &reason) { Q_UNUSED(reason) }
    // The indicator's no-messages state: its text, with the no-messages picture shown.
    virtual void showNoAwayMessages(const QString &text) = 0;
    // The indicator's set state: its text, with the messages-set picture shown.
    virtual void showAwayMessagesSet(const QString &text) = 0;
    // Tells the user of a problem in a box (and on standard error). With wait, returns once
    // the box is closed; else the box stays while the program goes on.
    virtual void warnUser(const QString &text, bool wait) = 0;
    // The window with the record of what the program did for whom, brought to the front.
    virtual void showActivityRecord() = 0;
    // The shutdown's steps that concern other windows.
    virtual void closeSplash() = 0;
    virtual void removeTrayIcon() = 0;
    // A view whose lines others may read (a journal) never shows the authorization code, only
    // where it is kept.
    virtual bool keepsCodeHidden() const { return false; }
    // Closes the window and ends the program with the exit status given. Nothing runs after it.
    virtual void endProgram(int status) = 0;
};

// A main view with no window at all: it shows nothing. Views without a display start from it
// and override what they do show.
class WindowlessView : public MainView {
public:
    void setOnlineLines(const QStringList &) override {}
    void setOnlineCountText(const QString &) override {}
    void setMailText(const QString &) override {}
    void setStatusText(const QString &) override {}
    void setSwitchCaption(const QString &) override {}
    void setTitle(const QString &) override {}
    void setSwitchEnabled(bool) override {}
    void setWindowEnabled(bool) override {}
    void showProgress() override {}
    void dismissProgress() override {}
    void showWindow() override {}
    void setAwayEditorEnabled(bool) override {}
    void setOnlineListVisible(bool) override {}
    void setNotConnectedText(const QString &) override {}
    void showNoAwayMessages(const QString &) override {}
    void showAwayMessagesSet(const QString &) override {}
    void warnUser(const QString &, bool) override {}
    void showActivityRecord() override {}
    void closeSplash() override {}
    void removeTrayIcon() override {}
    void endProgram(int) override {}
};

} // namespace zelmo
