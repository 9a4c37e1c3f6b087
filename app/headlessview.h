#pragma once

#include "core/mainview.h"

#include <QObject>
#include <QString>

#include <functional>

namespace zelmo {

class Program;

// The program's view in a run without a display: no windows and no dialogs. Each box the
// windowed program would show is one line on standard error, and so is each thing done for a
// contact (from the record), each declined code and lockout. Without logText the lines name
// the contact but quote neither their text nor the away message: the journal is read by more
// than the user.
class HeadlessView : public QObject, public MainView {
    Q_OBJECT
public:
    // end: ends the run with the exit status given.
    HeadlessView(Program &program, bool logText, QString recordPath,
                 std::function<void(int status)> end);
    ~HeadlessView() override;

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
    void warnUser(const QString &text, bool wait) override;
    void showActivityRecord() override;
    void closeSplash() override {}
    void removeTrayIcon() override {}
    bool keepsCodeHidden() const override { return true; }
    void endProgram(int status) override;

private:
    // The line for the newest row of the record.
    void rowAdded();

    Program &m_program;
    bool m_logText;
    QString m_recordPath;
    std::function<void(int)> m_end;
};

} // namespace zelmo
