#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace zelmo {

// What the command line can choose: everything else the program finds by itself.
struct Options {
    // A JSON file with the simulated client's contacts, instead of its default set.
    QString contactsFile;
    // How long the simulated client takes to confirm a change of the own state.
    int confirmDelayMs = 300;
    // A script of contact and network events to play on the simulated client; empty: none.
    QString simScript;
    // Where to log what the program sends through the simulated client ("-": standard
    // output); empty: no log.
    QString simLog;
    // The built-in messenger's own window beside the main one, where the user can play the
    // contacts; --no-sim-window hides it, for scripts and tests.
    bool simWindow = true;

    // An XMPP account to sign in to instead of the built-in messenger; empty: the built-in one.
    QString xmppJid;
    // The server to connect to; empty: the one the DNS names for the JID's domain.
    QString xmppHost;
    quint16 xmppPort = 5222;
    // No TLS, for a test server on this machine only.
    bool insecurePlaintext = false;
    // How long a dropped connection is tried again before the program counts it as lost.
    int reconnectLimitS = 300;
    static constexpr int maxReconnectLimitS = 86400;
    // Answer people outside the roster (or the buddy list) too.
    bool acceptStrangers = false;

    // Attach to the user's own libpurple client (Pidgin, Finch) on the session bus.
    bool purple = false;
    // Its account to act for, by user name; empty: the first connected one.
    QString purpleAccount;

    // No windows and no display: a QCoreApplication, no dialog, and one line on standard
    // error for each box and each thing done.
    bool headless = false;
    // The lines of a headless run quote the contacts' text and the away messages too.
    bool logText = false;
    // --help-all: the help with Qt's own options, which need the application object first.
    bool helpAll = false;
};

// The exit status of a command line that cannot be used.
inline constexpr int exitBadCommandLine = 1;
// The exit status of a second start on an account that a running copy already serves.
inline constexpr int exitAlreadyRunning = 5;
// The server refused the account's name or password.
inline constexpr int exitCredentialsRefused = 6;
// A headless start with no password in the environment or the keyring: nobody to ask.
inline constexpr int exitNoPassword = 7;

// Parses the arguments (the program name first); needs no application object. On a bad
// command line, returns nothing and puts the reason in *message: one line, and a hint to the
// help after an option or argument it does not know; --help and
// --version do the same with their text and set *exitCode to 0.
std::optional<Options> parseOptions(const QStringList &arguments, QString *message, int *exitCode);

} // namespace zelmo
