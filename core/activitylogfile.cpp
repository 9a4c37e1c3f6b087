#include "core/activitylogfile.h"

#include "core/awaymessagefile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

#include <cmath>
#include <utility>

namespace zelmo {

namespace {

using Kind = ActivityLog::Kind;

const QString formatName = QStringLiteral("zelmo-record");

constexpr std::pair<Kind, const char *> kindNames[] = {
    {Kind::AwayMessage, "away-message"},   {Kind::Command, "command"},
    {Kind::CodeDeclined, "code-declined"}, {Kind::Lockout, "lockout"},
    {Kind::Unanswered, "unanswered"},
};

constexpr QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions groupOrOthers =
    QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
    QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;

bool fail(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
    return false;
}

QByteArray lineOf(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray headerLine()
{
    return lineOf({{QStringLiteral("format"), formatName}, {QStringLiteral("version"), 1}});
}

QByteArray seenLine(quint64 number)
{
    return lineOf({{QStringLiteral("seen"), static_cast<double>(number)}});
}

QByteArray rowLine(const ActivityLog::Row &row)
{
    QString kind;
    for (const auto &[k, name] : kindNames) {
        if (k == row.kind)
            kind = QString::fromLatin1(name);
    }
    return lineOf({{QStringLiteral("n"), static_cast<double>(row.number)},
                   {QStringLiteral("time"), row.time.toUTC().toString(Qt::ISODateWithMs)},
                   {QStringLiteral("name"), row.friendlyName},
                   {QStringLiteral("logon"), row.logonName},
                   {QStringLiteral("kind"), kind},
                   {QStringLiteral("what"), row.what},
                   {QStringLiteral("away"), row.whileAway}});
}

// A whole number that a double holds exactly; JSON has no other kind.
bool wholeNumber(const QJsonValue &value, quint64 *out)
{
    const double d = value.toDouble(-1);
    if (!value.isDouble() || d < 0 || d > 9007199254740992.0 || std::floor(d) != d)
        return false;
    *out = static_cast<quint64>(d);
    return true;
}

bool parseRow(const QJsonObject &o, ActivityLog::Row *row)
{
    const QJsonValue name = o.value(QStringLiteral("name"));
    const QJsonValue logon = o.value(QStringLiteral("logon"));
    const QJsonValue what = o.value(QStringLiteral("what"));
    const QJsonValue kind = o.value(QStringLiteral("kind"));
    if (!wholeNumber(o.value(QStringLiteral("n")), &row->number) || !name.isString() ||
        !logon.isString() || !what.isString() || !kind.isString())
        return false;
    row->time =
        QDateTime::fromString(o.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
    if (!row->time.isValid())
        return false;
    row->friendlyName = name.toString();
    row->logonName = logon.toString();
    row->what = what.toString();
    row->whileAway = o.value(QStringLiteral("away")).toBool();
    for (const auto &[k, text] : kindNames) {
        if (kind.toString() == QLatin1String(text)) {
            row->kind = k;
            return true;
        }
    }
    return false;
}

} // namespace

ActivityLogFile::ActivityLogFile(QString path)
    : m_path(std::move(path))
{
}

ActivityLogFile::~ActivityLogFile()
{
    flush(nullptr);
}

QString ActivityLogFile::fileNameFor(const QString &account)
{
    // Behind the prefix even ".." is only part of a name.
    QString name = QString::fromLatin1(QUrl::toPercentEncoding(account, "@:+"));
    // File names end at 255 bytes: a long account keeps its start and a hash of the whole.
    constexpr int longest = 180;
    if (name.size() > longest)
        name = name.left(longest) + QLatin1Char('-') +
               QString::fromLatin1(
                   QCryptographicHash::hash(account.toUtf8(), QCryptographicHash::Sha256)
                       .toHex()
                       .left(16));
    return QStringLiteral("record-") + name + QStringLiteral(".jsonl");
}

QString ActivityLogFile::defaultPathFor(const QString &account)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (folder.isEmpty() || account.isEmpty())
        return {};
    return QDir(folder).filePath(fileNameFor(account));
}

ActivityLogFile::Loaded ActivityLogFile::load()
{
    Loaded loaded;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (file.exists()) {
            loaded.readable = false;
            loaded.error = file.errorString();
        }
        return loaded;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        loaded.readable = false;
        loaded.error = file.errorString();
        return loaded;
    }

