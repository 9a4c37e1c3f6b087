// A stand-in for the user's libpurple client (Pidgin, Finch) on the session bus, for tests and
// benchmarks that need a client which answers slowly, or whose every call they can count.
//
// It owns libpurple's name, object and interface, and keeps a small model: one connected XMPP
// account, its buddies (each available), status types, saved statuses and conversations.
// Calls come with the argument types, handles, errors and signals of libpurple 2.14's D-Bus
// binding, for the methods the program uses and a few more; any other method is unknown.
// Every call to that interface is carried out, and answered, `delay` ms after it arrived, in
// the order of arrival, as a client busy elsewhere would. A control interface, answered at
// once, delivers messages from buddies, sets the delay, reads what was sent, and plays the
// client's own events (see fp::controlPath).
//
// Usage: fake_purple [--account NAME] [--delay MS] [BUDDY[=ALIAS]]...

#include "bench/fakepurple/fakepurplenames.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QTimer>

#include <cstdio>
#include <deque>
#include <functional>

namespace {

namespace fp = zelmo::fakepurple;

// libpurple's status primitives (status.h), first and last.
constexpr int kOffline = 1;
constexpr int kAvailable = 2;
constexpr int kLastPrimitive = 6;
// Message flags (conversation.h).
constexpr uint kReceived = 0x2;
// Privacy types (privacy.h): everyone may write.
constexpr int kAllowAll = 1;
// Connection errors (connection.h) after which libpurple signs in again by itself.
constexpr int kNetworkError = 0;
constexpr int kEncryptionError = 5;
// Conversation types.
constexpr int kIm = 1;

// A call that is answered with a D-Bus error.
struct Failure {
    QString name;
    QString message;
};

Failure invalidArgs(const QString &message)
{
    return {QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"), message};
}

// What a handle stands for; libpurple checks it for every handle passed in. None: substatuses,
// of which there are none here.
enum class Kind { None, Account, Connection, Buddy, Presence, Status, StatusType, Saved, Conv, Im };

// libpurple's type names, by Kind.
const char *const kTypeNames[] = {"PurpleSavedStatusSub", "PurpleAccount",     "PurpleConnection",
                                  "PurpleBuddy",          "PurplePresence",    "PurpleStatus",
                                  "PurpleStatusType",     "PurpleSavedStatus", "PurpleConversation",
                                  "PurpleConvIm"};

Failure invalidHandle(Kind kind, int handle)
{
    return {QStringLiteral("im.pidgin.purple.InvalidHandle"),
            QStringLiteral("%1 object with ID = %2 not found")
                .arg(QLatin1String(kTypeNames[static_cast<int>(kind)]))
                .arg(handle)};
}

struct Buddy {
    QString name;
    QString alias;
    int presence = 0;
};

struct Status {
    int type = 0;
    QString message;
};

struct Saved {
    QString title; // empty: a transient status
    int primitive = 0;
    QString message;
};

struct Conv {
    QString name;
    int im = 0;
};

struct Line {
    QString to;
    QString markup;
    int flags = 0;
};

using Args = QVariantList;
using Run = std::function<Args(const Args &)>;

// A method of one interface: its argument and answer signatures, and what it does.
struct Method {
    QString in;
    QString out;
    Run run;
};

Args one(const QVariant &value)
{
    return {value};
}

class FakePurple;

// Hands every call on one object path to its owner.
class Endpoint : public QDBusVirtualObject {
public:
    Endpoint(FakePurple &fake, bool control)
        : m_fake(fake)
        , m_control(control)
    {
    }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override;
    QString introspect(const QString &) const override;

private:
    FakePurple &m_fake;
    bool m_control;
};

class FakePurple {
public:
    FakePurple(const QString &user, const QStringList &buddies, int delayMs);
    bool publish(QString *error);

    // A call to libpurple's interface: carried out once its delay has passed.
    void queue(const QDBusMessage &call)
    {
        call.setDelayedReply(true);
        ++m_calls[call.member()];
        m_queue.push_back({call, m_clock.elapsed() + m_delay});
        runDue();
    }
    void control(const QDBusMessage &call) { answer(call, m_controlMethods); }
    QString introspect(bool control) const;

private:
    struct Pending {
        QDBusMessage call;
        qint64 due;
    };

    void addPurpleMethods();
    void addControlMethods();

    void runDue()
    {
        while (!m_queue.empty() && m_queue.front().due <= m_clock.elapsed()) {
            const QDBusMessage call = m_queue.front().call;
            m_queue.pop_front();
            answer(call, m_methods);
        }
        if (!m_queue.empty())
            m_timer.start(
                static_cast<int>(qMax<qint64>(0, m_queue.front().due - m_clock.elapsed())));
    }

    void answer(const QDBusMessage &call, const QHash<QString, Method> &methods)
    {
        QDBusMessage reply;
        try {
            const auto method = methods.constFind(call.member());
            if (method == methods.cend())
                throw Failure{QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                              QStringLiteral("Method \"%1\" with signature \"%2\" on interface "
                                             "\"%3\" doesn't exist")
                                  .arg(call.member(), call.signature(), call.interface())};
            if (call.signature() != method->in)
                throw invalidArgs(QStringLiteral("%1 takes \"%2\", not \"%3\"")
                                      .arg(call.member(), method->in, call.signature()));
            reply = call.createReply(method->run(call.arguments()));
        } catch (const Failure &failure) {
            reply = call.createErrorReply(failure.name, failure.message);
        }
        m_bus.send(reply);
    }

    void emitSignal(const QString &name, const QVariantList &arguments)
    {
        QDBusMessage signal = QDBusMessage::createSignal(fp::path, fp::interface, name);
        signal.setArguments(arguments);
        m_bus.send(signal);
    }

    int make(Kind kind)
    {
        m_kinds.insert(++m_lastHandle, kind);
        return m_lastHandle;
    }
    // A handle passed in: 0 is libpurple's NULL, which its functions take as nothing to do;
    // any other number must be an object of the kind wanted.
    int handle(const QVariant &argument, Kind kind) const
    {
        const int h = argument.toInt();
        if (h != 0 && m_kinds.value(h, Kind::None) != kind)
            throw invalidHandle(kind, h);
        return h;
    }
    int account(const QVariant &argument) const { return handle(argument, Kind::Account); }

    int findTransient(int primitive, const QString &message) const
    {
        for (auto it = m_saved.cbegin(); it != m_saved.cend(); ++it) {
            if (it->title.isEmpty() && it->primitive == primitive && it->message == message)
                return it.key();
        }
        return 0;
    }
    int newSaved(const QString &title, int primitive)
    {
        // libpurple keeps titles unique; it refuses a second status of the same title.
        for (const Saved &saved : qAsConst(m_saved)) {
            if (!title.isEmpty() && saved.title == title)
                return 0;
        }
        const int h = make(Kind::Saved);
        m_saved.insert(h, {title, primitive, QString()});
        return h;
    }
    // As libpurple does: each active account takes the status (raising AccountStatusChanged
    // when that changes it), then SavedstatusChanged.
    void activate(int saved)
    {
        if (!saved)
            return;
        const Saved &s = m_saved[saved];
        const int old = m_activeStatus;
        m_activeStatus = m_accountStatus.value(s.primitive);
        Status &now = m_statuses[m_activeStatus];
        if (m_activeStatus != old || now.message != s.message) {
            now.message = s.message;
            emitSignal(QStringLiteral("AccountStatusChanged"), {m_account, old, m_activeStatus});
        }
        const int before = m_currentSaved;
        m_currentSaved = saved;
        emitSignal(QStringLiteral("SavedstatusChanged"), {saved, before});
    }

    int findConversation(const QString &name) const
    {
        for (auto it = m_convs.cbegin(); it != m_convs.cend(); ++it) {
            if (it->name.compare(name, Qt::CaseInsensitive) == 0)
                return it.key();
        }
        return 0;
    }
    int conversation(const QString &name)
    {
        if (const int found = findConversation(name))
            return found;
        const int conv = make(Kind::Conv);
        const int im = make(Kind::Im);
        m_convs.insert(conv, {name, im});
        m_ims.insert(im, conv);
        return conv;
    }
    void send(const QVariant &im, const QString &markup, int flags)
    {
        if (const int h = handle(im, Kind::Im))
            m_lines.append({m_convs.value(m_ims.value(h)).name, markup, flags});
    }

    QDBusConnection m_bus = QDBusConnection::sessionBus();
    Endpoint m_purpleObject{*this, false};
    Endpoint m_controlObject{*this, true};
    QHash<QString, Method> m_methods;
    QHash<QString, Method> m_controlMethods;

    int m_delay;
    std::deque<Pending> m_queue;
    QTimer m_timer;
    QElapsedTimer m_clock;
    QHash<QString, int> m_calls;

    int m_lastHandle = 0;
    QHash<int, Kind> m_kinds;
    int m_account = 0;
    QString m_user;
    QString m_alias;
    QString m_userInfo;
    int m_connection = 0;
    QMap<int, int> m_typePrimitive;  // status type -> primitive
    QHash<int, int> m_accountStatus; // primitive -> the account's status of that type
    int m_activeStatus = 0;
    QHash<int, Status> m_statuses;
    QList<int> m_buddyOrder;
    QHash<int, Buddy> m_buddies;
    QHash<int, int> m_presences; // presence -> its active status
    QMap<int, Saved> m_saved;
    int m_currentSaved = 0;
    QMap<int, Conv> m_convs;
    QHash<int, int> m_ims; // IM -> its conversation
    QList<Line> m_lines;
};

bool Endpoint::handleMessage(const QDBusMessage &message, const QDBusConnection &)
{
    if (message.interface() != (m_control ? fp::controlInterface : fp::interface))
        return false;
    if (m_control)
        m_fake.control(message);
    else
        m_fake.queue(message);
    return true;
}

QString Endpoint::introspect(const QString &) const
{
    return m_fake.introspect(m_control);
}

FakePurple::FakePurple(const QString &user, const QStringList &buddies, int delayMs)
    : m_delay(delayMs)
    , m_user(user)
{
    m_clock.start();
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { runDue(); });

    m_account = make(Kind::Account);
    m_connection = make(Kind::Connection);
    for (int primitive = kOffline; primitive <= kLastPrimitive; ++primitive) {
        const int type = make(Kind::StatusType);
        m_typePrimitive.insert(type, primitive);
        const int status = make(Kind::Status);
        m_statuses.insert(status, {type, QString()});
        m_accountStatus.insert(primitive, status);
    }
    m_activeStatus = m_accountStatus.value(kAvailable);
    m_currentSaved = newSaved(QString(), kAvailable);
    const int availableType = m_statuses.value(m_activeStatus).type;
    for (const QString &buddy : buddies) {
        const int h = make(Kind::Buddy);
        const int presence = make(Kind::Presence);
        const int status = make(Kind::Status);
        m_statuses.insert(status, {availableType, QString()});
        m_presences.insert(presence, status);
        const QString name = buddy.section(QLatin1Char('='), 0, 0);
        const QString alias = buddy.section(QLatin1Char('='), 1);
        m_buddies.insert(h, {name, alias.isEmpty() ? name : alias, presence});
        m_buddyOrder.append(h);
    }
    addPurpleMethods();
    addControlMethods();
}

void FakePurple::addPurpleMethods()
{
    const auto def = [this](const char *name, const char *in, const char *out, Run run) {
        m_methods.insert(QLatin1String(name), {QLatin1String(in), QLatin1String(out), run});
    };
    def("PurpleCoreGetUi", "", "s", [](const Args &) { return one(QStringLiteral("gnt-purple")); });

    // The one account, and the connection it has while signed in.
    def("PurpleAccountsGetAllActive", "", "ai",
        [this](const Args &) { return one(QVariant::fromValue(QList<int>{m_account})); });
    def("PurpleAccountsFind", "ss", "i",
        [this](const Args &a) { return one(a[0].toString() == m_user ? m_account : 0); });
    def("PurpleAccountGetUsername", "i", "s",
        [this](const Args &a) { return one(account(a[0]) ? m_user : QString()); });
    def("PurpleAccountGetProtocolId", "i", "s", [this](const Args &a) {
        return one(account(a[0]) ? QStringLiteral("prpl-jabber") : QString());
    });
    def("PurpleAccountIsConnected", "i", "i",
        [this](const Args &a) { return one(account(a[0]) && m_connection ? 1 : 0); });
    def("PurpleAccountGetConnection", "i", "i",
        [this](const Args &a) { return one(account(a[0]) ? m_connection : 0); });
    def("PurpleAccountGetPrivacyType", "i", "i",
        [this](const Args &a) { return one(account(a[0]) ? kAllowAll : 0); });
    def("PurpleAccountGetActiveStatus", "i", "i",
        [this](const Args &a) { return one(account(a[0]) ? m_activeStatus : 0); });
    def("PurpleAccountGetAlias", "i", "s",
        [this](const Args &a) { return one(account(a[0]) ? m_alias : QString()); });
    def("PurpleAccountSetAlias", "is", "", [this](const Args &a) {
        if (account(a[0]))
            m_alias = a[1].toString();
        return Args();
    });
    def("PurpleAccountGetUserInfo", "i", "s",
        [this](const Args &a) { return one(account(a[0]) ? m_userInfo : QString()); });
    def("PurpleAccountSetUserInfo", "is", "", [this](const Args &a) {
        if (account(a[0]))
            m_userInfo = a[1].toString();
        return Args();
    });
    def("ServSetInfo", "is", "", [this](const Args &a) {
        handle(a[0], Kind::Connection);
        return Args();
    });
    def("PurpleConnectionErrorIsFatal", "i", "i", [](const Args &a) {
        const int type = a[0].toInt();
        return one(type == kNetworkError || type == kEncryptionError ? 0 : 1);
    });

    // Buddies and their statuses.
    def("PurpleFindBuddies", "is", "ai", [this](const Args &a) {
        QList<int> found;
        for (const int b : m_buddyOrder) {
            if (account(a[0]) && (a[1].toString().isEmpty() || m_buddies[b].name == a[1]))
                found << b;
        }
        return one(QVariant::fromValue(found));
    });
    def("PurpleBuddyGetName", "i", "s",
        [this](const Args &a) { return one(m_buddies.value(handle(a[0], Kind::Buddy)).name); });
    def("PurpleBuddyGetAlias", "i", "s",
        [this](const Args &a) { return one(m_buddies.value(handle(a[0], Kind::Buddy)).alias); });
    def("PurpleBuddyGetPresence", "i", "i",
        [this](const Args &a) { return one(m_buddies.value(handle(a[0], Kind::Buddy)).presence); });
    def("PurpleBuddyGetAccount", "i", "i",
        [this](const Args &a) { return one(handle(a[0], Kind::Buddy) ? m_account : 0); });
    def("PurplePresenceGetActiveStatus", "i", "i",
        [this](const Args &a) { return one(m_presences.value(handle(a[0], Kind::Presence))); });
    def("PurpleStatusGetType", "i", "i",
        [this](const Args &a) { return one(m_statuses.value(handle(a[0], Kind::Status)).type); });
    def("PurpleStatusGetMessage", "i", "s", [this](const Args &a) {
        return one(m_statuses.value(handle(a[0], Kind::Status)).message);
    });
    def("PurpleStatusTypeGetPrimitive", "i", "i", [this](const Args &a) {
        return one(m_typePrimitive.value(handle(a[0], Kind::StatusType)));
    });

    // Saved statuses: the user's own status, shared by every account.
    def("PurpleSavedstatusGetCurrent", "", "i",
        [this](const Args &) { return one(m_currentSaved); });
    def("PurpleSavedstatusGetType", "i", "i",
        [this](const Args &a) { return one(m_saved.value(handle(a[0], Kind::Saved)).primitive); });
    def("PurpleSavedstatusGetMessage", "i", "s",
        [this](const Args &a) { return one(m_saved.value(handle(a[0], Kind::Saved)).message); });
    def("PurpleSavedstatusGetSubstatus", "ii", "i", [this](const Args &a) {
        handle(a[0], Kind::Saved);
        account(a[1]);
        return one(0);
    });
    // No saved status here has substatuses: every handle but NULL is wrong.
    def("PurpleSavedstatusSubstatusGetType", "i", "i", [](const Args &a) {
        if (a[0].toInt())
            throw invalidHandle(Kind::None, a[0].toInt());
        return one(0);
    });
    def("PurpleSavedstatusFindTransientByTypeAndMessage", "is", "i",
        [this](const Args &a) { return one(findTransient(a[0].toInt(), a[1].toString())); });
    def("PurpleSavedstatusNew", "si", "i",
        [this](const Args &a) { return one(newSaved(a[0].toString(), a[1].toInt())); });
    def("PurpleSavedstatusSetMessage", "is", "", [this](const Args &a) {
        if (const int saved = handle(a[0], Kind::Saved))
            m_saved[saved].message = a[1].toString();
        return Args();
    });
    def("PurpleSavedstatusActivate", "i", "", [this](const Args &a) {
        activate(handle(a[0], Kind::Saved));
        return Args();
    });

    // Conversations: found or made by name; only IMs here.
    def("PurpleConversationNew", "iis", "i", [this](const Args &a) {
        const bool ok = account(a[1]) && a[0].toInt() == kIm;
        return one(ok ? conversation(a[2].toString()) : 0);
    });
    def("PurpleConvIm", "i", "i",
        [this](const Args &a) { return one(m_convs.value(handle(a[0], Kind::Conv)).im); });
    def("PurpleConvImSend", "is", "", [this](const Args &a) {
        send(a[0], a[1].toString(), 0);
        return Args();
    });
    def("PurpleConvImSendWithFlags", "isi", "", [this](const Args &a) {
        send(a[0], a[1].toString(), a[2].toInt());
        return Args();
    });
}

void FakePurple::addControlMethods()
{
    const auto def = [this](const char *name, const char *in, const char *out, Run run) {
        m_controlMethods.insert(QLatin1String(name), {QLatin1String(in), QLatin1String(out), run});
    };
    // A buddy's message arrives. conv is 0 for the first one of a conversation, as in libpurple,
    // which opens the conversation after raising the signal.
    def("Deliver", "ssu", "", [this](const Args &a) {
        const QString sender = a[0].toString();
        const int conv = findConversation(sender);
        emitSignal(QStringLiteral("ReceivedImMsg"),
                   {m_account, sender, a[1], conv, QVariant::fromValue(a[2].toUInt() | kReceived)});
        conversation(sender);
        return Args();
    });
    def("SetDelay", "i", "", [this](const Args &a) {
        m_delay = qMax(0, a[0].toInt());
        return Args();
    });
    // The lines sent so far, oldest first: to whom, the markup, the flags.
    def("SentLines", "", "asasai", [this](const Args &) {
        QStringList to, markup;
        QList<int> flags;
        for (const Line &line : qAsConst(m_lines)) {
            to << line.to;
            markup << line.markup;
            flags << line.flags;
        }
        return Args{to, markup, QVariant::fromValue(flags)};
    });
    // Calls of a method of libpurple's interface that arrived, answered or not yet.
    def("CallCount", "s", "i",
        [this](const Args &a) { return one(m_calls.value(a[0].toString())); });
    def("SignOn", "", "", [this](const Args &) {
        if (!m_connection)
            m_connection = make(Kind::Connection);
        emitSignal(QStringLiteral("AccountSignedOn"), {m_account});
        return Args();
    });
    def("SignOff", "", "", [this](const Args &) {
        m_kinds.remove(m_connection);
        m_connection = 0;
        emitSignal(QStringLiteral("AccountSignedOff"), {m_account});
        return Args();
    });
    // Only the signal: the sign-off that follows in libpurple is SignOff's.
    def("ConnectionError", "is", "", [this](const Args &a) {
        emitSignal(QStringLiteral("AccountConnectionError"), {m_account, a[0].toInt(), a[1]});
        return Args();
    });
    // The user picks a status, with a message, in the client's status box.
    def("SetStatus", "is", "", [this](const Args &a) {
        const int primitive = a[0].toInt();
        if (primitive < kOffline || primitive > kLastPrimitive)
            throw invalidArgs(QStringLiteral("no status primitive %1").arg(primitive));
        int saved = findTransient(primitive, a[1].toString());
        if (!saved) {
            saved = newSaved(QString(), primitive);
            m_saved[saved].message = a[1].toString();
        }
        activate(saved);
        return Args();
    });
    // The user closes the conversation's window: its handles are gone.
    def("CloseConversation", "s", "b", [this](const Args &a) {
        const int conv = findConversation(a[0].toString());
        if (conv) {
            m_kinds.remove(m_convs.value(conv).im);
            m_kinds.remove(conv);
            m_ims.remove(m_convs.take(conv).im);
        }
        return one(conv != 0);
    });
    // The client quits: Quitting, then it leaves the bus; calls still waiting get no answer.
    def("Quit", "", "", [this](const Args &) {
        emitSignal(QStringLiteral("Quitting"), {});
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        return Args();
    });
}

QString FakePurple::introspect(bool control) const
{
    const QHash<QString, Method> &methods = control ? m_controlMethods : m_methods;
    QString xml = QStringLiteral("<interface name=\"%1\">\n")
                      .arg(control ? fp::controlInterface : fp::interface);
    for (auto it = methods.cbegin(); it != methods.cend(); ++it) {
        xml += QStringLiteral("<method name=\"%1\">").arg(it.key());
        const auto args = [&](const QString &signature, const char *direction) {
            // Only basic types and arrays of them.
            for (int i = 0; i < signature.size(); ++i) {
                const int length = signature[i] == QLatin1Char('a') ? 2 : 1;
                xml += QStringLiteral("<arg type=\"%1\" direction=\"%2\"/>")
                           .arg(signature.mid(i, length), QLatin1String(direction));
                i += length - 1;
            }
        };
        args(it->in, "in");
        args(it->out, "out");
        xml += QStringLiteral("</method>\n");
    }
    return xml + QStringLiteral("</interface>\n");
}

bool FakePurple::publish(QString *error)
{
    if (!m_bus.isConnected()) {
        *error = QStringLiteral("no session bus: ") + m_bus.lastError().message();
        return false;
    }
    // The objects first: once the name is taken, everything answers.
    if (!m_bus.registerVirtualObject(fp::path, &m_purpleObject) ||
        !m_bus.registerVirtualObject(fp::controlPath, &m_controlObject)) {
        *error = QStringLiteral("cannot register the objects");
        return false;
    }
    if (!m_bus.registerService(fp::service)) {
        *error = QStringLiteral("cannot own %1: %2").arg(fp::service, m_bus.lastError().message());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A fake libpurple client on the session bus"));
    parser.addHelpOption();
    const QCommandLineOption account(QStringLiteral("account"),
                                     QStringLiteral("The account's user name."),
                                     QStringLiteral("name"), QStringLiteral("me@localhost/fake"));
    const QCommandLineOption delay(QStringLiteral("delay"),
                                   QStringLiteral("Each call is answered so many ms late."),
                                   QStringLiteral("ms"), QStringLiteral("0"));
    parser.addOptions({account, delay});
    parser.addPositionalArgument(QStringLiteral("buddy"), QStringLiteral("name or name=alias"),
                                 QStringLiteral("[buddy...]"));
    parser.process(app);
    bool ok = false;
    const int delayMs = parser.value(delay).toInt(&ok);
    if (!ok || delayMs < 0) {
        std::fprintf(stderr, "fake_purple: --delay takes a number of ms\n");
        return 2;
    }

    FakePurple fake(parser.value(account), parser.positionalArguments(), delayMs);
    QString error;
    if (!fake.publish(&error)) {
        std::fprintf(stderr, "fake_purple: %s\n", qPrintable(error));
        return 1;
    }
    return app.exec();
}
