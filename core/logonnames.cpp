#include "core/logonnames.h"

#include "core/textwindow.h"
#include "messenger/messengererror.h"

namespace zelmo {

QStringList logonNamesForLine(const UserCollectionPtr &allusers, const QString &line)
{
    QStringList logons;
    if (!allusers)
        return logons;
    qint32 count = 0;
    if (!skipOnFailure([&] { count = allusers->GetCount(); }))
        return logons;
    const QString upperLine = trimBlanks(line).toUpper();
    for (qint32 i = 0; i < count; ++i) {
        skipOnFailure([&] {
            const UserPtr user = allusers->Item(i);
            const QString name = user->GetFriendlyName();
            // A blank line holds nothing, not even an empty name.
            const bool holds =
                !upperLine.isEmpty() && upperLine.contains(trimBlanks(name).toUpper());
            if (holds || line == name)
                logons.append(user->GetLogonName());
        });
    }
    return logons;
}

} // namespace zelmo
