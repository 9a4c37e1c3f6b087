#include "platform/messenger/sim/simmessenger.h"

#include "messenger/messengererror.h"
#include "messenger/states.h"
#include "platform/messenger/contactstore.h"
#include "platform/messenger/liveviews.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QPointer>
#include <QSaveFile>
#include <QTimer>
#include <QVariant>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace zelmo::sim {

namespace {

constexpr qint32 kOk = 0;
// COM's S_FALSE: the request succeeded but there was nothing to change.
constexpr qint32 kNothingChanged = 1;
constexpr qint32 kFriendlyNameProperty = 1;
constexpr int kListCount = 3;

const QString &incomingHeader(bool autoSubmitted)
{
    static const QString fields =
        QStringLiteral("MIME-Version: 1.0\r\n"
                       "Content-Type: text/plain; charset=UTF-8\r\n"
                       "X-MMS-IM-Format: FN=Segoe%20UI; EF=; CO=0; CS=0; PF=0\r\n");
    static const QString header = fields + QStringLiteral("\r\n");
    static const QString automatic = fields + autoRepliedHeaderLine() + QStringLiteral("\r\n");
    return autoSubmitted ? automatic : header;
}

bool isListKind(ListKind kind)
{
    const int k = static_cast<int>(kind);
    return k >= 0 && k < kListCount;
}

// A contact as the simulated client keeps it; each read can be made to fail.
class SimUser : public LiveUser {
public:
    SimUser(const SimContact &contact, std::shared_ptr<FailurePlan> failures)
        : LiveUser(contact.logonName,
                   contact.friendlyName.isEmpty() ? contact.logonName : contact.friendlyName,
                   contact.state)
        , m_failures(std::move(failures))
    {
    }

    QString GetFriendlyName() const override
    {
        m_failures->check(Operation::GetFriendlyName, "GetFriendlyName");
        return name();
    }
    qint32 GetState() const override
    {
        m_failures->check(Operation::GetState, "GetState");
        return state();
    }
    QString GetLogonName() const override
    {
        m_failures->check(Operation::GetLogonName, "GetLogonName");
        return logon();
    }

private:
    std::shared_ptr<FailurePlan> m_failures;
};

using SimUserPtr = std::shared_ptr<SimUser>;

// What the client knows. Views and services share it, so that one handed out earlier keeps
// reading the current data and stays valid even after the client is gone.
struct State {
    std::array<std::vector<SimUserPtr>, kListCount> lists;
    QHash<QString, SimUserPtr> contacts;
    qint32 localState = LocalState::Online;
    qint32 serviceStatus = ServiceStatus::Connected;
    qint32 unreadMail = 0;
    QString friendlyName = QStringLiteral("Jordan Blake");

    bool connected() const
    {
        return serviceStatus != ServiceStatus::NotConnected &&
               serviceStatus != ServiceStatus::ConnectionLost;
    }

    std::vector<SimUserPtr> &list(ListKind kind) { return lists[static_cast<int>(kind)]; }

    bool contains(ListKind kind, const SimUserPtr &user)
    {
        const auto &l = list(kind);
        return std::find(l.begin(), l.end(), user) != l.end();
    }

    bool remove(ListKind kind, const SimUserPtr &user)
    {
        auto &l = list(kind);
        const auto it = std::find(l.begin(), l.end(), user);
        if (it == l.end())
            return false;
        l.erase(it);
        return true;
    }

    // Puts the user in kind, and in the list of all contacts as every list implies; returns
    // the lists it was not in before.
    QList<ListKind> join(ListKind kind, const SimUserPtr &user)
    {
        QList<ListKind> joined;
        for (ListKind k : {ListKind::AllContacts, kind}) {
            if (!joined.contains(k) && !contains(k, user)) {
                list(k).push_back(user);
                joined.append(k);
            }
        }
        return joined;
    }
};

class SimUserList : public UserCollection {
public:
    SimUserList(std::shared_ptr<State> state, ListKind kind, std::shared_ptr<FailurePlan> failures)
        : m_state(std::move(state))
        , m_kind(kind)
        , m_failures(std::move(failures))
    {
    }

