#pragma once

#include <QString>

#include <stdexcept>

namespace zelmo {

// The one error every failing messenger operation throws, whatever the backend.
class MessengerError : public std::runtime_error {
public:
    explicit MessengerError(const QString &operation, const QString &reason = QString());

    const QString &operation() const { return m_operation; }
    const QString &reason() const { return m_reason; }

private:
    QString m_operation;
    QString m_reason;
};

// Runs one step of a handler that guards its steps: a failing messenger operation skips the
// rest of the step and the handler goes on with the next. Returns whether the step completed.
template <typename Step> bool skipOnFailure(Step &&step)
{
    try {
        step();
        return true;
    } catch (const MessengerError &) {
        return false;
    }
}

} // namespace zelmo
