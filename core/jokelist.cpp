#include "core/jokelist.h"

#include <QFile>
#include <QFileInfo>

#include <chrono>

namespace zelmo {

namespace {

// Splits a file into lines as it is read, so that loading can stop early on a huge file.
// CR LF, LF and CR each end a line; a last line without a terminator still counts.
class LineReader {
public:
    explicit LineReader(QFile &file)
        : m_file(file)
    {
    }

    // The next line without its terminator; false at the end of the file or on a read error
    // (see failed()).
    bool next(QByteArray &line)
    {
        line.clear();
        bool started = false;
        for (;;) {
            if (m_pos >= m_buffer.size() && !refill())
                return started;
            const char c = m_buffer.at(m_pos++);
            if (m_skipLf) {
                m_skipLf = false;
                if (c == '\n')
                    continue;
            }
            if (c == '\r' || c == '\n') {
                m_skipLf = c == '\r';
                return true;
            }
            line.append(c);
            started = true;
        }
    }

    bool failed() const { return m_failed; }

private:
    bool refill()
    {
        m_buffer = m_file.read(64 * 1024);
        m_pos = 0;
        if (m_buffer.isEmpty()) {
            m_failed = m_file.error() != QFileDevice::NoError;
            return false;
        }
        return true;
    }

    QFile &m_file;
    QByteArray m_buffer;
    int m_pos = 0;
    bool m_skipLf = false;
    bool m_failed = false;
};

} // namespace

bool JokeList::load(const QString &path)
{
    m_jokes.clear();
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        return false;

    LineReader reader(file);
    QByteArray a;
    QByteArray b;
    while (m_jokes.size() < MaxJokes && reader.next(a) && reader.next(b)) {
        if (a.isEmpty() || b.isEmpty())
            continue;
        m_jokes.append(QString::fromLocal8Bit(a) + QStringLiteral("\r\n") +
                       QString::fromLocal8Bit(b));
    }
    if (reader.failed()) {
        m_jokes.clear();
        return false;
    }
    return true;
}

std::optional<QString> JokeList::at(qint32 position) const
{
    if (position < 1 || position > m_jokes.size())
        return std::nullopt;
    return m_jokes.at(position - 1);
}

namespace {
quint64 nanosecondsSinceMidnight()
{
    using namespace std::chrono;
    const auto sinceEpoch = system_clock::now().time_since_epoch();
    return static_cast<quint64>(duration_cast<nanoseconds>(sinceEpoch % hours(24)).count());
}
} // namespace

RandomNumbers::RandomNumbers()
{
    m_previous = static_cast<quint32>(nanosecondsSinceMidnight());
}

qint16 RandomNumbers::randomNumber(qint16 max)
{
    if (max <= 0)
        return 1;
    const quint64 now = nanosecondsSinceMidnight();
    std::seed_seq seed{static_cast<quint32>(now), static_cast<quint32>(now >> 32), m_previous};
    m_generator.seed(seed);
    std::uniform_int_distribution<int> draw(1, max);
    const int result = draw(m_generator);
    m_previous = static_cast<quint32>(m_generator());
    return static_cast<qint16>(result);
}

} // namespace zelmo
