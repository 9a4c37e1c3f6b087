#include "app/instancelock.h"

#include <QDir>
#include <QStandardPaths>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelmo {

namespace {

// A folder only this user can enter; one that another user owns, or a link, is never taken.
bool ownPrivateFolder(const QByteArray &path, bool make)
{
    if (make)
        ::mkdir(path.constData(), 0700);
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid())
        return false;
    return (info.st_mode & 0777) == 0700 || ::chmod(path.constData(), 0700) == 0;
}

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

void settleRuntimeFolder()
{
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return;
    const uid_t uid = ::geteuid();
    const QByteArray session = "/run/user/" + QByteArray::number(uid);
    if (ownPrivateFolder(session, false)) {
        qputenv("XDG_RUNTIME_DIR", session);
        return;
    }
    const struct passwd *user = ::getpwuid(uid);
    const QByteArray name = user ? QByteArray(user->pw_name) : QByteArray::number(uid);
    const QByteArray own = QFile::encodeName(QDir::tempPath()) + "/runtime-" + name;
    // Otherwise Qt says why it cannot use the folder, as it should.
    if (ownPrivateFolder(own, true))
        qputenv("XDG_RUNTIME_DIR", own);
}

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
