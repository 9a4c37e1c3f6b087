#include "core/authorizationcode.h"

#include "core/appstate.h"
#include "core/settingsstore.h"

#include <QRandomGenerator>

namespace zelmo {

namespace {

const QString whereToLook = QStringLiteral("You can see and change it under Settings > "
                                           "Authorized Password.");

} // namespace

AuthorizationCode::AuthorizationCode(AppState &state, SettingsStore &store)
    : m_state(state)
    , m_store(store)
{
}

QString AuthorizationCode::generate()
{
    // The code that was once printed for everyone to read is never made again.
    QString code;
    do {
        code = QStringLiteral("%1").arg(QRandomGenerator::system()->bounded(100000), length, 10,
                                        QLatin1Char('0'));
    } while (code == QLatin1String("47209"));
    return code;
}

QString AuthorizationCode::stored() const
{
    return m_store.read(application(), section(), key(), m_state.authorizationCode);
}

QString AuthorizationCode::load(bool hideCode)
{
    const QString file = m_store.location(application());
    QString problem;
    switch (m_store.health(application())) {
    case SettingsStore::Health::Fine:
        if (m_store.contains(application(), section(), key())) {
            const QString code = m_store.read(application(), section(), key(), QString());
            if (usable(code)) {
                m_state.authorizationCode = code;
                return {};
            }
            problem = QStringLiteral("The authorization code stored in %1 is not five characters "
                                     "long, so it could not be used.")
                          .arg(file);
        }
        break;
    case SettingsStore::Health::Malformed: {
        // Written over, the parts that could not be understood would be lost.
        const QString aside = m_store.setAside(application());
        problem =
            aside.isEmpty()
                ? QStringLiteral("The settings file %1 could not be read.").arg(file)
                : QStringLiteral("The settings file %1 could not be read; it was moved to %2.")
                      .arg(file, aside);
        break;
    }
    case SettingsStore::Health::Unreadable:
        problem = QStringLiteral("The settings file %1 could not be read.").arg(file);
        break;
    }

    m_state.authorizationCode = generate();
    const bool saved = m_store.write(application(), section(), key(), m_state.authorizationCode);
    if (problem.isEmpty() && saved && !hideCode)
        return {}; // the first start: the code dialog shows the new code
    QString text = problem.isEmpty() ? QString() : problem + QLatin1Char(' ');
    if (hideCode) {
        text += saved ? QStringLiteral("A new authorization code was made; it is kept in %1, "
                                       "[%2] %3.")
                            .arg(file, section(), key())
                      : QStringLiteral("A new authorization code was made, but it could not be "
                                       "stored in %1, so it holds for this run only.")
                            .arg(file);
        return text;
    }
    text += QStringLiteral("A new authorization code was made: %1.").arg(m_state.authorizationCode);
    if (!saved)
        text += QStringLiteral(" It could not be stored in %1, so it holds for this run only.")
                    .arg(file);
    return text + QLatin1Char(' ') + whereToLook;
}

bool AuthorizationCode::save()
{
    return m_store.write(application(), section(), key(), m_state.authorizationCode);
}

QString AuthorizationCode::notSavedText() const
{
    return QStringLiteral("The authorization code could not be saved in %1.")
        .arg(m_store.location(application()));
}

AuthorizationCode::SetResult AuthorizationCode::set(const QString &code)
{
    if (!usable(code))
        return SetResult::Refused;
    const bool saved = m_store.write(application(), section(), key(), code);
    m_state.authorizationCode = code;
    return saved ? SetResult::Stored : SetResult::NotSaved;
}

} // namespace zelmo
