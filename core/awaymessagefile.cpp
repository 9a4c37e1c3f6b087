#include "core/awaymessagefile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>

#include <utility>

namespace zelmo {

namespace {

// A save takes milliseconds: a copy that holds the lock this long is stuck, and one that
// held it longer than the stale time is gone or hung.
constexpr int kLockWaitMs = 2000;
constexpr int kStaleLockMs = 10000;

const QString versionKey = QStringLiteral("version");
const QString messagesKey = QStringLiteral("messages");
const QString logonKey = QStringLiteral("logon");
const QString messageKey = QStringLiteral("message");

AwayMessageFile::Loaded unreadable(const QString &reason)
{
    AwayMessageFile::Loaded loaded;
    loaded.error = reason;
    return loaded;
}

bool fail(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
    return false;
}

} // namespace

AwayMessageFile::AwayMessageFile(QString path)
    : m_path(std::move(path))
{
}

QString AwayMessageFile::defaultPath()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (folder.isEmpty())
        return {};
    return folder + QStringLiteral("/away-messages.json");
}

AwayMessageFile::Loaded AwayMessageFile::load() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (!file.exists())
            return Loaded{true, {}, {}};
        return unreadable(file.errorString());
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return unreadable(file.errorString());

    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return unreadable(
            QStringLiteral("%1 at byte %2").arg(parseError.errorString()).arg(parseError.offset));
    if (!document.isObject())
        return unreadable(QStringLiteral("not a JSON object"));
    const QJsonObject top = document.object();
    // A number such as 1.5 or "1" is no version this program wrote.
    const QJsonValue versionValue = top.value(versionKey);
    if (!versionValue.isDouble() || versionValue.toDouble() != version)
        return unreadable(QStringLiteral("not version %1 of the format").arg(version));
    const QJsonValue list = top.value(messagesKey);
    if (!list.isArray())
        return unreadable(QStringLiteral("\"messages\" is not a list"));

    Loaded loaded{true, {}, {}};
    const QJsonArray array = list.toArray();
    for (int i = 0; i < array.size(); ++i) {
        const QJsonObject item = array.at(i).toObject();
        const QJsonValue logon = item.value(logonKey);
        const QJsonValue message = item.value(messageKey);
        if (!logon.isString() || logon.toString().isEmpty() || !message.isString())
            return unreadable(QStringLiteral("message %1 has no logon name or no text").arg(i + 1));
        // Two messages for one contact: which one was meant cannot be told.
        if (loaded.messages.contains(logon.toString()))
            return unreadable(QStringLiteral("%1 has more than one message").arg(logon.toString()));
        loaded.messages.insert(logon.toString(), message.toString());
    }
    return loaded;
}

bool makeDataFolderFor(const QString &path, QString *error)
{
    if (path.isEmpty())
        return fail(error, QStringLiteral("no data folder"));
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo(folder).isDir()) {
        if (!QDir().mkpath(folder))
            return fail(error, QStringLiteral("the folder %1 could not be made").arg(folder));
        // Made for the program alone; an existing folder is the user's to arrange.
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    return true;
}

std::unique_ptr<QLockFile> AwayMessageFile::lockForChange(QString *error) const
{
    if (!makeDataFolderFor(m_path, error))
        return nullptr;
    auto lock = std::make_unique<QLockFile>(m_path + QStringLiteral(".lock"));
    lock->setStaleLockTime(kStaleLockMs);
    if (lock->tryLock(kLockWaitMs))
        return lock;
    fail(error, lock->error() == QLockFile::LockFailedError
                    ? QStringLiteral("another copy of the program kept it busy")
                    : QStringLiteral("the lock file beside it could not be made"));
    return nullptr;
}

bool AwayMessageFile::save(const QHash<QString, QString> &messages, QString *error) const
{
    if (!makeDataFolderFor(m_path, error))
        return false;

    QStringList logons = messages.keys();
    logons.sort();
    QJsonArray list;
    for (const QString &logon : std::as_const(logons))
        list.append(QJsonObject{{logonKey, logon}, {messageKey, messages.value(logon)}});
    const QByteArray bytes =
        QJsonDocument(QJsonObject{{versionKey, version}, {messagesKey, list}}).toJson();

    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(error, file.errorString());
    // Set on the new file before it takes the old one's place: it would otherwise be made
    // with the umask's permissions, readable by everyone.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return fail(error, reason);
    }
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return fail(error, reason);
    }
    if (!file.commit())
        return fail(error, file.errorString());
    return true;
}

QString AwayMessageFile::moveAside() const
{
    return moveFileAside(m_path);
}

QString moveFileAside(const QString &path)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString base = path + QStringLiteral(".corrupt-") + stamp;
    // QFile::rename never replaces an existing file, so a taken name only costs another try.
    for (int n = 1; n <= 100; ++n) {
        const QString aside = n == 1 ? base : base + QLatin1Char('-') + QString::number(n);
        if (QFileInfo::exists(aside))
            continue;
        if (QFile::rename(path, aside))
            return aside;
        if (!QFileInfo::exists(aside))
            return {};
    }
    return {};
}

bool AwayMessageFile::remove() const
{
    return QFile::remove(m_path) || !QFileInfo::exists(m_path);
}

} // namespace zelmo
