#include "core/remotecontrol.h"

#include "core/program.h"
#include "messenger/messengererror.h"
#include "messenger/states.h"

#include <QHash>

#include <limits>
#include <utility>

namespace zelmo {

namespace {

// Only own states: a contact-only code reads as unknown.
QString ownStateName(qint32 state)
{
    const LocalStateInfo *info = localStateInfo(state);
    return info ? QString::fromLatin1(info->name) : QStringLiteral("unknown");
}

// The table keeps the editor's CR LF; callers write plain line feeds (or CR LF).
QString toTable(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text.replace(QLatin1String("\n"), QLatin1String("\r\n"));
}

QString fromTable(QString text)
{
    return text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

RemoteControl::Result failure(RemoteControl::Error error, const QString &text)
{
    return {error, text};
}

RemoteControl::Result notConnected()
{
    return failure(RemoteControl::Error::NotConnected,
                   QStringLiteral("The messenger is not connected."));
}

} // namespace

RemoteControl::RemoteControl(Program &program, MessengerObject *messenger, QObject *parent)
    : QObject(parent)
    , m_program(program)
    , m_messenger(messenger)
{
    // Confirmed states, whoever asked for them: this program, the client's user, idle time.
    if (messenger) {
        connect(
            messenger, &MessengerObject::OnLocalStateChangeResult, this,
            [this](qint32, qint32 state, const ServicePtr &) { followState(isAwayState(state)); });
    }
    connect(&program.activityLog(), &ActivityLog::rowAdded, this,
            [this](const ActivityLog::Row &row) {
                if (row.kind == ActivityLog::Kind::AwayMessage ||
                    row.kind == ActivityLog::Kind::Command)
                    Q_EMIT messageAnswered(row.logonName, row.what);
            });
}

bool RemoteControl::connected() const
{
    const AppState &state = m_program.state();
    return state.messenger && !state.notConnected && !state.unloading;
}

void RemoteControl::followState(bool away)
{
    if (m_lastAway == away)
        return;
    m_lastAway = away;
    Q_EMIT awayChanged(away);
}

void RemoteControl::goAway(Done done)
{
    goTo(true, std::move(done));
}

void RemoteControl::comeBack(Done done)
{
    goTo(false, std::move(done));
}

void RemoteControl::goTo(bool away, Done done)
{
    if (!connected()) {
        done(notConnected());
        return;
    }
    AppState &state = m_program.state();
    LocalStatus &status = m_program.localStatus();
    // The user's own word: a return from idle leaves it alone.
    if (away)
        m_program.idleAway().awaySetByHand();
    // A waiting switch may be headed the other way: this request then takes it over.
    if (!status.switchInProgress() && state.AwayMode == away) {
        done({});
        return;
    }
    // The switch's direction follows AwayMode, as for the remote commands.
    state.AwayMode = !away;
    skipOnFailure([&] {
        status.toggleAway([done](bool confirmed) {
            if (confirmed)
                done({});
            else
                done(failure(Error::StatusNotChanged,
                             QStringLiteral("The messenger did not confirm the change of "
                                            "status; it stays as it was.")));
        });
    });
}

RemoteControl::Status RemoteControl::status()
{
    AppState &state = m_program.state();
    Status result{state.AwayMode, QStringLiteral("not connected")};
    if (!state.messenger || state.unloading)
        return result;
    skipOnFailure([&] {
        const qint32 service =
            state.messenger->GetServices()->GetPrimaryService()->GetServiceStatus();
        if (service == ServiceStatus::ConnectionLost)
            result.state = QStringLiteral("connection lost");
        else if (service != ServiceStatus::NotConnected)
            result.state = ownStateName(state.messenger->GetLocalState());
    });
    return result;
}

bool RemoteControl::readContacts(UserCollectionPtr &list, qint32 &count)
{
    return skipOnFailure([&] {
        list = m_program.state().messenger->GetList(ListKind::AllContacts);
        count = list->GetCount();
    });
}

std::optional<QString> RemoteControl::listedName(const QString &logonName, qint32 *position)
{
    UserCollectionPtr list;
    qint32 count = 0;
    if (!readContacts(list, count))
        return std::nullopt;
    std::optional<qint32> withoutCase;
    QString nameWithoutCase;
    for (qint32 i = 0; i < count; ++i) {
        QString name;
        if (!skipOnFailure([&] { name = list->Item(i)->GetLogonName(); }))
            continue;
        if (name == logonName) {
            *position = i;
            return name;
        }
        if (!withoutCase && name.compare(logonName, Qt::CaseInsensitive) == 0) {
            withoutCase = i;
            nameWithoutCase = name;
        }
    }
    if (!withoutCase)
        return std::nullopt;
    *position = *withoutCase;
    return nameWithoutCase;
}

namespace {

RemoteControl::Result unknownContact(const QString &logonName)
{
    return failure(RemoteControl::Error::UnknownContact,
                   QStringLiteral("%1 is not in your contact list.").arg(logonName));
}

RemoteControl::Result emptyMessage()
{
    return failure(RemoteControl::Error::EmptyMessage,
                   QStringLiteral("The away message is empty; to remove one, unset it."));
}

} // namespace

RemoteControl::Result RemoteControl::findContact(const QString &logonName, QString *name,
                                                 qint32 *position)
{
    if (!connected())
        return notConnected();
    const std::optional<QString> listed = listedName(logonName, position);
    if (!listed)
        return unknownContact(logonName);
    *name = *listed;
    return {};
}

RemoteControl::Result RemoteControl::setMessage(const QString &logonName, const QString &text)
{
    if (text.trimmed().isEmpty())
        return emptyMessage();
    QString name;
    qint32 position = 0;
    if (Result found = findContact(logonName, &name, &position); !found.ok())
        return found;
    if (position > std::numeric_limits<qint16>::max() ||
        !m_program.state().SetMessage(name, toTable(text), static_cast<qint16>(position)))
        return failure(Error::NotStored,
                       QStringLiteral("The away message could not be stored for %1 just now "
                                      "(the contact list is changing). Please try again.")
                           .arg(name));
    return {};
}

RemoteControl::Result RemoteControl::setMessageForEveryone(const QString &text)
{
    if (text.trimmed().isEmpty())
        return emptyMessage();
    if (!connected())
        return notConnected();
    AppState &state = m_program.state();
    UserCollectionPtr list;
    qint32 count = 0;
    if (!readContacts(list, count))
        return failure(Error::NotStored, QStringLiteral("The contact list cannot be read just "
                                                        "now. Please try again."));
    const QString message = toTable(text);
    qint32 stored = 0;
    {
        const AppState::AwayMessageBatch batch(state);
        for (qint32 i = 0; i < count && i <= std::numeric_limits<qint16>::max(); ++i) {
            QString name;
            if (skipOnFailure([&] { name = list->Item(i)->GetLogonName(); }) &&
                state.SetMessage(name, message, static_cast<qint16>(i)))
                ++stored;
        }
    }
    if (count == 0)
        return failure(Error::NotStored, QStringLiteral("Your contact list is empty."));
    if (stored < count)
        return failure(Error::NotStored,
                       QStringLiteral("The away message was stored for %1 of your %2 contacts. "
                                      "Please try again in a moment.")
                           .arg(stored)
                           .arg(count));
    return {};
}

RemoteControl::Result RemoteControl::unsetMessage(const QString &logonName)
{
    QString name;
    qint32 position = 0;
    if (Result found = findContact(logonName, &name, &position); !found.ok())
        return found;
    m_program.state().DeleteMessage(name);
    return {};
}

RemoteControl::Result RemoteControl::unsetMessageForEveryone()
{
    if (!connected())
        return notConnected();
    AppState &state = m_program.state();
    QStringList names;
    for (qint32 i = 0; i < state.awayMessages.entryCount(); ++i) {
        const QString &name = state.awayMessages.entry(i)->logonName;
        if (!name.isEmpty() && !names.contains(name))
            names.append(name);
    }
    const AppState::AwayMessageBatch batch(state);
    for (const QString &name : std::as_const(names))
        state.DeleteMessage(name);
    return {};
}

std::vector<RemoteControl::Message> RemoteControl::messages()
{
    AppState &state = m_program.state();
    state.bringListsUpToDate();
    // A contact's message is the one the dispatcher would send: that of its last entry.
    std::vector<Message> result;
    QHash<QString, size_t> at;
    for (qint32 i = 0; i < state.awayMessages.entryCount(); ++i) {
        const AwayMessageTable::Entry *entry = state.awayMessages.entry(i);
        if (entry->logonName.isEmpty())
            continue;
        if (const auto it = at.constFind(entry->logonName); it != at.cend()) {
            result[*it].text = fromTable(entry->message);
        } else {
            at.insert(entry->logonName, result.size());
            result.push_back({entry->logonName, fromTable(entry->message)});
        }
    }
    return result;
}

std::vector<RemoteControl::RecordRow> RemoteControl::record() const
{
    const auto &rows = m_program.activityLog().rows();
    std::vector<RecordRow> result;
    result.reserve(rows.size());
    for (auto it = rows.crbegin(); it != rows.crend(); ++it)
        result.push_back({it->time, it->friendlyName, it->logonName, it->what});
    return result;
}

RemoteControl::Result RemoteControl::setCode(const QString &code)
{
    bool digits = code.size() == AuthorizationCode::length;
    for (const QChar c : code)
        digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    if (!digits)
        return failure(Error::BadCode, QStringLiteral("An authorization code is five digits."));
    if (m_program.authorizationCode().set(code) != AuthorizationCode::SetResult::Stored)
        return failure(Error::NotStored,
                       QStringLiteral("The new code holds for this run, but it could not be "
                                      "stored for the next one."));
    return {};
}

} // namespace zelmo
