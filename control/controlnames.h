#pragma once

#include <QString>

// Where the control interface is found and how its errors are named: what the program's service
// and zelmoctl must agree on beside the interface's description.
namespace zelmo::control {

inline QString objectPath()
{
    return QStringLiteral("/net/zelmo/Extensions");
}
// Each running copy's bus name is this followed by its account.
inline QString busNamePrefix()
{
    return QStringLiteral("net.zelmo.Extensions.");
}
inline QString errorPrefix()
{
    return QStringLiteral("net.zelmo.Extensions1.Error.");
}

} // namespace zelmo::control