    qint32 GetCount() const override
    {
        m_failures->check(Operation::GetCount, "GetCount");
        return static_cast<qint32>(m_state->list(m_kind).size());
    }

    UserPtr Item(qint32 index) const override
    {
        m_failures->check(Operation::Item, "Item");
        const auto &l = m_state->list(m_kind);
        if (index < 0 || static_cast<std::size_t>(index) >= l.size())
            throw MessengerError(QStringLiteral("Item"),
                                 QStringLiteral("index %1 out of range").arg(index));
        return l[static_cast<std::size_t>(index)];
    }

private:
    std::shared_ptr<State> m_state;
    ListKind m_kind;
    std::shared_ptr<FailurePlan> m_failures;
};

class SimService : public MessengerService {
public:
    using NameChanged = std::function<void(const QString &)>;

    SimService(std::shared_ptr<State> state, std::shared_ptr<FailurePlan> failures,
               NameChanged nameChanged)
        : m_state(std::move(state))
        , m_failures(std::move(failures))
        , m_nameChanged(std::move(nameChanged))
    {
    }

    void SetFriendlyName(const QString &name) override
    {
        m_failures->check(Operation::SetFriendlyName, "SetFriendlyName");
        if (!m_state->connected())
            throw MessengerError(QStringLiteral("SetFriendlyName"),
                                 QStringLiteral("not signed in"));
        // Taken as given: a leading blank is part of the name.
        m_state->friendlyName = name;
        m_nameChanged(name);
    }

    qint32 GetServiceStatus() const override
    {
        m_failures->check(Operation::GetServiceStatus, "GetServiceStatus");
        return m_state->serviceStatus;
    }

private:
    std::shared_ptr<State> m_state;
    std::shared_ptr<FailurePlan> m_failures;
    NameChanged m_nameChanged;
};

class SimServiceCollection : public ServiceCollection {
public:
    SimServiceCollection(ServicePtr primary, std::shared_ptr<FailurePlan> failures)
        : m_primary(std::move(primary))
        , m_failures(std::move(failures))
    {
    }

    ServicePtr GetPrimaryService() const override
    {
        m_failures->check(Operation::GetPrimaryService, "GetPrimaryService");
        return m_primary;
    }

private:
    ServicePtr m_primary;
    std::shared_ptr<FailurePlan> m_failures;
};

bool readInt(const QJsonValue &value, qint32 *out)
{
    if (!value.isDouble())
        return false;
    const double d = value.toDouble();
    if (std::floor(d) != d || d < std::numeric_limits<qint32>::min() ||
        d > std::numeric_limits<qint32>::max())
        return false;
    *out = static_cast<qint32>(d);
    return true;
}

QString describe(const QJsonValue &value)
{
    if (value.isDouble())
        return QString::number(value.toDouble());
    if (value.isString())
        return QLatin1Char('"') + value.toString() + QLatin1Char('"');
    return QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact));
}

struct ContactsFile {
    QList<SimContact> contacts;
    QString friendlyName;
    bool hasFriendlyName = false;
    qint32 unreadMail = 0;
    bool hasUnreadMail = false;
    qint32 localState = 0;
    bool hasLocalState = false;
};

