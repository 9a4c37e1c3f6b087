#include "app/xmppsetup.h"

#include "core/program.h"
#include "platform/messenger/xmpp/xmppmessenger.h"
#include "ui/form1.h"
#include "ui/passworddialog.h"

#include <qt5keychain/keychain.h>

#include <QApplication>
#include <QEvent>
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
        , m_display([this] { return m_messenger.lastError(); })
    {
        QString toKeep = keepPassword ? account.password : QString();
        QObject::connect(&m_messenger, &xmpp::XmppMessenger::signInFinished, &m_messenger,
                         [this, toKeep](bool succeeded) mutable {
                             if (!succeeded) {
                                 report();
                             } else if (!toKeep.isEmpty()) {
                                 // Kept only once the server took it, and outside the
                                 // client's handler: the keyring is waited for.
                                 QTimer::singleShot(0, &m_messenger,
                                                    [this, toKeep] { keep(toKeep); });
                             }
                             toKeep.clear();
                         });
        QObject::connect(&m_messenger, &xmpp::XmppMessenger::connectionLost, &m_messenger,
                         [this] { report(); });
    }

    MessengerObject &messenger() override { return m_messenger; }

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
    void report()
    {
        QTextStream(stderr) << "zelmo: " << m_messenger.lastError() << '\n';
        m_display.refreshLater();
    }

    void keep(const QString &password)
    {
        QString error;
        if (!writeKeyringPassword(m_messenger.accountJid(), password, &error))
            QTextStream(stderr) << "zelmo: the password could not be kept in the keyring: " << error
                                << '\n';
    }

    xmpp::XmppMessenger m_messenger;
    FailureReasonDisplay m_display;
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

FailureReasonDisplay::FailureReasonDisplay(std::function<QString()> reason, QObject *parent)
    : QObject(parent)
    , m_reason(std::move(reason))
{
    // The main window is made after the client, by code that does not know of this.
    qApp->installEventFilter(this);
}

FailureReasonDisplay::~FailureReasonDisplay() = default;

void FailureReasonDisplay::refreshLater()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            const auto windows = QApplication::topLevelWidgets();
            for (QWidget *window : windows)
                refresh(window);
        },
        Qt::QueuedConnection);
}

void FailureReasonDisplay::refresh(QObject *window)
{
    // A window still being made sets its title before it has the text to add to.
    auto *form = qobject_cast<Form1 *>(window);
    if (!form || !form->isVisible())
        return;
    const QString reason = m_reason();
    if (reason.isEmpty())
        return;
    // Smaller than the program's own text, so that both fit the area.
    QString said = reason.toHtmlEscaped();
    said[0] = said[0].toUpper();
    form->setNotConnectedText(form->program().notConnectedText() +
                              QStringLiteral("<br><span style=\"font-size: 8pt\">") + said +
                              QStringLiteral("</span>"));
}

bool FailureReasonDisplay::eventFilter(QObject *watched, QEvent *event)
{
    // The not-connected display writes its fixed text, then the countdown sets the title:
    // the reason goes back under the text at once. Showing the window comes before the text,
    // so the reason follows once that handler is done.
    if (event->type() == QEvent::WindowTitleChange)
        refresh(watched);
    else if (event->type() == QEvent::Show && qobject_cast<Form1 *>(watched))
        refreshLater();
    return false;
}

} // namespace zelmo
