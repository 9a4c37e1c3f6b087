#pragma once

#include "core/mainview.h"

#include <QStringList>

#include <functional>

namespace zelmo::test {

// A main window that remembers what the logic showed on it.
class FakeMainView : public MainView {
public:
    void setOnlineLines(const QStringList &l) override { lines = l; }
    void setOnlineCountText(const QString &text) override { countText = text; }
    void setMailText(const QString &text) override { mailText = text; }
    void setStatusText(const QString &text) override { statusText = text; }
    void setSwitchCaption(const QString &text) override { switchCaption = text; }
    void setTitle(const QString &t) override
    {
        title = t;
        titles << t;
    }
    void setSwitchEnabled(bool enabled) override { switchEnabled = enabled; }
    void setWindowEnabled(bool enabled) override { windowEnabled = enabled; }
    void showProgress() override
    {
        ++progressShown;
        if (onShowProgress)
            onShowProgress();
    }
    void dismissProgress() override { ++progressDismissed; }
    void showWindow() override { shown = true; }
    void setAwayEditorEnabled(bool enabled) override { awayEditorEnabled = enabled; }
    void setOnlineListVisible(bool visible) override { listVisible = visible; }
    void setNotConnectedText(const QString &text) override { notConnectedText = text; }
    void showNoAwayMessages(const QString &text) override
    {
        indicatorText = text;
        ++noAwayMessagesShown;
    }
    void showAwayMessagesSet(const QString &text) override
    {
        indicatorText = text;
        ++awayMessagesSetShown;
    }
    void warnUser(const QString &text, bool wait) override
    {
        warnings << text + (wait ? QStringLiteral(" (waited)") : QString());
    }
    void showActivityRecord() override { ++activityRecordShown; }
    void closeSplash() override { steps << QStringLiteral("close splash"); }
    void removeTrayIcon() override { steps << QStringLiteral("remove tray icon"); }
    void endProgram(int status) override
    {
        steps << QStringLiteral("end");
        ended = true;
        exitStatus = status;
    }

    QStringList lines;
    QString countText, mailText, statusText, switchCaption, title, notConnectedText, indicatorText;
    QStringList titles, warnings;
    QStringList steps;
    bool switchEnabled = true, windowEnabled = true, awayEditorEnabled = true, listVisible = true;
    bool shown = false, ended = false;
    int exitStatus = -1;
    int activityRecordShown = 0;
    int progressShown = 0, progressDismissed = 0, noAwayMessagesShown = 0, awayMessagesSetShown = 0;
    std::function<void()> onShowProgress;
};

} // namespace zelmo::test
