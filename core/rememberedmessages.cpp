#include "core/rememberedmessages.h"

#include "core/appstate.h"
#include "core/authorizationcode.h"
#include "core/settingsstore.h"
#include "messenger/messengererror.h"

#include <QFileInfo>

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

    m_state.bringListsUpToDate();
    const UserCollectionPtr allusers = m_state.allusers;
    qint32 count = 0;
    if (!allusers || !skipOnFailure([&] { count = allusers->GetCount(); }))
        return {};
    count = std::min<qint32>(count, std::numeric_limits<qint16>::max() + 1);
    for (qint32 i = 0; i < count; ++i) {
        skipOnFailure([&] {
            const QString logon = allusers->Item(i)->GetLogonName();
            const auto kept = loaded.messages.constFind(logon);
            // Straight into the table: this is the file's own content, nothing to save back.
            if (kept != loaded.messages.constEnd())
                m_state.awayMessages.SetMessage(logon, *kept, static_cast<qint16>(i));
        });
    }
    return {};
}

bool RememberedMessages::save(QString *error, QString *notice)
{
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
    const UserCollectionPtr allusers = m_state.allusers;
    qint32 count = 0;
    // A contact that cannot be read counts as not listed: its message in the file stays.
    if (allusers && skipOnFailure([&] { count = allusers->GetCount(); })) {
        for (qint32 i = 0; i < count; ++i) {
            skipOnFailure([&] {
                const QString logon = allusers->Item(i)->GetLogonName();
                if (!inTable.contains(logon))
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
