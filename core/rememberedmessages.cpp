#include "core/rememberedmessages.h"

#include "core/appstate.h"
#include "core/authorizationcode.h"
#include "core/settingsstore.h"
#include "messenger/messengererror.h"

#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <limits>
#include <utility>

namespace zelmo {

namespace {

QString joined(const QString &first, const QString &second)
{
    if (first.isEmpty() || second.isEmpty())
        return first + second;
    return first + QLatin1Char(' ') + second;
}

} // namespace

RememberedMessages::RememberedMessages(AppState &state, SettingsStore &store, AwayMessageFile file)
    : m_state(state)
    , m_store(store)
    , m_file(std::move(file))
{
    m_state.onListsRebuilt = [this] { placeKept(); };
    // The user's word wins over the file's, a deletion too: it must not come back.
    m_state.onAwayMessageEdited = [this](const QString &logon) { m_kept.remove(logon); };
}

RememberedMessages::~RememberedMessages()
{
    m_state.onListsRebuilt = nullptr;
    m_state.onAwayMessageEdited = nullptr;
}

bool RememberedMessages::enabled() const
{
    return m_store.read(AuthorizationCode::application(), AuthorizationCode::section(), key(),
                        QStringLiteral("0")) == QLatin1String("1");
}

QString RememberedMessages::moveAside(const QString &reason, bool atStart)
{
    const QString aside = m_file.moveAside();
    if (aside.isEmpty())
        return {};
    const QString what = atStart ? QStringLiteral("The program starts without them; the away "
                                                  "messages you set from now on are kept again.")
                                 : QStringLiteral("The away messages set now are kept in a new "
                                                  "file.");
    return QStringLiteral("The away messages kept in %1 could not be read and were moved to %2. "
                          "%3 (What was wrong: %4.)")
        .arg(m_file.path(), aside, what, reason);
}

QString RememberedMessages::restore()
{
    if (!enabled())
        return {};
    const AwayMessageFile::Loaded loaded = m_file.load();
    if (!loaded.ok) {
        // Left where it is, it is never written over: the saves keep trying to move it.
        const QString notice = moveAside(loaded.error, true);
        if (!notice.isEmpty())
            return notice;
        return QStringLiteral("The away messages kept in %1 could not be read (%2), and the "
                              "file could not be moved aside either. The program starts "
                              "without them and keeps no away messages until that file is "
                              "moved or deleted.")
            .arg(m_file.path(), loaded.error);
    }
    if (loaded.messages.isEmpty())
        return {};

    m_kept = loaded.messages;
    m_state.bringListsUpToDate();
    placeKept();
    return {};
}

void RememberedMessages::placeKept()
{
    if (m_kept.isEmpty())
        return;
    const UserCollectionPtr allusers = m_state.allContacts;
    qint32 count = 0;
    if (!allusers || !skipOnFailure([&] { count = allusers->GetCount(); }))
        return;
    AwayMessageTable &table = m_state.awayMessages;
    // The dispatcher looks at the entries of the listed contacts only.
    count = std::min({count, table.entryCount() - 1,
                      static_cast<qint32>(std::numeric_limits<qint16>::max()) + 1});
    QSet<QString> answered;
    for (qint32 i = 0; i < count; ++i)
        answered.insert(table.entry(i)->logonName);
    qint32 free = 0;
    for (qint32 i = 0; i < count; ++i) {
        skipOnFailure([&] {
            const QString logon = allusers->Item(i)->GetLogonName();
            const auto kept = m_kept.constFind(logon);
            if (logon.isEmpty() || kept == m_kept.constEnd() || answered.contains(logon))
                return;
            qint32 at = i;
            // Entries keep their places when the list changes: the contact's own may hold
            // someone else's message, which must not be written over.
            if (!table.entry(i)->logonName.isEmpty()) {
                while (free < count && !table.entry(free)->logonName.isEmpty())
                    ++free;
                // No room: the file keeps it, and the next rebuild tries again.
                if (free == count)
                    return;
                at = free;
            }
            table.SetMessage(logon, *kept, static_cast<qint16>(at));
            answered.insert(logon);
        });
    }
}

bool RememberedMessages::save(QString *error, QString *notice)
{
    // From the read to the write: another copy's save in between would be written over.
    const std::unique_ptr<QLockFile> lock = m_file.lockForChange(error);
    if (!lock)
        return false;
    QHash<QString, QString> inFile;
    if (!m_fresh) {
        AwayMessageFile::Loaded loaded = m_file.load();
        if (loaded.ok) {
            inFile = std::move(loaded.messages);
        } else {
            *notice = moveAside(loaded.error, false);
            if (notice->isEmpty()) {
                *error = QStringLiteral("the file there could not be read (%1) and could not "
                                        "be moved aside")
                             .arg(loaded.error);
                return false;
            }
        }
    }

    // Positions and logon names as they are now: a rebuild may have resized the table.
    m_state.bringListsUpToDate();
    QHash<QString, QString> inTable;
    for (qint32 i = 0; i < m_state.awayMessages.entryCount(); ++i) {
        const AwayMessageTable::Entry *entry = m_state.awayMessages.entry(i);
        // The first entry of a contact is the one the dispatcher answers with.
        if (!entry->logonName.isEmpty() && !inTable.contains(entry->logonName))
            inTable.insert(entry->logonName, entry->message);
    }

    QHash<QString, QString> messages = inFile;
    const UserCollectionPtr allusers = m_state.allContacts;
    qint32 count = 0;
    // A contact that cannot be read counts as not listed: its message in the file stays.
    if (allusers && skipOnFailure([&] { count = allusers->GetCount(); })) {
        for (qint32 i = 0; i < count; ++i) {
            skipOnFailure([&] {
                const QString logon = allusers->Item(i)->GetLogonName();
                // One that could not be placed yet is still the file's, not a deletion.
                if (!inTable.contains(logon) && !m_kept.contains(logon))
                    messages.remove(logon);
            });
        }
    }
    for (auto it = inTable.cbegin(); it != inTable.cend(); ++it)
        messages.insert(it.key(), it.value());

    // Storing the same text again (for everyone in the list, say) writes nothing.
    if (!m_fresh && messages == inFile && QFileInfo::exists(m_file.path()))
        return true;
    if (!m_file.save(messages, error))
        return false;
    m_fresh = false;
    return true;
}

QString RememberedMessages::saveFailedText(const QString &reason) const
{
    return QStringLiteral("The away messages could not be saved in %1 (%2). They hold for this "
                          "run; the program tries again at the next change.")
        .arg(m_file.path(), reason);
}

QString RememberedMessages::tableChanged()
{
    // A message the user stored may have taken the entry of a kept one.
    placeKept();
    if (!enabled())
        return {};
    QString error;
    QString notice;
    if (save(&error, &notice)) {
        m_lastError.clear();
        return notice;
    }
    const bool first = m_lastError.isEmpty();
    m_lastError = saveFailedText(error);
    return first ? joined(notice, m_lastError) : notice;
}

QString RememberedMessages::setEnabled(bool on)
{
    const QString application = AuthorizationCode::application();
    const bool wasOn = enabled();
    if (!m_store.write(application, AuthorizationCode::section(), key(),
                       on ? QStringLiteral("1") : QStringLiteral("0")))
        return QStringLiteral("Your choice could not be stored in %1, so nothing was changed.")
            .arg(m_store.location(application));
    m_lastError.clear();

    if (!on) {
        m_fresh = false;
        // Forgotten with the file, also the ones whose contact has not come yet.
        m_kept.clear();
        if (!m_file.remove())
            return QStringLiteral("The away messages kept in %1 could not be deleted. Please "
                                  "delete that file yourself.")
                .arg(m_file.path());
        return {};
    }
    // Turned on afresh, the file starts from the table alone: whatever an earlier run left
    // there was meant to be forgotten.
    if (!wasOn)
        m_fresh = true;
    return tableChanged();
}

} // namespace zelmo
