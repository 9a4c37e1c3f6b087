#include "app/instancelock.h"

#include <QDir>
#include <QStandardPaths>

namespace zelmo {

namespace {

QString lockPath(const QString &account)
{
    QString name = account;
    for (QChar &c : name) {
        if (!c.isLetterOrNumber() && c != QLatin1Char('@') && c != QLatin1Char('.') &&
            c != QLatin1Char('-'))
            c = QLatin1Char('_');
    }
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return QDir(folder).filePath(QStringLiteral("zelmo-") + name + QStringLiteral(".lock"));
}

} // namespace

InstanceLock::InstanceLock(const QString &account)
    : m_lock(lockPath(account))
{
    // Held as long as the program runs, however long that is: only a copy that is gone
    // leaves a stale lock.
    m_lock.setStaleLockTime(0);
}

bool InstanceLock::tryLock()
{
    return m_lock.tryLock(0);
}

} // namespace zelmo
