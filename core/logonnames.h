#pragma once

#include "messenger/messenger.h"

#include <QString>
#include <QStringList>

namespace zelmo {

// The logon names of the contacts that a line of the online list stands for, in the order of
// the list of all contacts. The lines carry display names only, and a blocked contact's line
// has a suffix, so a contact matches when its upper-cased, trimmed name occurs in the
// upper-cased, trimmed line, or when the line equals its name exactly. Several contacts may
// match one line. A contact that cannot be read is skipped.
QStringList logonNamesForLine(const UserCollectionPtr &allusers, const QString &line);

} // namespace zelmo
