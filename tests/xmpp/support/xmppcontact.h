#pragma once

// A contact on the test server, driven by the test: a second XMPP client (QXmpp) that sends
// what a person would, and records every message it receives as it came over the wire.

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace zelmo::test {

class ProsodyServer;

class XmppContact {
public:
    XmppContact(const ProsodyServer &server, const QString &user,
                const QString &resource = QStringLiteral("phone"),
                const QString &password = QStringLiteral("pw"));
    ~XmppContact();

    // Signs in (without TLS, on loopback) and waits for the roster; false after timeoutMs.
    bool connect(int timeoutMs = 15000);
    // Signs out and waits until the connection is closed.
    void disconnect();
    QString jid() const;     // full
    QString bareJid() const; // user@localhost

    struct Message {
        QString from;
        QString type;
        QString body;
        QString thread;
        QString xhtml; // the XHTML-IM body's markup, as received
        bool autoSubmitted = false;
    };
    struct SendOptions {
        QString thread;
        bool autoSubmitted = false;
        QString type = QStringLiteral("chat");
        // Wrapped as a carbon copy (XEP-0280) of a message that this address wrote.
        QString carbonOf;
        // Formatted as well, as a client that sends formatting does (XHTML-IM).
        QString xhtml;
        // Stamped as delivered late (XEP-0203), as a server's offline storage stamps it.
        QString delayStamp;
    };
    void send(const QString &to, const QString &body, const SendOptions &options);
    void send(const QString &to, const QString &body) { send(to, body, SendOptions()); }
    // Returns once the server has handled everything sent before (a ping's answer).
    bool flush(int timeoutMs = 10000);
    // Waits until at least count messages have arrived in all.
    bool waitForMessages(int count, int timeoutMs = 15000);
    const QList<Message> &messages() const;
    QStringList bodies() const;
    void clearMessages();

    // Own presence: "online", "chat", "away", "xa" or "dnd", at a priority.
    void setShow(const QString &show, int priority = 0);
    // What the client at that full address says it does (service discovery).
    QStringList features(const QString &fullJid);
    // Another account's presence as this client sees it: its show, or "unavailable".
    QString showOf(const QString &bareJid) const;
    // How many presences of that account arrived.
    int presencesFrom(const QString &bareJid) const;

    // This account's roster and block list, changed as any client of the account would;
    // each waits for the server's answer.
    bool addRosterItem(const QString &bareJid, const QString &name);
    bool renameRosterItem(const QString &bareJid, const QString &name);
    bool removeRosterItem(const QString &bareJid);
    bool block(const QString &bareJid, bool blocked = true);

    // Another account's vCard nickname (and full name) and PEP nick, read from the server.
    QString vCardNickname(const QString &bareJid, QString *fullName = nullptr);
    QString pepNick(const QString &bareJid);
    // Answers the next `count` requests QXmpp numbers in this process, at once, with a vCard.
    void forgeVCardResults(const QString &to, int count, const QString &fullName);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace zelmo::test
