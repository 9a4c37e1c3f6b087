#include "platform/settings/qsettingsstore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QVariant>

#include <utility>

namespace zelmo {

// Only access errors make a read give the default or a write fail. QSettings reads a malformed
// file as well as it can and keeps what it understood when it writes; its FormatError reaches
// only the first reader of a file in the process, so every open notes it for health().

QSettingsStore::QSettingsStore(QString folder)
    : m_folder(std::move(folder))
{
    if (m_folder.isEmpty())
        m_folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString QSettingsStore::filePath(const QString &application) const
{
    return m_folder + QLatin1Char('/') + application + QLatin1Char('/') + application +
           QStringLiteral(".ini");
}

namespace {

constexpr QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// The file holds the authorization code: nobody but the user reads it.
void keepPrivate(const QString &path)
{
    constexpr QFileDevice::Permissions others =
        QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
        QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    const QFileInfo info(path);
    if (info.exists() && (info.permissions() & others))
        QFile::setPermissions(path, ownerOnly);
}

} // namespace

void QSettingsStore::tightenOnce(const QString &path)
{
    if (m_tightened.contains(path))
        return;
    m_tightened.insert(path);
    // An earlier version, or a copy set aside, left them readable by others.
    keepPrivate(path);
    const QFileInfo info(path);
    const QStringList aside = QDir(info.path()).entryList(
        {info.fileName() + QStringLiteral(".unreadable-*")}, QDir::Files | QDir::Hidden);
    for (const QString &name : aside)
        keepPrivate(info.path() + QLatin1Char('/') + name);
}

std::unique_ptr<QSettings> QSettingsStore::open(const QString &application)
{
    const QString path = filePath(application);
    tightenOnce(path);
    auto settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    if (settings->status() == QSettings::FormatError)
        m_malformed.insert(path);
    return settings;
}

QString QSettingsStore::read(const QString &application, const QString &section, const QString &key,
                             const QString &defaultValue)
{
    const std::unique_ptr<QSettings> settings = open(application);
    if (settings->status() == QSettings::AccessError)
        return defaultValue;
    const QVariant value = settings->value(section + QLatin1Char('/') + key);
    if (!value.isValid())
        return defaultValue;
    // An unquoted comma in a hand-edited file makes QSettings read a list; the user meant
    // the text as written.
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

bool QSettingsStore::contains(const QString &application, const QString &section,
                              const QString &key)
{
    return open(application)->contains(section + QLatin1Char('/') + key);
}

SettingsStore::Health QSettingsStore::health(const QString &application)
{
    if (open(application)->status() == QSettings::AccessError)
        return Health::Unreadable;
    return m_malformed.contains(filePath(application)) ? Health::Malformed : Health::Fine;
}

QString QSettingsStore::setAside(const QString &application)
{
    const QString path = filePath(application);
    if (!QFileInfo::exists(path))
        return {};
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = path + QStringLiteral(".unreadable-") + stamp;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside =
            path + QStringLiteral(".unreadable-") + stamp + QLatin1Char('-') + QString::number(n);
    if (!QFile::rename(path, aside))
        return {};
    keepPrivate(aside);
    m_malformed.remove(path);
    return aside;
}

bool QSettingsStore::write(const QString &application, const QString &section, const QString &key,
                           const QString &value)
{
    const std::unique_ptr<QSettings> settings = open(application);
    // A file that could not be read would be rewritten without what it held.
    if (settings->status() == QSettings::AccessError)
        return false;
    // QSettings replaces the file with one of the old file's mode, or of the umask's when
    // there is none: a new file is made private first, so the code is never readable by others.
    const QString path = filePath(application);
    if (!QFileInfo::exists(path) && QDir().mkpath(QFileInfo(path).path())) {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.setPermissions(ownerOnly);
    }
    settings->setValue(section + QLatin1Char('/') + key, value);
    settings->sync();
    return settings->status() != QSettings::AccessError;
}

} // namespace zelmo
