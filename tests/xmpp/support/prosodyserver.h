#pragma once

// A real Prosody for one test: on 127.0.0.1 at a free port, without TLS, with everything
// (configuration, accounts, rosters, block lists, log) in a temporary folder that goes with
// the object. The server runs in the foreground of its own process, no daemon.

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class QXmppConfiguration;

namespace zelmo::test {

class ProsodyServer {
public:
    ProsodyServer();
    ~ProsodyServer();

    ProsodyServer(const ProsodyServer &) = delete;
    ProsodyServer &operator=(const ProsodyServer &) = delete;

    static QString domain() { return QStringLiteral("localhost"); }
    static QString jid(const QString &user) { return user + QLatin1Char('@') + domain(); }

    // Prosody reads these files when the user signs in: write them before, while it runs
    // or not. User names are plain lower-case letters and digits.
    void addAccount(const QString &user, const QString &password = QStringLiteral("pw"));
    struct RosterItem {
        QString user; // on this server
        QString name; // empty: none
        QString subscription = QStringLiteral("both");
    };
    void setRoster(const QString &user, const QList<RosterItem> &items);
    void setBlocklist(const QString &user, const QStringList &blockedJids);

    // Offer TLS, and require it, with a self-signed certificate that no client trusts.
    // Call before start().
    void useSelfSignedTls() { m_tls = true; }
    // Messages to an account with no client signed in are kept and delivered, stamped, later.
    void keepOfflineMessages() { m_offline = true; }

    // Starts the server and waits until it takes connections; false with the reason.
    bool start(QString *error);
    // Asks it to end (SIGTERM) and waits, as an administrator stopping it would.
    void stop();
    bool running() const { return m_process.state() != QProcess::NotRunning; }

    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return m_port; }
    // host:port, as --server takes it.
    QString address() const;
    // What a client of this server signs in with: without TLS, and without reconnecting on
    // its own.
    QXmppConfiguration clientConfig(const QString &user, const QString &resource,
                                    const QString &password = QStringLiteral("pw")) const;
    // The server's own log, to understand a failing test.
    QString log() const;

private:
    QString dataFile(const QString &store, const QString &user) const;
    bool startOnce(QString *error);

    // Ends with the test: a test that crashes leaves no server behind.
    class Process : public QProcess {
    protected:
        void setupChildProcess() override;
    };

    QTemporaryDir m_dir;
    Process m_process;
    quint16 m_port = 0;
    bool m_tls = false;
    bool m_offline = false;
};

} // namespace zelmo::test
