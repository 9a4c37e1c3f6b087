#pragma once

#include <QString>
#include <QStringList>

namespace zelmo {

// The program's own folder, where the joke file and the beep sound lie: "zelmo" in the first
// XDG data folder that holds them ($XDG_DATA_HOME, then $XDG_DATA_DIRS), else beside the
// executable (the build tree), else <prefix>/share/zelmo for a prefix the data folders do not
// name.
QString programFolder();

// The same rule for given data folders and executable folder, for callers that know them.
QString programFolderFor(const QStringList &dataFolders, const QString &executableFolder);

} // namespace zelmo
