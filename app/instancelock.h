#pragma once

#include <QLockFile>
#include <QString>

namespace zelmo {

// One copy of the program per messenger account: two copies would both answer every message.
// The lock is a file in the user's runtime folder, held for the whole run; one left behind by
// a copy that crashed does not count, as its process is gone.
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
