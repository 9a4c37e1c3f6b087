#include "app/endreport.h"

#include "app/lines.h"

namespace zelmo {

EndReport::EndReport(MessengerObject &messenger, std::function<QString()> reason, QObject *parent)
    : QObject(parent)
    , m_reason(std::move(reason))
{
    connect(&messenger, &MessengerObject::OnLogoff, this, &EndReport::tell);
}

EndReport::~EndReport() = default;

void EndReport::tell()
{
    const QString reason = m_reason();
    if (!m_told && !reason.isEmpty()) {
        m_told = true;
        writeLine(LinePriority::Warning, reason + QStringLiteral("; ending."));
    }
}

} // namespace zelmo
