#pragma once

#include <QString>

namespace zelmo {

// The program's own folder, where the joke file and the beep sound lie: beside the executable
// in the build tree, the installed data folder (<prefix>/share/zelmo) once installed.
QString programFolder();

// The same rule for a given executable folder, for callers that know it.
QString programFolderFor(const QString &executableFolder);

} // namespace zelmo