bool parseContact(const QJsonValue &value, int index, SimContact *contact, QString *error)
{
    const QString where = QStringLiteral("contacts[%1]").arg(index);
    if (!value.isObject()) {
        *error = where + QStringLiteral(" is not an object");
        return false;
    }
    const QJsonObject o = value.toObject();
    const QJsonValue logon = o.value(QStringLiteral("logon"));
    if (!logon.isString() || logon.toString().isEmpty()) {
        *error = where + QStringLiteral(": \"logon\" must be a non-empty string");
        return false;
    }
    contact->logonName = logon.toString();
    const QString who = where + QStringLiteral(" (") + contact->logonName + QStringLiteral(")");

    if (o.contains(QStringLiteral("name"))) {
        const QJsonValue name = o.value(QStringLiteral("name"));
        if (!name.isString()) {
            *error = who + QStringLiteral(": \"name\" must be a string");
            return false;
        }
        contact->friendlyName = name.toString();
    }
    if (o.contains(QStringLiteral("state")) &&
        !readInt(o.value(QStringLiteral("state")), &contact->state)) {
        *error = who + QStringLiteral(": \"state\" must be an integer");
        return false;
    }
    if (o.contains(QStringLiteral("lists"))) {
        const QJsonValue lists = o.value(QStringLiteral("lists"));
        if (!lists.isArray()) {
            *error = who + QStringLiteral(": \"lists\" must be an array");
            return false;
        }
        for (const QJsonValue &l : lists.toArray()) {
            qint32 kind = -1;
            if (!readInt(l, &kind) || kind < 0 || kind >= kListCount) {
                *error = who + QStringLiteral(": unknown list ") + describe(l) +
                         QStringLiteral(" (lists are 0, 1 and 2)");
                return false;
            }
            contact->lists.append(static_cast<ListKind>(kind));
        }
    }
    return true;
}

bool parseContactsFile(const QJsonDocument &doc, ContactsFile *file, QString *error)
{
    if (!doc.isObject()) {
        *error = QStringLiteral("the top level is not an object");
        return false;
    }
    const QJsonObject root = doc.object();
    const QJsonValue contacts = root.value(QStringLiteral("contacts"));
    if (!contacts.isArray()) {
        *error = QStringLiteral("\"contacts\" is missing or not an array");
        return false;
    }
    if (root.contains(QStringLiteral("friendlyName"))) {
        const QJsonValue name = root.value(QStringLiteral("friendlyName"));
        if (!name.isString()) {
            *error = QStringLiteral("\"friendlyName\" must be a string");
            return false;
        }
        file->friendlyName = name.toString();
        file->hasFriendlyName = true;
    }
    if (root.contains(QStringLiteral("unreadMail"))) {
        if (!readInt(root.value(QStringLiteral("unreadMail")), &file->unreadMail)) {
            *error = QStringLiteral("\"unreadMail\" must be an integer");
            return false;
        }
        file->hasUnreadMail = true;
    }
    if (root.contains(QStringLiteral("localState"))) {
        if (!readInt(root.value(QStringLiteral("localState")), &file->localState)) {
            *error = QStringLiteral("\"localState\" must be an integer");
            return false;
        }
        file->hasLocalState = true;
    }

    QSet<QString> seen;
    const QJsonArray array = contacts.toArray();
    for (int i = 0; i < array.size(); ++i) {
        SimContact contact;
        if (!parseContact(array.at(i), i, &contact, error))
            return false;
        if (seen.contains(contact.logonName)) {
            *error = QStringLiteral("contacts[%1]: \"%2\" is listed twice")
                         .arg(i)
                         .arg(contact.logonName);
            return false;
        }
        seen.insert(contact.logonName);
        file->contacts.append(contact);
    }
    return true;
}

} // namespace

// ---------------------------------------------------------------------------------------------

SimSession::SimSession(QString contactLogonName, std::shared_ptr<FailurePlan> failures)
    : m_contact(std::move(contactLogonName))
    , m_failures(std::move(failures))
{
}

void SimSession::SendText(const QString &header, const QString &text, qint32 messageType,
                          qint32 *cookie)
{
    m_failures->check(Operation::SendText, "SendText");
    if (m_canSend && !m_canSend())
        throw MessengerError(QStringLiteral("SendText"), QStringLiteral("not signed in"));
    const SentText sent{header, text, messageType};
    m_sent.append(sent);
    const qint32 id = m_nextCookie++;
    if (cookie)
        *cookie = id;
    if (m_onSent)
        m_onSent(sent);
}

QStringList SimSession::sentTexts() const
{
    QStringList texts;
    texts.reserve(m_sent.size());
    for (const SentText &s : m_sent)
        texts.append(s.text);
    return texts;
}

// ---------------------------------------------------------------------------------------------

