#include "messenger/messengererror.h"

namespace zelmo {

MessengerError::MessengerError(const QString &operation, const QString &reason)
    : std::runtime_error(
          (reason.isEmpty() ? operation : operation + QStringLiteral(": ") + reason).toStdString())
    , m_operation(operation)
    , m_reason(reason)
{
}

} // namespace zelmo
