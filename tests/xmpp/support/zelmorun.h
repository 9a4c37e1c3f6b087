#pragma once

// The real program, started headless on an XMPP account, as a user would start it.

#include "support/waituntil.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace zelmo::test {

class ZelmoRun {
public:
    // password: put in ZELMO_XMPP_PASSWORD; empty: the variable is not set.
    ZelmoRun(const QStringList &arguments, const QString &password)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("ZELMO_XMPP_PASSWORD"));
        if (!password.isEmpty())
            env.insert(QStringLiteral("ZELMO_XMPP_PASSWORD"), password);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(QStringLiteral(ZELMO_BINARY), arguments);
        m_process.waitForStarted(10000);
    }

    ~ZelmoRun()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }

    static QStringList accountArguments(const QString &jid, const QString &server)
    {
        return {QStringLiteral("--xmpp"), jid, QStringLiteral("--server"), server,
                QStringLiteral("--insecure-plaintext")};
    }

    // Spins the event loop (the test's own clients keep working) until the program ends.
    bool waitForExit(int timeoutMs)
    {
        return waitUntil([this] { return m_process.state() == QProcess::NotRunning; }, timeoutMs);
    }
    bool running() const { return m_process.state() != QProcess::NotRunning; }
    int exitCode() const { return m_process.exitCode(); }
    bool crashed() const { return m_process.exitStatus() == QProcess::CrashExit; }
    QString output()
    {
        m_output += QString::fromLocal8Bit(m_process.readAll());
        return m_output;
    }

private:
    QProcess m_process;
    QString m_output;
};

} // namespace zelmo::test