void FailurePlan::failAfter(Operation op, int succeeding, int failing)
{
    if (failing == 0) {
        clear(op);
        return;
    }
    m_rules[static_cast<std::size_t>(op)] = Rule{true, qMax(0, succeeding), qMax(-1, failing)};
}

void FailurePlan::clear(Operation op)
{
    m_rules[static_cast<std::size_t>(op)] = Rule{};
}

void FailurePlan::clearAll()
{
    m_rules.fill(Rule{});
}

void FailurePlan::check(Operation op, const char *name)
{
    const auto key = static_cast<std::size_t>(op);
    ++m_calls[key];
    Rule &rule = m_rules[key];
    if (!rule.active)
        return;
    if (rule.succeeding > 0) {
        --rule.succeeding;
        return;
    }
    if (rule.failing > 0 && --rule.failing == 0)
        rule = Rule{};
    throw MessengerError(QString::fromLatin1(name), QStringLiteral("injected failure"));
}

int FailurePlan::calls(Operation op) const
{
    return m_calls[static_cast<std::size_t>(op)];
}

// ---------------------------------------------------------------------------------------------

struct SimMessenger::Impl {
    std::shared_ptr<State> state = std::make_shared<State>();
    // Made once: GetList is called for every rebuild and must not allocate.
    std::array<UserCollectionPtr, kListCount> views;
    ServicePtr service;
    ServiceCollectionPtr services;
    QHash<QString, std::shared_ptr<SimSession>> sessions;
    // Those of people outside the lists, the latest ones: a flood of strangers stays bounded.
    BoundedCache<std::shared_ptr<SimSession>> strangerSessions{ContactStore::strangerBound};
    // People outside the lists who wrote to us, the latest ones: each stays one user object.
    BoundedCache<SimUserPtr> strangers{ContactStore::strangerBound};
    int confirmDelay = 0;
    // The state requested last while its confirmation is on its way, or -1.
    qint32 pendingState = -1;
};

SimMessenger::SimMessenger(QObject *parent)
    : MessengerObject(parent)
    , m_failures(std::make_shared<FailurePlan>())
{
    d = std::make_unique<Impl>();
    for (int k = 0; k < kListCount; ++k)
        d->views[static_cast<std::size_t>(k)] =
            std::make_shared<SimUserList>(d->state, static_cast<ListKind>(k), m_failures);

    // The service may outlive the client; it then changes the name without raising events.
    QPointer<SimMessenger> self(this);
    d->service = std::make_shared<SimService>(d->state, m_failures, [self](const QString &name) {
        if (!self)
            return;
        Q_EMIT self->friendlyNameSet(name);
        Q_EMIT self->changed();
        self->deliverLater([self, name] {
            Q_EMIT self->OnLocalPropertyChangeResult(kOk, kFriendlyNameProperty, QVariant(name),
                                                     self->d->service);
        });
    });
    d->services = std::make_shared<SimServiceCollection>(d->service, m_failures);
    setContacts(defaultContacts());
}

SimMessenger::~SimMessenger() = default;

QList<SimContact> SimMessenger::defaultContacts()
{
    using L = ListKind;
    const QList<L> users{L::AllContacts, L::Users};
    return {
        {QStringLiteral("ann.moss@example.net"), QStringLiteral("Ann Moss"), 2, users},
        {QStringLiteral("ben.ortiz@example.org"), QStringLiteral("Ben Ortiz"), 34, users},
        {QStringLiteral("carla.nguyen@example.com"), QStringLiteral("Carla ~ at work"), 10, users},
        {QStringLiteral("dev.patel@example.net"), QStringLiteral("Dev Patel"), 1, users},
        {QStringLiteral("eva.lindqvist@example.org"), QStringLiteral("Eva Lindqvist"), 0, users},
        {QStringLiteral("farid.haddad@example.com"), QStringLiteral("Farid (brb)"), 14, users},
        {QStringLiteral("grace.kim@example.net"), QStringLiteral("Grace Kim"), 50, users},
        {QStringLiteral("hugo.brandt@example.org"),
         QStringLiteral("Hugo Brandt"),
         2,
         {L::AllContacts, L::Blocked}},
    };
}

