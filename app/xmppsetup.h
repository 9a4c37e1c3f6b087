#pragma once

// Signing in to an XMPP account: where the password comes from.

#include "app/backend.h"
#include "app/options.h"

#include <QString>

#include <memory>
#include <optional>

namespace zelmo {

// The keyring entry of an account: service "Zelmo Extensions", key the account's bare JID.
QString keyringService();

// ZELMO_XMPP_PASSWORD when it is set and not empty. It is removed from the environment, so
// that nothing the program starts inherits it.
std::optional<QString> takePasswordFromEnvironment();

struct KeyringRead {
    std::optional<QString> password;
    // A keyring answered, whether it had the entry or not: a password can be kept there.
    bool keyringAnswered = false;
};
// Waits at most timeoutMs for the desktop's keyring.
KeyringRead readKeyringPassword(const QString &account, int timeoutMs = 10000);
// Returns whether the keyring took it; *error says why not.
bool writeKeyringPassword(const QString &account, const QString &password, QString *error,
                          int timeoutMs = 10000);

// Signs in to options.xmppJid with the password of the first source that has one: the
// environment, the keyring, a dialog. nullptr when the user gave none.
std::unique_ptr<MessengerBackend> createXmppBackend(const Options &options, QString *error,
                                                    int *exitCode);

} // namespace zelmo
