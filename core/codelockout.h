#pragma once

#include <QHash>
#include <QString>

#include <chrono>
#include <functional>

namespace zelmo {

// Slows down guessing of the authorization code by message. After three wrong codes in a
// row, every code test from that contact fails for 5 s without looking at the code; each
// further wrong code doubles the wait, up to 5 minutes. A right code while not locked out
// forgets the contact's mistakes. One message counts as one mistake at most, however many
// code tests it holds. A "contact" is whatever name the caller keys the record by: all
// strangers share one, so the records are bounded by the contact list. Kept in memory only: a
// record goes once it has been quiet for the longest lockout after its last mistake and its
// lockout, and never sooner, so that no guesser can push their own record out.
class CodeLockout {
public:
    using Clock = std::function<std::chrono::milliseconds()>;

    static constexpr int allowedMistakes = 3;
    static constexpr std::chrono::milliseconds firstLockout{5000};
    static constexpr std::chrono::milliseconds longestLockout{300000};

    // The clock defaults to a monotonic one; tests hand in their own.
    explicit CodeLockout(Clock clock = {});

    // What a code test came to; true when the code was accepted.
    struct Result {
        bool accepted = false;
        bool wasLockedOut = false; // declined without a look at the code
        // Set when this mistake locked the contact out: for how long.
        std::chrono::milliseconds lockout{0};
        explicit operator bool() const { return accepted; }
    };
    // Runs one code test for a contact: declined without calling matches while the contact is
    // locked out, else matches(), remembered as a right or a wrong code.
    Result test(const QString &contact, const std::function<bool()> &matches);

    bool isLockedOut(const QString &contact) const;

    // The code tests that follow belong to a new incoming message.
    void beginMessage() { ++m_message; }
    // How many contacts have a record.
    int recordCount() const { return static_cast<int>(m_records.size()); }

    void setClock(Clock clock);

private:
    struct Record {
        int mistakes = 0;
        std::chrono::milliseconds lockedUntil = std::chrono::milliseconds::min();
        std::chrono::milliseconds lastMistake{0};
        quint64 lastMistakeMessage = 0;
    };

    std::chrono::milliseconds now() const { return m_clock(); }
    // Drops the records that no longer change anything; at most once a second.
    void forgetIdleRecords();

    Clock m_clock;
    QHash<QString, Record> m_records;
    quint64 m_message = 0; // 0: no message begun, every test counts
    std::chrono::milliseconds m_lastForget = std::chrono::milliseconds::min();
};

} // namespace zelmo
