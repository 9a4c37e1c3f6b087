#pragma once

#include <QString>

// What many tests say to and expect from the program: its own texts, taken from its own
// definitions, and the contacts the tests talk as.
namespace zelmo::test {

// The program's own texts (texts.cpp, linked by the tests that talk to the logic).
extern const QString Footer;
extern const QString Declined;
extern const QString AwayDone;
extern const QString BackDone;

// Contacts the tests put on the simulated client's list.
inline const QString Ann = QStringLiteral("ann@zelmo.test");
inline const QString Bob = QStringLiteral("bob@zelmo.test");

// Two contacts on the built-in messenger's own list.
inline const QString BuiltInAnn = QStringLiteral("ann.moss@example.net");
inline const QString BuiltInBen = QStringLiteral("ben.ortiz@example.org");

// Accounts on the test XMPP server.
inline const QString XmppAnn = QStringLiteral("ann@localhost");
inline const QString XmppBob = QStringLiteral("bob@localhost");
inline const QString XmppMe = QStringLiteral("zelmo@localhost");

} // namespace zelmo::test
