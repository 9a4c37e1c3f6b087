#include "core/authorizationcode.h"

#include "core/appstate.h"
#include "core/settingsstore.h"

namespace zelmo {

AuthorizationCode::AuthorizationCode(AppState &state, SettingsStore &store)
    : m_state(state)
    , m_store(store)
{
}

QString AuthorizationCode::stored() const
{
    return m_store.read(application(), section(), key(), AppState::defaultAuthorizationCode());
}

void AuthorizationCode::load()
{
    m_state.AUTHORIZEDPASSWORD = stored();
}

bool AuthorizationCode::save()
{
    return m_store.write(application(), section(), key(), m_state.AUTHORIZEDPASSWORD);
}

AuthorizationCode::SetResult AuthorizationCode::set(const QString &code)
{
    if (code.size() != 5)
        return SetResult::Refused;
    const bool saved = m_store.write(application(), section(), key(), code);
    m_state.AUTHORIZEDPASSWORD = code;
    return saved ? SetResult::Stored : SetResult::NotSaved;
}

} // namespace zelmo
