#include "control/controlservice.h"

#include "extensionsadaptor.h"

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QTextStream>

namespace zelmo {

namespace {

QString errorName(RemoteControl::Error error)
{
    const auto name = [](const char *last) -> QString {
        return control::errorPrefix() + QLatin1String(last);
    };
    switch (error) {
    case RemoteControl::Error::None:
        break;
    case RemoteControl::Error::NotConnected:
        return name("NotConnected");
    case RemoteControl::Error::StatusNotChanged:
        return name("StatusNotChanged");
    case RemoteControl::Error::UnknownContact:
        return name("UnknownContact");
    case RemoteControl::Error::EmptyMessage:
        return name("EmptyMessage");
    case RemoteControl::Error::NotStored:
        return name("NotStored");
    case RemoteControl::Error::BadCode:
        return name("BadCode");
    }
    return name("Failed");
}

} // namespace

QString ControlService::busName(const QString &accountKey)
{
    QString element;
    const QByteArray bytes = accountKey.toUtf8();
    for (const char c : bytes) {
        const bool alnum =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        // An element must not start with a digit.
        if (alnum && !(element.isEmpty() && c >= '0' && c <= '9'))
            element += QLatin1Char(c);
        else
            element +=
                QStringLiteral("_%1").arg(static_cast<unsigned char>(c), 2, 16, QLatin1Char('0'));
    }
    // Bus names end at 255 characters.
    if (element.isEmpty() || busNamePrefix().size() + element.size() > 255)
        element =
            QStringLiteral("h") +
            QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
    return busNamePrefix() + element;
}

ControlService::ControlService(Program &program, MessengerObject *messenger,
                               const QString &accountKey, const QString &shownAccount,
                               QObject *parent)
    : QObject(parent)
    , m_remote(program, messenger)
    , m_busName(busName(accountKey))
    , m_account(shownAccount.isEmpty() ? accountKey : shownAccount)
{
    new ExtensionsAdaptor(this);
    connect(&m_remote, &RemoteControl::awayChanged, this, &ControlService::AwayChanged);
    connect(&m_remote, &RemoteControl::messageAnswered, this, &ControlService::MessageAnswered);

    QDBusConnection bus = QDBusConnection::sessionBus();
    QString problem;
    if (!bus.isConnected())
        problem = QStringLiteral("no D-Bus session bus (%1)").arg(bus.lastError().message());
    else if (!bus.registerObject(objectPath(), this))
        problem = QStringLiteral("its object could not be registered");
    else if (!bus.registerService(m_busName))
        problem = QStringLiteral("the name %1 could not be had (%2)")
                      .arg(m_busName, bus.lastError().message());
    m_registered = problem.isEmpty();
    if (!m_registered)
        QTextStream(stderr) << "zelmo: zelmoctl cannot reach this copy: " << problem << '\n';
}

ControlService::~ControlService()
{
    if (!m_registered)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(m_busName);
    bus.unregisterObject(objectPath());
}

void ControlService::answer(const RemoteControl::Result &result)
{
    if (!result.ok())
        sendErrorReply(errorName(result.error), result.text);
}

void ControlService::switchTo(bool away)
{
    // The answer waits for the messenger; the call it answers travels with it.
    setDelayedReply(true);
    const QDBusMessage call = message();
    QDBusConnection bus = connection();
    const auto done = [call, bus](const RemoteControl::Result &result) mutable {
        bus.send(result.ok() ? call.createReply()
                             : call.createErrorReply(errorName(result.error), result.text));
    };
    if (away)
        m_remote.goAway(done);
    else
        m_remote.comeBack(done);
}

void ControlService::Away()
{
    switchTo(true);
}

void ControlService::Back()
{
    switchTo(false);
}

bool ControlService::Status(QString &state, QString &account)
{
    const RemoteControl::Status status = m_remote.status();
    state = status.state;
    account = m_account;
    return status.away;
}

void ControlService::SetMessage(const QString &contact, const QString &text)
{
    answer(m_remote.setMessage(contact, text));
}

void ControlService::SetMessageForEveryone(const QString &text)
{
    answer(m_remote.setMessageForEveryone(text));
}

void ControlService::UnsetMessage(const QString &contact)
{
    answer(m_remote.unsetMessage(contact));
}

void ControlService::UnsetMessageForEveryone()
{
    answer(m_remote.unsetMessageForEveryone());
}

QStringList ControlService::ListMessages(QStringList &texts)
{
    QStringList contacts;
    for (const RemoteControl::Message &m : m_remote.messages()) {
        contacts.append(m.logonName);
        texts.append(m.text);
    }
    return contacts;
}

QStringList ControlService::ReadRecord(QStringList &contacts, QStringList &texts)
{
    QStringList times;
    for (const RemoteControl::RecordRow &row : m_remote.record()) {
        times.append(row.time.toOffsetFromUtc(row.time.offsetFromUtc()).toString(Qt::ISODate));
        contacts.append(row.logonName);
        texts.append(row.what);
    }
    return times;
}

void ControlService::SetCode(const QString &code)
{
    answer(m_remote.setCode(code));
}

} // namespace zelmo
