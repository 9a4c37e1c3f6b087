#include "core/awaymessagetable.h"

#include <algorithm>

namespace zelmo {

namespace {
std::size_t entriesFor(qint32 contactCount)
{
    return static_cast<std::size_t>(std::max(contactCount, 0)) + 1;
}
} // namespace

AwayMessageTable::AwayMessageTable(qint32 contactCount)
    : m_entries(entriesFor(contactCount))
{
}

bool AwayMessageTable::SetMessage(const QString &logon_name, const QString &message, qint16 index)
{
    if (index < 0 || index >= entryCount())
        return false;
    Entry &e = m_entries[static_cast<std::size_t>(index)];
    e.logonName = logon_name;
    e.message = message;
    return true;
}

QString AwayMessageTable::GetMessage(const QString &logon_name) const
{
    // The scan never stops early: the highest matching entry wins.
    QString result;
    for (const Entry &e : m_entries) {
        if (e.logonName == logon_name)
            result = e.message;
    }
    return result;
}

void AwayMessageTable::DeleteMessage(const QString &logon_name)
{
    for (Entry &e : m_entries) {
        if (e.logonName == logon_name)
            e = Entry{};
    }
}

void AwayMessageTable::resize(qint32 contactCount)
{
    m_entries.resize(entriesFor(contactCount));
}

const AwayMessageTable::Entry *AwayMessageTable::entry(qint32 index) const
{
    if (index < 0 || index >= entryCount())
        return nullptr;
    return &m_entries[static_cast<std::size_t>(index)];
}

qint32 AwayMessageTable::freeEntryCount() const
{
    return static_cast<qint32>(std::count_if(m_entries.begin(), m_entries.end(),
                                             [](const Entry &e) { return e.logonName.isEmpty(); }));
}

} // namespace zelmo
