#include "platform/messenger/sim/clientwindowlogic.h"

#include "messenger/states.h"

#include <QStringList>
#include <QUrl>

namespace zelmo::sim {

MessageFormat parseMessageFormat(const QString &header)
{
    MessageFormat format;
    static const QString key = QStringLiteral("X-MMS-IM-Format:");
    const QStringList lines = header.split(QStringLiteral("\r\n"));
    for (const QString &line : lines) {
        if (!line.startsWith(key, Qt::CaseInsensitive))
            continue;
        for (const QString &field : line.mid(key.size()).split(QLatin1Char(';'))) {
            const int eq = field.indexOf(QLatin1Char('='));
            if (eq < 0)
                continue;
            const QString name = field.left(eq).trimmed().toUpper();
            const QString value = field.mid(eq + 1).trimmed();
            if (name == QLatin1String("FN")) {
                format.fontFamily = QUrl::fromPercentEncoding(value.toUtf8());
            } else if (name == QLatin1String("CO")) {
                format.co = value;
                bool ok = false;
                const uint bgr = value.toUInt(&ok, 16);
                // Blue-green-red: CO=800000 is dark blue, CO=ff is red.
                if (ok && value.size() <= 6)
                    format.colour = QString::asprintf("#%02x%02x%02x", bgr & 0xffu,
                                                      (bgr >> 8) & 0xffu, (bgr >> 16) & 0xffu);
            } else if (name == QLatin1String("EF")) {
                const QString effects = value.toUpper();
                format.bold = effects.contains(QLatin1Char('B'));
                format.italic = effects.contains(QLatin1Char('I'));
                format.underline = effects.contains(QLatin1Char('U'));
                format.strikeOut = effects.contains(QLatin1Char('S'));
            }
        }
        break;
    }
    return format;
}

ClientWindowLogic::ClientWindowLogic(SimMessenger &sim, QObject *parent)
    : QObject(parent)
    , m_sim(sim)
{
    connect(&m_sim, &SimMessenger::textSent, this,
            [this](const QString &logon, const SentText &sent) {
                ChatLine line;
                line.kind = ChatLine::Kind::FromProgram;
                line.text = sent.text;
                line.header = sent.header;
                line.format = parseMessageFormat(sent.header);
                line.sender = m_sim.ownFriendlyName();
                append(logon, line);
            });
}

QString ClientWindowLogic::stateName(qint32 state)
{
    const QString name = zelmo::stateName(state);
    if (name.isEmpty())
        return QStringLiteral("State %1").arg(state);
    return name.at(0).toUpper() + name.mid(1);
}

QString ClientWindowLogic::stateColour(qint32 state)
{
    switch (state) {
    case LocalState::Online:
        return QStringLiteral("#2e9e44");
    case LocalState::Busy:
    case LocalState::OnThePhone:
        return QStringLiteral("#d23c2f");
    case LocalState::BeRightBack:
    case LocalState::Idle:
    case LocalState::Away:
    case LocalState::OutToLunch:
        return QStringLiteral("#e8a317");
    default:
        return QStringLiteral("#9a9a9a");
    }
}

QString ClientWindowLogic::listsText(const QList<ListKind> &lists)
{
    QStringList names;
    for (ListKind kind : {ListKind::AllContacts, ListKind::Users, ListKind::Blocked}) {
        if (!lists.contains(kind))
            continue;
        names << (kind == ListKind::AllContacts ? QStringLiteral("all")
                  : kind == ListKind::Users     ? QStringLiteral("users")
                                                : QStringLiteral("blocked"));
    }
    return names.join(QStringLiteral(", "));
}

QString ClientWindowLogic::serviceStatusName(qint32 status)
{
    switch (status) {
    case ServiceStatus::Synchronizing:
        return QStringLiteral("Synchronizing");
    case ServiceStatus::NotConnected:
        return QStringLiteral("Signed out");
    case ServiceStatus::Connected:
        return QStringLiteral("Signed in");
    case ServiceStatus::ConnectionLost:
        return QStringLiteral("Connection lost");
    default:
        return QStringLiteral("Status %1").arg(status);
    }
}

QList<qint32> ClientWindowLogic::contactStates()
{
    // Offline, a contact is in a code of its own.
    QList<qint32> states;
    for (const LocalStateInfo &state : localStates)
        states << (state.code == LocalState::Offline ? ContactState::Offline : state.code);
    return states;
}

QList<qint32> ClientWindowLogic::ownStates()
{
    QList<qint32> states;
    for (const LocalStateInfo &state : localStates)
        states << state.code;
    return states;
}

bool ClientWindowLogic::setContactState(const QString &logon, qint32 state)
{
    return m_sim.changeContactState(logon, state);
}

bool ClientWindowLogic::renameContact(const QString &logon, const QString &name)
{
    if (name.trimmed().isEmpty())
        return false;
    return m_sim.changeContactFriendlyName(logon, name);
}

bool ClientWindowLogic::addContact(const QString &logon, const QString &name)
{
    const QString who = logon.trimmed();
    if (who.isEmpty() || who.contains(QLatin1Char(' ')))
        return false;
    m_sim.addContact({who, name.trimmed(), LocalState::Online, {}}, ListKind::Users);
    return true;
}

bool ClientWindowLogic::removeContact(const QString &logon)
{
    return m_sim.removeContact(logon, ListKind::AllContacts);
}

bool ClientWindowLogic::isBlocked(const SimContact &contact)
{
    return contact.lists.contains(ListKind::Blocked);
}

SimContact ClientWindowLogic::contact(const QString &logon) const
{
    for (const SimContact &c : m_sim.contacts()) {
        if (c.logonName == logon)
            return c;
    }
    return {};
}

bool ClientWindowLogic::setBlocked(const QString &logon, bool blocked)
{
    const SimContact c = contact(logon);
    if (c.logonName.isEmpty() || isBlocked(c) == blocked)
        return false;
    // As a real client does it: the contact changes lists, one add and one remove.
    const ListKind to = blocked ? ListKind::Blocked : ListKind::Users;
    const ListKind from = blocked ? ListKind::Users : ListKind::Blocked;
    m_sim.addContact(c, to);
    if (c.lists.contains(from))
        m_sim.removeContact(logon, from);
    return true;
}

bool ClientWindowLogic::writeAs(const QString &logon, const QString &text)
{
    if (logon.isEmpty() || text.trimmed().isEmpty())
        return false;
    ChatLine line;
    line.kind = ChatLine::Kind::FromContact;
    line.text = text;
    line.sender = displayName(logon);
    append(logon, line);

    const qint32 status = m_sim.serviceStatus();
    if (status == ServiceStatus::NotConnected || status == ServiceStatus::ConnectionLost) {
        ChatLine note;
        note.text = QStringLiteral("Not delivered: the messenger is ") +
                    serviceStatusName(status).toLower() + QLatin1Char('.');
        append(logon, note);
        return true;
    }
    m_sim.receiveText(logon, text);
    return true;
}

void ClientWindowLogic::setFailure(Operation op, FailureMode mode, int calls)
{
    FailurePlan &plan = m_sim.failures();
    switch (mode) {
    case FailureMode::Never:
        plan.clear(op);
        m_plans.remove(static_cast<int>(op));
        return;
    case FailureMode::Always:
        plan.failAlways(op);
        break;
    case FailureMode::AfterCalls:
        plan.failAfter(op, qMax(0, calls));
        break;
    }
    m_plans.insert(static_cast<int>(op), Plan{mode, qMax(0, calls)});
}

void ClientWindowLogic::clearFailures()
{
    m_sim.failures().clearAll();
    m_plans.clear();
}

FailureMode ClientWindowLogic::failureMode(Operation op) const
{
    return m_plans.value(static_cast<int>(op)).mode;
}

int ClientWindowLogic::failureCalls(Operation op) const
{
    return m_plans.value(static_cast<int>(op)).calls;
}

QList<Operation> ClientWindowLogic::operations()
{
    QList<Operation> ops;
    for (int i = 0; i <= static_cast<int>(Operation::SendText); ++i)
        ops << static_cast<Operation>(i);
    return ops;
}

QString ClientWindowLogic::operationName(Operation op)
{
    switch (op) {
    case Operation::GetList:
        return QStringLiteral("GetList");
    case Operation::SetLocalState:
        return QStringLiteral("SetLocalState");
    case Operation::GetLocalState:
        return QStringLiteral("GetLocalState");
    case Operation::GetServices:
        return QStringLiteral("GetServices");
    case Operation::GetUnreadMailCount:
        return QStringLiteral("GetUnreadMailCount");
    case Operation::GetPrimaryService:
        return QStringLiteral("GetPrimaryService");
    case Operation::SetFriendlyName:
        return QStringLiteral("SetFriendlyName");
    case Operation::GetServiceStatus:
        return QStringLiteral("GetServiceStatus");
    case Operation::GetCount:
        return QStringLiteral("GetCount");
    case Operation::Item:
        return QStringLiteral("Item");
    case Operation::GetFriendlyName:
        return QStringLiteral("GetFriendlyName");
    case Operation::GetState:
        return QStringLiteral("GetState");
    case Operation::GetLogonName:
        return QStringLiteral("GetLogonName");
    case Operation::SendText:
        return QStringLiteral("SendText");
    }
    return QString();
}

void ClientWindowLogic::append(const QString &logon, ChatLine line)
{
    line.time = QTime::currentTime();
    QList<ChatLine> &chat = m_chats[logon];
    chat.append(line);
    Q_EMIT chatLineAdded(logon, chat.size() - 1);
}

QString ClientWindowLogic::displayName(const QString &logon) const
{
    const SimContact c = contact(logon);
    return c.friendlyName.isEmpty() ? logon : c.friendlyName;
}

} // namespace zelmo::sim
