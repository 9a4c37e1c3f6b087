#include "platform/messenger/sim/simscript.h"

#include "platform/messenger/sim/simmessenger.h"

#include <QFile>
#include <QtGlobal>

#include <algorithm>

namespace zelmo::sim {

namespace {

// QTimer counts in int milliseconds; a round limit below that is easier to state.
constexpr qint64 kMaxSeconds = 2000000;

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

QString quoted(const QString &s)
{
    return QLatin1Char('\'') + s + QLatin1Char('\'');
}

// Walks one line field by field, remembering where the rest of the line begins.
class Fields {
public:
    explicit Fields(const QString &line)
        : m_line(line)
    {
    }

    // The next field, or an empty string at the end of the line.
    QString next()
    {
        while (m_pos < m_line.size() && isBlank(m_line.at(m_pos)))
            ++m_pos;
        const int start = m_pos;
        while (m_pos < m_line.size() && !isBlank(m_line.at(m_pos)))
            ++m_pos;
        return m_line.mid(start, m_pos - start);
    }

    // Everything after the one blank that ends the last field, verbatim.
    QString rest() const { return m_line.mid(m_pos + 1); }

    bool atEnd()
    {
        const int pos = m_pos;
        const bool end = next().isEmpty();
        m_pos = pos;
        return end;
    }

private:
    const QString &m_line;
    int m_pos = 0;
};

// Seconds with an optional fraction, read digit by digit: "0.1" must be 100 ms, and a
// floating-point detour would let "nan", "1e3" and rounding surprises in.
bool readSeconds(const QString &field, int *ms, QString *why)
{
    if (field.startsWith(QLatin1Char('-'))) {
        *why = QStringLiteral("negative time ") + quoted(field);
        return false;
    }
    qint64 seconds = 0;
    qint64 fraction = 0; // in ms
    int fractionDigits = 0;
    bool dot = false;
    bool digits = false;
    bool valid = true;
    bool roundUp = false;
    for (const QChar c : field) {
        if (c == QLatin1Char('.') && !dot) {
            dot = true;
            continue;
        }
        if (!isAsciiDigit(c)) {
            valid = false;
            break;
        }
        digits = true;
        const int digit = c.unicode() - '0';
        if (!dot) {
            seconds = seconds * 10 + digit;
            if (seconds > kMaxSeconds) {
                *why = QStringLiteral("time ") + quoted(field) +
                       QStringLiteral(" is too large (at most %1 seconds)").arg(kMaxSeconds);
                return false;
            }
        } else if (fractionDigits < 3) {
            fraction = fraction * 10 + digit;
            ++fractionDigits;
        } else if (fractionDigits++ == 3) {
            roundUp = digit >= 5;
        }
    }
    if (!valid || !digits) {
        *why = QStringLiteral("bad time ") + quoted(field) +
               QStringLiteral(": expected seconds such as 2 or 0.5");
        return false;
    }
    for (int i = std::min(fractionDigits, 3); i < 3; ++i)
        fraction *= 10;
    const qint64 total = seconds * 1000 + fraction + (roundUp ? 1 : 0);
    if (total > kMaxSeconds * 1000) {
        *why = QStringLiteral("time ") + quoted(field) +
               QStringLiteral(" is too large (at most %1 seconds)").arg(kMaxSeconds);
        return false;
    }
    *ms = static_cast<int>(total);
    return true;
}

bool unescape(const QString &raw, QString *out, QString *why)
{
    out->clear();
    out->reserve(raw.size());
    for (int i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c != QLatin1Char('\\')) {
            out->append(c);
            continue;
        }
        if (++i == raw.size()) {
            *why = QStringLiteral("a lone backslash ends the line (write \\\\ for a backslash)");
            return false;
        }
        switch (raw.at(i).unicode()) {
        case 'n':
            out->append(QLatin1Char('\n'));
            break;
        case 'r':
            out->append(QLatin1Char('\r'));
            break;
        case 't':
            out->append(QLatin1Char('\t'));
            break;
        case '\\':
            out->append(QLatin1Char('\\'));
            break;
        default:
            *why = QStringLiteral("unknown escape ") + quoted(QLatin1Char('\\') + raw.at(i)) +
                   QStringLiteral(" (use \\n, \\r, \\t or \\\\)");
            return false;
        }
    }
    return true;
}

enum class LineKind { Nothing, Event, Error };

LineKind parseLine(const QString &line, ScriptEvent *event, QString *why)
{
    Fields fields(line);
    const QString time = fields.next();
    if (time.isEmpty() || time.startsWith(QLatin1Char('#')))
        return LineKind::Nothing;
    if (!readSeconds(time, &event->atMs, why))
        return LineKind::Error;

    const QString first = fields.next();
    if (first.isEmpty()) {
        *why = QStringLiteral("missing action after the time");
        return LineKind::Error;
    }
    using A = ScriptEvent::Action;
    struct ClientAction {
        const char *word;
        A action;
    };
    static constexpr ClientAction clientActions[]{
        {"signout", A::SignOut},
        {"signin", A::SignIn},
        {"lose-connection", A::LoseConnection},
    };
    for (const ClientAction &c : clientActions) {
        if (first != QLatin1String(c.word))
            continue;
        if (!fields.atEnd()) {
            *why = QStringLiteral("unexpected text after ") + quoted(first);
            return LineKind::Error;
        }
        event->action = c.action;
        return LineKind::Event;
    }

    const QString verb = fields.next();
    const QStringList contactActions{QStringLiteral("says"), QStringLiteral("state"),
                                     QStringLiteral("name")};
    if (contactActions.contains(first)) {
        *why = QStringLiteral("missing logon name before ") + quoted(first);
        return LineKind::Error;
    }
    if (verb.isEmpty()) {
        *why = QStringLiteral("missing action after ") + quoted(first) +
               QStringLiteral(" (says, state or name)");
        return LineKind::Error;
    }
    event->logon = first;

    if (verb == QLatin1String("state")) {
        const QString code = fields.next();
        if (code.isEmpty()) {
            *why = QStringLiteral("missing state code after 'state'");
            return LineKind::Error;
        }
        bool ok = std::all_of(code.begin(), code.end(), isAsciiDigit);
        event->state = ok ? code.toInt(&ok) : 0;
        if (!ok) {
            *why = QStringLiteral("bad state code ") + quoted(code) +
                   QStringLiteral(": expected a number such as 2 or 34");
            return LineKind::Error;
        }
        if (!fields.atEnd()) {
            *why = QStringLiteral("unexpected text after the state code");
            return LineKind::Error;
        }
        event->action = A::State;
        return LineKind::Event;
    }

    if (verb == QLatin1String("says") || verb == QLatin1String("name")) {
        const bool says = verb == QLatin1String("says");
        const QString raw = fields.rest();
        if (raw.isEmpty()) {
            *why = says ? QStringLiteral("missing text after 'says'")
                        : QStringLiteral("missing name after 'name'");
            return LineKind::Error;
        }
        if (!unescape(raw, &event->text, why))
            return LineKind::Error;
        event->action = says ? A::Says : A::Name;
        return LineKind::Event;
    }

    *why = QStringLiteral("unknown action ") + quoted(verb) +
           QStringLiteral(" (expected says, state or name after a logon name, "
                          "or signout, signin or lose-connection)");
    return LineKind::Error;
}

} // namespace

