#include "bench/fakepurple/fakepurpleservice.h"

#include "bench/fakepurple/fakepurplenames.h"
#include "support/waituntil.h"

#include <QDBusArgument>
#include <QProcessEnvironment>

namespace zelmo::test {

namespace {

namespace fp = zelmo::fakepurple;
// Well below the tests' own bounds, so that a stuck client shows as an error.
constexpr int kControlTimeoutMs = 5000;

} // namespace

FakePurpleService::FakePurpleService(const QStringList &buddies, const QString &account,
                                     int delayMs)
    : m_arguments(QStringList{QStringLiteral("--account"), account, QStringLiteral("--delay"),
                              QString::number(delayMs)} +
                  buddies)
{
}

FakePurpleService::~FakePurpleService()
{
    kill();
}

bool FakePurpleService::start(QString *error, int timeoutMs)
{
    if (running()) {
        *error = QStringLiteral("the fake client already runs");
        return false;
    }
    if (!m_bus.start(error))
        return false;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus.address());
    m_client.setProcessEnvironment(env);
    m_client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_client.start(QStringLiteral(ZELMO_FAKE_PURPLE), m_arguments);
    if (!m_client.waitForStarted(10000)) {
        *error = QStringLiteral("fake_purple did not start: ") + m_client.errorString();
        return false;
    }
    if (waitUntil([&] { return !running() || m_bus.hasOwner(fp::service); }, timeoutMs) &&
        running())
        return true;
    *error = running() ? QStringLiteral("fake_purple did not take libpurple's name")
                       : QStringLiteral("fake_purple ended at once");
    kill();
    return false;
}

bool FakePurpleService::running() const
{
    return m_client.state() != QProcess::NotRunning;
}

QDBusMessage FakePurpleService::call(const QString &method, const QVariantList &arguments) const
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(fp::service, fp::path, fp::interface, method);
    message.setArguments(arguments);
    return connection().call(message, QDBus::Block, 60000);
}

QDBusMessage FakePurpleService::control(const QString &method, const QVariantList &arguments) const
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(fp::service, fp::controlPath, fp::controlInterface, method);
    message.setArguments(arguments);
    const QDBusMessage reply = connection().call(message, QDBus::Block, kControlTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage)
        qWarning("fake_purple: %s failed: %s", qPrintable(method),
                 qPrintable(reply.errorMessage()));
    return reply;
}

void FakePurpleService::deliver(const QString &sender, const QString &markup, uint flags) const
{
    control(QStringLiteral("Deliver"), {sender, markup, flags});
}

void FakePurpleService::setDelay(int ms) const
{
    control(QStringLiteral("SetDelay"), {ms});
}

QList<FakePurpleService::Line> FakePurpleService::sentLines() const
{
    const QVariantList answer = control(QStringLiteral("SentLines")).arguments();
    if (answer.size() != 3)
        return {};
    const QStringList to = qdbus_cast<QStringList>(answer[0]);
    const QStringList markup = qdbus_cast<QStringList>(answer[1]);
    const QList<int> flags = qdbus_cast<QList<int>>(answer[2]);
    QList<Line> lines;
    for (int i = 0; i < to.size() && i < markup.size() && i < flags.size(); ++i)
        lines.append({to[i], markup[i], flags[i]});
    return lines;
}

int FakePurpleService::callCount(const QString &method) const
{
    return control(QStringLiteral("CallCount"), {method}).arguments().value(0).toInt();
}

void FakePurpleService::signOn() const
{
    control(QStringLiteral("SignOn"));
}

void FakePurpleService::signOff() const
{
    control(QStringLiteral("SignOff"));
}

void FakePurpleService::connectionError(int type, const QString &description) const
{
    control(QStringLiteral("ConnectionError"), {type, description});
}

void FakePurpleService::setStatus(int primitive, const QString &message) const
{
    control(QStringLiteral("SetStatus"), {primitive, message});
}

bool FakePurpleService::closeConversation(const QString &name) const
{
    return control(QStringLiteral("CloseConversation"), {name}).arguments().value(0).toBool();
}

void FakePurpleService::quit(int timeoutMs)
{
    if (!running())
        return;
    control(QStringLiteral("Quit"));
    waitUntil([&] { return !running() && !m_bus.hasOwner(fp::service); }, timeoutMs);
    kill();
}

void FakePurpleService::kill()
{
    if (!running())
        return;
    m_client.kill();
    m_client.waitForFinished(5000);
    waitUntil([&] { return !m_bus.hasOwner(fp::service); }, 5000);
}

QString FakePurpleService::log() const
{
    return QStringLiteral("--- the bus\n") + m_bus.log();
}

} // namespace zelmo::test