void SimMessenger::setContacts(const QList<SimContact> &contacts)
{
    State &st = *d->state;
    for (auto &l : st.lists)
        l.clear();
    st.contacts.clear();
    for (const SimContact &c : contacts) {
        if (c.logonName.isEmpty())
            continue;
        SimUserPtr user = st.contacts.value(c.logonName);
        if (!user) {
            user = std::make_shared<SimUser>(c, m_failures);
            st.contacts.insert(c.logonName, user);
        }
        // A contact given without lists is an ordinary one.
        const QList<ListKind> lists =
            c.lists.isEmpty() ? QList<ListKind>{ListKind::Users} : c.lists;
        for (ListKind kind : lists) {
            if (isListKind(kind))
                st.join(kind, user);
        }
    }
    Q_EMIT changed();
}

bool SimMessenger::loadContactsFile(const QString &path, QString *error)
{
    QString reason;
    ContactsFile file;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        reason = f.errorString();
    } else {
        QJsonParseError parseError;
        const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &parseError);
        if (parseError.error != QJsonParseError::NoError)
            reason =
                parseError.errorString() + QStringLiteral(" at offset %1").arg(parseError.offset);
        else
            parseContactsFile(doc, &file, &reason);
    }
    if (!reason.isEmpty()) {
        if (error)
            *error = path + QStringLiteral(": ") + reason;
        return false;
    }

    setContacts(file.contacts);
    if (file.hasFriendlyName)
        d->state->friendlyName = file.friendlyName;
    if (file.hasUnreadMail)
        d->state->unreadMail = file.unreadMail;
    if (file.hasLocalState)
        d->state->localState = file.localState;
    Q_EMIT changed();
    return true;
}

bool SimMessenger::saveContactsFile(const QString &path, QString *error) const
{
    const State &st = *d->state;
    QJsonArray contacts;
    for (const SimContact &c : this->contacts()) {
        QJsonArray lists;
        for (ListKind kind : c.lists)
            lists.append(static_cast<int>(kind));
        contacts.append(QJsonObject{{QStringLiteral("logon"), c.logonName},
                                    {QStringLiteral("name"), c.friendlyName},
                                    {QStringLiteral("state"), c.state},
                                    {QStringLiteral("lists"), lists}});
    }
    const QJsonObject root{{QStringLiteral("friendlyName"), st.friendlyName},
                           {QStringLiteral("unreadMail"), st.unreadMail},
                           {QStringLiteral("localState"), st.localState},
                           {QStringLiteral("contacts"), contacts}};

    // Written aside and renamed: a failed save leaves an existing file whole.
    QSaveFile f(path);
    if (f.open(QIODevice::WriteOnly)) {
        f.write(QJsonDocument(root).toJson(QJsonDocument::Indented));
        if (f.commit())
            return true;
    }
    if (error)
        *error = path + QStringLiteral(": ") + f.errorString();
    return false;
}

// The boundary -------------------------------------------------------------------------------

UserCollectionPtr SimMessenger::GetList(ListKind kind)
{
    m_failures->check(Operation::GetList, "GetList");
    if (!isListKind(kind))
        throw MessengerError(QStringLiteral("GetList"),
                             QStringLiteral("unknown list kind %1").arg(static_cast<int>(kind)));
    return d->views[static_cast<std::size_t>(kind)];
}

void SimMessenger::SetLocalState(qint32 state)
{
    m_failures->check(Operation::SetLocalState, "SetLocalState");
    if (!d->state->connected())
        throw MessengerError(QStringLiteral("SetLocalState"), QStringLiteral("not signed in"));
    if (!localStateInfo(state))
        throw MessengerError(QStringLiteral("SetLocalState"),
                             QStringLiteral("unknown state code %1").arg(state));
    m_lastRequested = state;
    m_requested.append(state);
    d->pendingState = state;
    Q_EMIT localStateRequested(state);
    Q_EMIT changed();

    const int delay = d->confirmDelay;
    if (delay < 0)
        return;
    auto confirm = [this, state] {
        // A request that a newer one replaced is never carried out.
        if (d->pendingState != state)
            return;
        d->pendingState = -1;
        // The answer to a request never arrives over a connection that dropped meanwhile.
        if (!d->state->connected()) {
            Q_EMIT changed();
            return;
        }
        d->state->localState = state;
        Q_EMIT changed();
        deliverLater([this, state] { Q_EMIT OnLocalStateChangeResult(kOk, state, d->service); });
    };
    if (delay == 0)
        deliverLater(confirm);
    else
        QTimer::singleShot(delay, this, confirm);
}

