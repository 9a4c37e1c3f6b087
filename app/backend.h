#pragma once

#include "app/options.h"
#include "messenger/messenger.h"

#include <QString>

#include <memory>

namespace zelmo {

// The messenger client a run works with: the built-in simulated one, an XMPP account, or the
// user's own libpurple client.
class MessengerBackend {
public:
    virtual ~MessengerBackend() = default;

    // Makes the client the options ask for. For an XMPP account it finds the password and
    // signs in, returning once the sign-in has finished; a failed sign-in still gives a
    // backend, so that the program shows why and ends by itself. Returns nullptr, with a
    // message for the user and the exit status, when the run cannot start at all.
    static std::unique_ptr<MessengerBackend> create(const Options &options, QString *error,
                                                    int *exitCode);

    virtual MessengerObject &messenger() = 0;
    // The account's key (accountkey.h), when it is known only once the backend has found it;
    // empty otherwise.
    virtual QString accountKey() const { return {}; }
    // Why the client could not be reached or went, for the user; empty while it is there.
    virtual QString endReason() const = 0;
    // The server refused the account's credentials: starting again cannot mend it.
    virtual bool credentialsRefused() const { return false; }
    // Called at the end of the start-up: the built-in messenger's script starts.
    virtual void startScript() {}
};

} // namespace zelmo