std::optional<QList<ScriptEvent>> parseScript(const QString &content, const QString &fileName,
                                              QString *error)
{
    QList<ScriptEvent> events;
    const QStringList lines = content.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines.at(i);
        // Files written on Windows end their lines with CR LF.
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (i == 0 && line.startsWith(QChar(0xFEFF)))
            line.remove(0, 1);

        ScriptEvent event;
        event.line = i + 1;
        QString why;
        switch (parseLine(line, &event, &why)) {
        case LineKind::Nothing:
            break;
        case LineKind::Event:
            events.append(event);
            break;
        case LineKind::Error:
            if (error)
                *error = fileName + QLatin1Char(':') + QString::number(i + 1) +
                         QStringLiteral(": ") + why;
            return std::nullopt;
        }
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const ScriptEvent &a, const ScriptEvent &b) { return a.atMs < b.atMs; });
    return events;
}

std::optional<QList<ScriptEvent>> loadScript(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = path + QStringLiteral(": cannot read the script: ") + file.errorString();
        return std::nullopt;
    }
    return parseScript(QString::fromUtf8(file.readAll()), path, error);
}

// ---------------------------------------------------------------------------------------------

ScriptRunner::ScriptRunner(SimMessenger &sim, QList<ScriptEvent> events, QObject *parent)
    : QObject(parent)
    , m_sim(&sim)
    , m_events(std::move(events))
{
    m_timer.setSingleShot(true);
    // Scripts space events by a few milliseconds; a coarse timer could swap nothing, but
    // would blur the timing a test waits for.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ScriptRunner::runDue);
}

void ScriptRunner::start()
{
    m_next = 0;
    m_started = true;
    m_clock.start();
    scheduleNext();
}

void ScriptRunner::scheduleNext()
{
    // Even an empty script finishes from the event loop, never inside start().
    const qint64 due = m_next < m_events.size() ? m_events.at(m_next).atMs : 0;
    m_timer.start(static_cast<int>(qMax<qint64>(0, due - m_clock.elapsed())));
}

void ScriptRunner::runDue()
{
    // One timer steps through the list: everything due by now runs in order, so a late
    // wake-up never reorders events.
    const qint64 now = m_clock.elapsed();
    while (m_next < m_events.size() && m_events.at(m_next).atMs <= now)
        run(m_events.at(m_next++));
    if (m_next < m_events.size()) {
        scheduleNext();
        return;
    }
    Q_EMIT finished();
}

void ScriptRunner::run(const ScriptEvent &event)
{
    if (!m_sim)
        return;
    using A = ScriptEvent::Action;
    bool known = true;
    switch (event.action) {
    case A::Says:
        m_sim->receiveText(event.logon, event.text);
        break;
    case A::State:
        known = m_sim->changeContactState(event.logon, event.state);
        break;
    case A::Name:
        known = m_sim->changeContactFriendlyName(event.logon, event.text);
        break;
    case A::SignOut:
        m_sim->signOut();
        break;
    case A::SignIn:
        m_sim->signIn();
        break;
    case A::LoseConnection:
        m_sim->loseConnection();
        break;
    }
    if (!known)
        qWarning("zelmo: script line %d: %s is not a contact; nothing changed", event.line,
                 qUtf8Printable(event.logon));
}

} // namespace zelmo::sim
