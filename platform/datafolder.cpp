#include "platform/datafolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace zelmo {

namespace {

bool holdsData(const QString &folder)
{
    return QFileInfo::exists(QDir(folder).filePath(QStringLiteral("blonde.txt")));
}

} // namespace

QString programFolderFor(const QStringList &dataFolders, const QString &executableFolder)
{
    for (const QString &data : dataFolders) {
        const QString folder = QDir(data).filePath(QStringLiteral("zelmo"));
        if (holdsData(folder))
            return QDir::cleanPath(folder);
    }
    const QDir beside(executableFolder);
    if (holdsData(beside.path()))
        return beside.absolutePath();
    const QString installed = QDir::cleanPath(beside.filePath(QStringLiteral("../share/zelmo")));
    if (QFileInfo(installed).isDir())
        return installed;
    return beside.absolutePath();
}

QString programFolder()
{
    return programFolderFor(QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation),
                            QCoreApplication::applicationDirPath());
}

} // namespace zelmo
