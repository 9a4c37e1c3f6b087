#pragma once

#include <QString>

#include <vector>

namespace zelmo {

// Away messages by contact: entries 0..N, where N is the number of contacts in the list of
// all contacts, so there is always one entry more than there are contacts. An entry is a
// position in that list; nothing keeps logon names unique across entries.
class AwayMessageTable {
public:
    struct Entry {
        QString logonName; // empty: the entry is free
        QString message;
    };

    // A table for a list of contactCount contacts: contactCount + 1 empty entries.
    explicit AwayMessageTable(qint32 contactCount = 0);

    // Overwrites entry index, whatever it held. An index outside 0..N leaves the table
    // unchanged and returns false.
    bool SetMessage(const QString &logon_name, const QString &message, qint16 index);
    // The message of the last entry that holds logon_name, or an empty string.
    QString GetMessage(const QString &logon_name) const;
    // Clears every entry that holds logon_name, in place.
    void DeleteMessage(const QString &logon_name);

    // Follows a reload of the contact list: N := contactCount. Entries up to the smaller N
    // keep their cells, the ones that fall away are dropped, new ones are empty.
    void resize(qint32 contactCount);

    // The number of entries, N + 1.
    qint32 entryCount() const { return static_cast<qint32>(m_entries.size()); }
    // The entry at index, or nullptr beyond the table.
    const Entry *entry(qint32 index) const;
    qint32 freeEntryCount() const;

private:
    std::vector<Entry> m_entries;
};

} // namespace zelmo
