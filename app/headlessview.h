#pragma once

#include "core/activitylog.h"
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
class HeadlessView : public QObject, public WindowlessView {
    Q_OBJECT
public:
    // end: ends the run with the exit status given.
    HeadlessView(Program &program, bool logText, QString recordPath,
                 std::function<void(int status)> end);
    ~HeadlessView() override;

    void warnUser(const QString &text, bool wait) override;
    void showActivityRecord() override;
    bool keepsCodeHidden() const override { return true; }
    void endProgram(int status) override;

private:
    // The line for the newest row of the record.
    void rowAdded(const ActivityLog::Row &row);

    Program &m_program;
    bool m_logText;
    QString m_recordPath;
    std::function<void(int)> m_end;
};

} // namespace zelmo
