#pragma once

#include "control/controlnames.h"
#include "core/remotecontrol.h"

#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QStringList>

namespace zelmo {

class Program;

// The program's control interface on the session bus (net.zelmo.Extensions1, described in
// net.zelmo.Extensions1.xml, whose generated adaptor calls the methods below): one service per
// running copy, named after its account, so that zelmoctl and scripts find the copy they mean.
// The session bus lets only the same user call.
class ControlService : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    static QString objectPath() { return control::objectPath(); }
    static QString busNamePrefix() { return control::busNamePrefix(); }
    // The bus name of the copy that serves an account key: the key escaped into one element of
    // a bus name (every byte outside [A-Za-z0-9] as _XX, as MPRIS players name an instance),
    // or a hash of it where that would be too long.
    static QString busName(const QString &accountKey);

    // Registers on the session bus at once. When that cannot be done (no session bus, the name
    // taken) it says so in one line on standard error and the program goes on without it.
    // shownAccount: the account as the user knows it; empty: the key is shown.
    ControlService(Program &program, MessengerObject *messenger, const QString &accountKey,
                   const QString &shownAccount, QObject *parent = nullptr);
    ~ControlService() override;

    bool registered() const { return m_registered; }
    RemoteControl &remoteControl() { return m_remote; }

    // The interface's methods; failures go back as D-Bus errors.
    void Away();
    void Back();
    bool Status(QString &state, QString &account);
    void SetMessage(const QString &contact, const QString &text);
    void SetMessageForEveryone(const QString &text);
    void UnsetMessage(const QString &contact);
    void UnsetMessageForEveryone();
    QStringList ListMessages(QStringList &texts);
    QStringList ReadRecord(QStringList &contacts, QStringList &texts);
    void SetCode(const QString &code);

Q_SIGNALS:
    void AwayChanged(bool away);
    void MessageAnswered(const QString &contact, const QString &text);

private:
    void switchTo(bool away);
    void answer(const RemoteControl::Result &result);

    RemoteControl m_remote;
    QString m_busName;
    QString m_account;
    bool m_registered = false;
};

} // namespace zelmo
