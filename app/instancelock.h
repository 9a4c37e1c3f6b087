#pragma once

#include <QLockFile>
#include <QString>

namespace zelmo {

// One copy of the program per messenger account: two copies would both answer every message.
// The lock is a file in the user's runtime folder, held for the whole run; one left behind by
// a copy that crashed does not count, as its process is gone.
// Gives the run a private runtime folder when the environment names none (root through su or
// ssh, no login session): the user's /run/user/UID when it is theirs alone, else a 0700
// folder of the temporary one, as Qt itself would take, made quietly. Sets XDG_RUNTIME_DIR to
// it, for the lock and for Qt; call before the application object.
void settleRuntimeFolder();

class InstanceLock {
public:
    // account: what names the account across runs ("built-in", "xmpp:me@example.org", ...).
    explicit InstanceLock(const QString &account);

    // False when a running copy holds the lock.
    bool tryLock();

private:
    QLockFile m_lock;
};

} // namespace zelmo
