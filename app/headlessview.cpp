#include "app/headlessview.h"

#include "app/lines.h"
#include "core/program.h"

namespace zelmo {

HeadlessView::HeadlessView(Program &program, bool logText, QString recordPath,
                           std::function<void(int)> end)
    : m_program(program)
    , m_logText(logText)
    , m_recordPath(std::move(recordPath))
    , m_end(std::move(end))
{
    m_program.setView(this);
    connect(&m_program.activityLog(), &ActivityLog::rowAdded, this, &HeadlessView::rowAdded);
}

HeadlessView::~HeadlessView()
{
    m_program.setView(nullptr);
}

void HeadlessView::warnUser(const QString &text, bool)
{
    writeLine(LinePriority::Warning, text);
}

void HeadlessView::showActivityRecord()
{
    writeLine(LinePriority::Info,
              m_recordPath.isEmpty()
                  ? QStringLiteral("things were done while you were away")
                  : QStringLiteral("things were done while you were away; the record is in ") +
                        m_recordPath);
}

void HeadlessView::endProgram(int status)
{
    m_end(status);
}

void HeadlessView::rowAdded(const ActivityLog::Row &row)
{
    const QString who = row.logonName.isEmpty() ? row.friendlyName : row.logonName;
    // What the row says up to its first colon is the program's own words: a command's or a
    // code's keyword. After it may come the contact's text or the away message.
    const QString keyword = row.what.section(QStringLiteral(": "), 0, 0);
    LinePriority priority = LinePriority::Info;
    QString line;
    bool quote = m_logText;
    switch (row.kind) {
    case ActivityLog::Kind::AwayMessage:
        line = QStringLiteral("answered %1 with the away message").arg(who);
        break;
    case ActivityLog::Kind::Command:
        line = QStringLiteral("answered %1's command %2").arg(who, keyword);
        break;
    case ActivityLog::Kind::CodeDeclined:
        priority = LinePriority::Warning;
        line = QStringLiteral("declined the code of %1 (%2)").arg(who, keyword);
        break;
    case ActivityLog::Kind::Lockout:
        // Only the program's own words: the length of the lockout.
        priority = LinePriority::Warning;
        line = QStringLiteral("locked out %1").arg(who);
        quote = true;
        break;
    case ActivityLog::Kind::Unanswered:
        line = QStringLiteral("did not answer %1").arg(who);
        break;
    }
    if (quote) {
        const bool keyed =
            row.kind == ActivityLog::Kind::Command || row.kind == ActivityLog::Kind::CodeDeclined;
        line += QStringLiteral(": ") + (keyed ? row.what.mid(keyword.size() + 2) : row.what);
    }
    writeLine(priority, line);
}

} // namespace zelmo
