#include "core/codelockout.h"

#include "core/monotonicclock.h"

#include <algorithm>

namespace zelmo {

CodeLockout::CodeLockout(Clock clock)
    : m_clock(clock ? std::move(clock) : Clock(monotonicNow))
{
}

void CodeLockout::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock(monotonicNow);
}

bool CodeLockout::isLockedOut(const QString &contact) const
{
    const auto it = m_records.constFind(contact);
    return it != m_records.cend() && now() < it->lockedUntil;
}

void CodeLockout::forgetIdleRecords()
{
    const std::chrono::milliseconds t = now();
    if (m_lastForget != std::chrono::milliseconds::min() &&
        t - m_lastForget < std::chrono::milliseconds(1000))
        return;
    m_lastForget = t;
    for (auto it = m_records.begin(); it != m_records.end();) {
        // Quiet for the longest lockout after the lockout ended: the record changes nothing
        // a new one would not, but for a guesser who comes back soon.
        if (t - std::max(it->lastMistake, it->lockedUntil) >= longestLockout)
            it = m_records.erase(it);
        else
            ++it;
    }
}

CodeLockout::Result CodeLockout::test(const QString &contact,
                                      const std::function<bool()> &matches)
{
    forgetIdleRecords();
    Result result;
    if (isLockedOut(contact)) {
        result.wasLockedOut = true;
        return result;
    }
    if (matches()) {
        m_records.remove(contact);
        result.accepted = true;
        return result;
    }
    Record &record = m_records[contact];
    record.lastMistake = now();
    // A message that holds two code commands is one guess, not two.
    if (m_message != 0 && record.lastMistakeMessage == m_message)
        return result;
    record.lastMistakeMessage = m_message;
    ++record.mistakes;
    if (record.mistakes >= allowedMistakes) {
        // 5 s at the third mistake, doubled for each one after it; the shift is capped long
        // before it could overflow.
        const int doublings = std::min(record.mistakes - allowedMistakes, 16);
        result.lockout = std::min<std::chrono::milliseconds>(
            firstLockout * (std::chrono::milliseconds::rep(1) << doublings), longestLockout);
        record.lockedUntil = now() + result.lockout;
    }
    return result;
}

} // namespace zelmo
