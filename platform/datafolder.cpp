#include "platform/datafolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace zelmo {

QString programFolderFor(const QString &executableFolder)
{
    const QDir beside(executableFolder);
    if (QFileInfo::exists(beside.filePath(QStringLiteral("blonde.txt"))))
        return beside.absolutePath();
    const QString installed = QDir::cleanPath(beside.filePath(QStringLiteral("../share/zelmo")));
    if (QFileInfo(installed).isDir())
        return installed;
    return beside.absolutePath();
}

QString programFolder()
{
    return programFolderFor(QCoreApplication::applicationDirPath());
}

} // namespace zelmo
