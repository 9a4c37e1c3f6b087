#pragma once

#include <QHash>
#include <QString>

#include <chrono>
#include <functional>

namespace zelmo {

// Slows down guessing of the authorization code by message. After three wrong codes in a
// row, every code test from that contact fails for 5 s without looking at the code; each
// further wrong code doubles the wait, up to 5 minutes. A right code while not locked out
// forgets the contact's mistakes. Kept in memory only.
class CodeLockout {
public:
    using Clock = std::function<std::chrono::milliseconds()>;

    static constexpr int allowedMistakes = 3;
    static constexpr std::chrono::milliseconds firstLockout{5000};
    static constexpr std::chrono::milliseconds longestLockout{300000};

    // The clock defaults to a monotonic one; tests hand in their own.
    explicit CodeLockout(Clock clock = {});

    // Runs one code test for a contact: false without calling matches while the contact is
    // locked out, else matches(), remembered as a right or a wrong code.
    bool test(const QString &contact, const std::function<bool()> &matches);

    bool isLockedOut(const QString &contact) const;

    void setClock(Clock clock);

private:
    struct Record {
        int mistakes = 0;
        std::chrono::milliseconds lockedUntil = std::chrono::milliseconds::min();
    };

    std::chrono::milliseconds now() const { return m_clock(); }

    Clock m_clock;
    QHash<QString, Record> m_records;
};

} // namespace zelmo
