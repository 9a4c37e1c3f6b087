#include "app/xmppsetup.h"

#include "app/endreport.h"
#include "app/lines.h"
#include "platform/messenger/xmpp/xmppmessenger.h"
#include "ui/passworddialog.h"

#include <qt5keychain/keychain.h>

#include <QEventLoop>
#include <QTextStream>
#include <QTimer>

namespace zelmo {

namespace {

constexpr char passwordVariable[] = "ZELMO_XMPP_PASSWORD";

// Runs a keyring job and waits at most timeoutMs for it. A job that does not finish in time
// is left to delete itself whenever it does.
bool runJob(QKeychain::Job *job, int timeoutMs)
{
    job->setAutoDelete(false);
    QEventLoop loop;
    bool finished = false;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    job->start();
    if (!finished)
        loop.exec();
    if (!finished) {
        QObject::disconnect(job, nullptr, &loop, nullptr);
        job->setAutoDelete(true);
    }
    return finished;
}

class XmppBackend : public MessengerBackend {
public:
    XmppBackend(const xmpp::XmppAccount &account, bool keepPassword)
        : m_messenger(account)
        , m_end(m_messenger, [this] { return m_messenger.lastError(); })
    {
        QString toKeep = keepPassword ? account.password : QString();
        QObject::connect(&m_messenger, &xmpp::XmppMessenger::signInFinished, &m_messenger,
                         [this, toKeep](bool succeeded) mutable {
                             if (succeeded && !toKeep.isEmpty()) {
                                 // Kept only once the server took it, and outside the
                                 // client's handler: the keyring is waited for.
                                 QTimer::singleShot(0, &m_messenger,
                                                    [this, toKeep] { keep(toKeep); });
                             }
                             toKeep.clear();
                         });
    }

    MessengerObject &messenger() override { return m_messenger; }
    QString endReason() const override { return m_end.reason(); }
    bool credentialsRefused() const override { return m_messenger.credentialsRefused(); }

    void signInAndWait()
    {
        QEventLoop loop;
        QObject::connect(&m_messenger, &xmpp::XmppMessenger::signInFinished, &loop,
                         &QEventLoop::quit);
        m_messenger.signIn();
        // The sign-in ends by itself, at the latest when its own time limit has passed.
        if (m_messenger.serviceStatus() == ServiceStatus::Synchronizing)
            loop.exec();
    }

private:
    void keep(const QString &password)
    {
        QString error;
        if (!writeKeyringPassword(m_messenger.accountJid(), password, &error))
            writeLine(LinePriority::Warning,
                      QStringLiteral("the password could not be kept in the keyring: ") + error);
    }

    xmpp::XmppMessenger m_messenger;
    EndReport m_end;
};

} // namespace

QString keyringService()
{
    return QStringLiteral("Zelmo Extensions");
}

std::optional<QString> takePasswordFromEnvironment()
{
    if (!qEnvironmentVariableIsSet(passwordVariable))
        return std::nullopt;
    const QString password = qEnvironmentVariable(passwordVariable);
    qunsetenv(passwordVariable);
    if (password.isEmpty())
        return std::nullopt;
    return password;
}

KeyringRead readKeyringPassword(const QString &account, int timeoutMs)
{
    auto *job = new QKeychain::ReadPasswordJob(keyringService());
    job->setKey(account);
    KeyringRead result;
    if (!runJob(job, timeoutMs))
        return result;
    if (job->error() == QKeychain::NoError) {
        result.password = job->textData();
        result.keyringAnswered = true;
    } else if (job->error() == QKeychain::EntryNotFound) {
        result.keyringAnswered = true;
    }
    delete job;
    return result;
}

bool writeKeyringPassword(const QString &account, const QString &password, QString *error,
                          int timeoutMs)
{
    auto *job = new QKeychain::WritePasswordJob(keyringService());
    job->setKey(account);
    job->setTextData(password);
    if (!runJob(job, timeoutMs)) {
        *error = QStringLiteral("the keyring did not answer");
        return false;
    }
    const bool written = job->error() == QKeychain::NoError;
    if (!written)
        *error = job->errorString();
    delete job;
    return written;
}

std::unique_ptr<MessengerBackend> createXmppBackend(const Options &options, QString *error,
                                                    int *exitCode)
{
    xmpp::XmppAccount account;
    account.jid = options.xmppJid;
    account.host = options.xmppHost;
    account.port = options.xmppPort;
    account.insecurePlaintext = options.insecurePlaintext;
    account.acceptStrangers = options.acceptStrangers;
    account.reconnectLimitMs = options.reconnectLimitS * 1000;

    const QString bare = account.jid.section(QLatin1Char('/'), 0, 0).toLower();
    bool keep = false;
    if (const auto fromEnvironment = takePasswordFromEnvironment()) {
        account.password = *fromEnvironment;
    } else {
        const KeyringRead stored = readKeyringPassword(bare);
        if (stored.password) {
            account.password = *stored.password;
        } else if (options.headless) {
            // Nobody to ask: a service started without a password would fail the same way
            // each time it is started again.
            *error = QStringLiteral("no password for %1, and nobody to ask without a display: set "
                                    "ZELMO_XMPP_PASSWORD, or keep the password in the keyring "
                                    "by starting once with a display")
                         .arg(bare);
            *exitCode = exitNoPassword;
            return nullptr;
        } else {
            const auto answer = PasswordDialog::ask(bare, stored.keyringAnswered);
            if (!answer) {
                *error = QStringLiteral("no password for %1, so no sign-in").arg(bare);
                *exitCode = 1;
                return nullptr;
            }
            account.password = answer->password;
            keep = answer->save;
        }
    }

    auto backend = std::make_unique<XmppBackend>(account, keep);
    account.password.clear();
    backend->signInAndWait();
    return backend;
}

} // namespace zelmo