qint32 SimMessenger::GetLocalState()
{
    m_failures->check(Operation::GetLocalState, "GetLocalState");
    return d->state->localState;
}

ServiceCollectionPtr SimMessenger::GetServices()
{
    m_failures->check(Operation::GetServices, "GetServices");
    return d->services;
}

qint32 SimMessenger::GetUnreadMailCount(qint32 folder)
{
    m_failures->check(Operation::GetUnreadMailCount, "GetUnreadMailCount");
    // Only the inbox (folder 0) receives mail here.
    return folder == 0 ? d->state->unreadMail : 0;
}

// The control side ---------------------------------------------------------------------------

std::shared_ptr<SimSession> SimMessenger::sessionWith(const QString &logonName)
{
    const auto make = [&] {
        auto session = std::make_shared<SimSession>(logonName, m_failures);
        const std::weak_ptr<State> state = d->state;
        session->m_canSend = [state] {
            const auto s = state.lock();
            return s && s->connected();
        };
        // A session may outlive its client; it then tells no one.
        QPointer<SimMessenger> self(this);
        session->m_onSent = [self, logonName](const SentText &sent) {
            if (self)
                Q_EMIT self->textSent(logonName, sent);
        };
        return session;
    };
    if (!d->state->contacts.contains(logonName))
        return d->strangerSessions.use(logonName, make);
    auto &session = d->sessions[logonName];
    if (!session)
        session = make();
    return session;
}

std::shared_ptr<SimSession> SimMessenger::receiveText(const QString &logonName, const QString &text,
                                                      bool autoSubmitted)
{
    std::shared_ptr<SimSession> session = sessionWith(logonName);
    // A signed-out client receives nothing.
    if (!d->state->connected())
        return session;

    SimUserPtr user = d->state->contacts.value(logonName);
    if (!user) {
        user = d->strangers.use(logonName, [&] {
            return std::make_shared<SimUser>(
                SimContact{logonName, logonName, LocalState::Online, {}}, m_failures);
        });
    }
    deliverLater([this, session, user, text, autoSubmitted] {
        bool enableDefault = true;
        Q_EMIT OnTextReceived(session, user, incomingHeader(autoSubmitted), text, &enableDefault);
    });
    return session;
}

bool SimMessenger::changeContactState(const QString &logonName, qint32 state)
{
    const SimUserPtr user = d->state->contacts.value(logonName);
    if (!user)
        return false;
    const qint32 previous = user->state();
    user->setState(state);
    Q_EMIT changed();
    deliverLater([this, user, previous] {
        bool enableDefault = true;
        Q_EMIT OnUserStateChanged(user, previous, &enableDefault);
    });
    return true;
}

bool SimMessenger::changeContactFriendlyName(const QString &logonName, const QString &friendlyName)
{
    const SimUserPtr user = d->state->contacts.value(logonName);
    if (!user)
        return false;
    const QString previous = user->name();
    user->setName(friendlyName);
    Q_EMIT changed();
    deliverLater(
        [this, user, previous] { Q_EMIT OnUserFriendlyNameChangeResult(kOk, user, previous); });
    return true;
}

void SimMessenger::addContact(const SimContact &contact, ListKind list)
{
    if (contact.logonName.isEmpty() || !isListKind(list))
        return;
    State &st = *d->state;
    // A known contact keeps its name and state: blocking someone does not rename them.
    SimUserPtr user = st.contacts.value(contact.logonName);
    if (!user) {
        user = std::make_shared<SimUser>(contact, m_failures);
        st.contacts.insert(contact.logonName, user);
    }
    const QList<ListKind> joined = st.join(list, user);
    if (joined.isEmpty()) {
        deliverLater([this, list, user] { Q_EMIT OnListAddResult(kNothingChanged, list, user); });
        return;
    }
    Q_EMIT changed();
    for (ListKind kind : joined)
        deliverLater([this, kind, user] { Q_EMIT OnListAddResult(kOk, kind, user); });
}

