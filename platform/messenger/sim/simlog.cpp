#include "platform/messenger/sim/simlog.h"

#include <QFile>

#include <cstdio>

namespace zelmo::sim {

namespace {

QString escaped(const QString &text, bool field)
{
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        const ushort u = c.unicode();
        switch (u) {
        case '\\':
            out += QStringLiteral("\\\\");
            continue;
        case '\r':
            out += QStringLiteral("\\r");
            continue;
        case '\n':
            out += QStringLiteral("\\n");
            continue;
        case '\t':
            out += QStringLiteral("\\t");
            continue;
        case ' ':
            out += field ? QStringLiteral("\\s") : QStringLiteral(" ");
            continue;
        default:
            break;
        }
        if (u < 0x20 || u == 0x7f)
            out +=
                QStringLiteral("\\x") + QString::number(u, 16).rightJustified(2, QLatin1Char('0'));
        else if (u == 0x85 || u == 0x2028 || u == 0x2029)
            out +=
                QStringLiteral("\\u") + QString::number(u, 16).rightJustified(4, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

} // namespace

SimLog::SimLog(SimMessenger &sim, std::unique_ptr<QIODevice> out, QObject *parent)
    : QObject(parent)
    , m_out(std::move(out))
{
    // Direct: the record must be out before the call that sends returns.
    connect(
        &sim, &SimMessenger::textSent, this,
        [this](const QString &contact, const SentText &sent) {
            write(QStringLiteral("send ") + escapeField(contact) + QStringLiteral(" CO=") +
                  escapeField(headerColour(sent.header)) + QLatin1Char(' ') +
                  escapeText(sent.text));
        },
        Qt::DirectConnection);
    connect(
        &sim, &SimMessenger::localStateRequested, this,
        [this](qint32 state) { write(QStringLiteral("state ") + QString::number(state)); },
        Qt::DirectConnection);
    connect(
        &sim, &SimMessenger::friendlyNameSet, this,
        [this](const QString &name) { write(QStringLiteral("name ") + escapeText(name)); },
        Qt::DirectConnection);
}

SimLog::~SimLog() = default;

std::unique_ptr<SimLog> SimLog::open(SimMessenger &sim, const QString &path, QString *error)
{
    auto file = std::make_unique<QFile>();
    bool ok = false;
    if (path == QLatin1String("-")) {
        // Through stdout's own stream, so that records keep their order with other output.
        ok = file->open(stdout, QIODevice::WriteOnly, QFileDevice::DontCloseHandle);
    } else {
        file->setFileName(path);
        ok = file->open(QIODevice::WriteOnly | QIODevice::Truncate);
    }
    if (!ok) {
        if (error)
            *error = path + QStringLiteral(": cannot write the log: ") + file->errorString();
        return nullptr;
    }
    return std::make_unique<SimLog>(sim, std::move(file));
}

QString SimLog::escapeText(const QString &text)
{
    return escaped(text, false);
}

QString SimLog::escapeField(const QString &field)
{
    return escaped(field, true);
}

QString SimLog::headerColour(const QString &header)
{
    const QString formatKey = QStringLiteral("X-MMS-IM-Format:");
    for (const QString &line : header.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (!trimmed.startsWith(formatKey, Qt::CaseInsensitive))
            continue;
        // "FN=Arial; EF=; CO=800000; CS=0; PF=22"
        for (const QString &param : trimmed.mid(formatKey.size()).split(QLatin1Char(';'))) {
            const int eq = param.indexOf(QLatin1Char('='));
            if (eq < 0 ||
                param.left(eq).trimmed().compare(QLatin1String("CO"), Qt::CaseInsensitive) != 0)
                continue;
            const QString value = param.mid(eq + 1).trimmed();
            return value.isEmpty() ? QStringLiteral("-") : value;
        }
    }
    return QStringLiteral("-");
}

void SimLog::write(const QString &record)
{
    QByteArray line = record.toUtf8();
    line.append('\n');
    m_out->write(line);
    // Written as it happens, so that whoever reads the log sees each record at once.
    if (auto *file = qobject_cast<QFileDevice *>(m_out.get()))
        file->flush();
}

} // namespace zelmo::sim