    const QList<QByteArray> lines = bytes.split('\n');
    // The last piece is what follows the last line break: empty unless a write was cut short.
    const int count = lines.size() - 1;
    m_lines = count;
    const auto damage = [&](int line, const QString &what) {
        if (!loaded.damaged)
            loaded.error = QStringLiteral("line %1: %2").arg(line).arg(what);
        loaded.damaged = true;
    };
    if (!lines.last().isEmpty())
        damage(count + 1, QStringLiteral("cut short"));
    for (int i = 0; i < count; ++i) {
        QJsonParseError parseError{};
        const QJsonDocument document = QJsonDocument::fromJson(lines.at(i), &parseError);
        const QJsonObject o = document.object();
        if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
            damage(i + 1, QStringLiteral("not a JSON object"));
            continue;
        }
        if (i == 0) {
            // A newer program's file is not guessed at: nothing of it is read.
            if (o.value(QStringLiteral("format")).toString() != formatName ||
                o.value(QStringLiteral("version")).toDouble() != version) {
                loaded.damaged = true;
                loaded.error = QStringLiteral("not version %1 of the record's format").arg(version);
                return loaded;
            }
            continue;
        }
        quint64 seen = 0;
        if (o.contains(QStringLiteral("seen"))) {
            if (wholeNumber(o.value(QStringLiteral("seen")), &seen))
                loaded.seenUpTo = std::max(loaded.seenUpTo, seen);
            else
                damage(i + 1, QStringLiteral("not a row number"));
            continue;
        }
        ActivityLog::Row row;
        if (!parseRow(o, &row) || row.number <= loaded.lastNumber) {
            damage(i + 1, QStringLiteral("not a row of the record"));
            continue;
        }
        loaded.lastNumber = row.number;
        loaded.rows.push_back(std::move(row));
        if (static_cast<int>(loaded.rows.size()) > ActivityLog::maxRows)
            loaded.rows.pop_front();
    }
    return loaded;
}

void ActivityLogFile::append(const ActivityLog::Row &row)
{
    m_held += rowLine(row);
    ++m_lines;
}

void ActivityLogFile::appendSeen(quint64 number)
{
    m_held += seenLine(number);
    ++m_lines;
}

bool ActivityLogFile::flush(QString *error)
{
    if (m_held.isEmpty())
        return true;
    if (!m_out.isOpen()) {
        // A missing or empty file starts with its header; anything else is only added to.
        const QFileInfo info(m_path);
        if (!info.exists() || info.size() == 0) {
            const QByteArray held = std::exchange(m_held, {});
            const int lines = m_lines;
            if (!rewrite({}, 0, error))
                return false;
            m_held = held;
            m_lines = lines + 1;
        }
        // A file made looser by hand (or by an older copy) is for the user alone again.
        if ((QFile::permissions(m_path) & groupOrOthers) &&
            !QFile::setPermissions(m_path, ownerOnly))
            return fail(error, QStringLiteral("its permissions could not be narrowed"));
        m_out.setFileName(m_path);
        if (!m_out.open(QIODevice::WriteOnly | QIODevice::Append))
            return fail(error, m_out.errorString());
    }
    const QByteArray held = std::exchange(m_held, {});
    if (m_out.write(held) != held.size() || !m_out.flush()) {
        const QString reason = m_out.errorString();
        m_out.close();
        return fail(error, reason);
    }
    return true;
}

bool ActivityLogFile::rewrite(const std::deque<ActivityLog::Row> &newestFirst, quint64 seenUpTo,
                              QString *error)
{
    // The rows held are among those written now.
    m_held.clear();
    m_out.close();
    if (!makeDataFolderFor(m_path, error))
        return false;
    QByteArray bytes = headerLine();
    for (auto it = newestFirst.rbegin(); it != newestFirst.rend(); ++it)
        bytes += rowLine(*it);
    if (seenUpTo > 0)
        bytes += seenLine(seenUpTo);

    QSaveFile file(m_path);
    // Permissions set before the new file takes the old one's place: never readable by others,
    // not even for a moment.
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(ownerOnly) ||
        file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return fail(error, reason);
    }
    if (!file.commit())
        return fail(error, file.errorString());
    m_lines = static_cast<int>(newestFirst.size()) + (seenUpTo > 0 ? 2 : 1);
    return true;
}

QString ActivityLogFile::moveAside()
{
    m_out.close();
    const QString aside = moveFileAside(m_path);
    // Kept for the user to look at, and for nobody else.
    if (!aside.isEmpty())
        QFile::setPermissions(aside, QFile::permissions(aside) & ~groupOrOthers);
    return aside;
}

} // namespace zelmo