bool SimMessenger::removeContact(const QString &logonName, ListKind list)
{
    State &st = *d->state;
    const SimUserPtr user = st.contacts.value(logonName);
    if (!user || !isListKind(list) || !st.contains(list, user))
        return false;

    // Leaving the list of all contacts means leaving every list.
    QList<ListKind> left;
    if (list == ListKind::AllContacts) {
        for (ListKind kind : {ListKind::Users, ListKind::Blocked}) {
            if (st.remove(kind, user))
                left.append(kind);
        }
        st.contacts.remove(logonName);
    }
    st.remove(list, user);
    left.append(list);
    Q_EMIT changed();
    for (ListKind kind : left)
        deliverLater([this, kind, user] { Q_EMIT OnListRemoveResult(kOk, kind, user); });
    return true;
}

void SimMessenger::signOut()
{
    d->state->serviceStatus = ServiceStatus::NotConnected;
    Q_EMIT changed();
    deliverLater([this] { Q_EMIT OnLogoff(); });
}

void SimMessenger::signIn()
{
    d->state->serviceStatus = ServiceStatus::Connected;
    Q_EMIT changed();
    deliverLater([this] { Q_EMIT OnLogonResult(kOk, d->service); });
}

void SimMessenger::loseConnection()
{
    d->state->serviceStatus = ServiceStatus::ConnectionLost;
    Q_EMIT changed();
    deliverLater([this] { Q_EMIT OnLogoff(); });
}

void SimMessenger::setServiceStatus(qint32 status)
{
    d->state->serviceStatus = status;
    Q_EMIT changed();
}

void SimMessenger::setConfirmDelay(int milliseconds)
{
    d->confirmDelay = milliseconds;
    Q_EMIT changed();
}

void SimMessenger::setLocalStateNow(qint32 state)
{
    d->state->localState = state;
    Q_EMIT changed();
    deliverLater([this, state] { Q_EMIT OnLocalStateChangeResult(kOk, state, d->service); });
}

QString SimMessenger::ownFriendlyName() const
{
    return d->state->friendlyName;
}

void SimMessenger::setUnreadMailCount(qint32 count)
{
    d->state->unreadMail = count;
    Q_EMIT changed();
}

QList<SimContact> SimMessenger::contacts() const
{
    State &st = *d->state;
    // Sets rather than a scan of each list per contact: a view reads them all at every change.
    const auto members = [&st](ListKind kind) {
        QSet<const SimUser *> set;
        for (const SimUserPtr &user : st.list(kind))
            set.insert(user.get());
        return set;
    };
    const QSet<const SimUser *> users = members(ListKind::Users);
    const QSet<const SimUser *> blocked = members(ListKind::Blocked);
    QList<SimContact> out;
    const auto &all = st.list(ListKind::AllContacts);
    out.reserve(static_cast<int>(all.size()));
    for (const SimUserPtr &user : all) {
        SimContact c{user->logon(), user->name(), user->state(), {ListKind::AllContacts}};
        if (users.contains(user.get()))
            c.lists.append(ListKind::Users);
        if (blocked.contains(user.get()))
            c.lists.append(ListKind::Blocked);
        out.append(c);
    }
    return out;
}

qint32 SimMessenger::localState() const
{
    return d->state->localState;
}

qint32 SimMessenger::pendingLocalState() const
{
    return d->pendingState;
}

qint32 SimMessenger::serviceStatus() const
{
    return d->state->serviceStatus;
}

qint32 SimMessenger::unreadMailCount() const
{
    return d->state->unreadMail;
}

int SimMessenger::confirmDelay() const
{
    return d->confirmDelay;
}

} // namespace zelmo::sim
