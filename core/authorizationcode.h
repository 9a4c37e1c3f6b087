#pragma once

#include <QString>

namespace zelmo {

class AppState;
class SettingsStore;

// The authorization code that guards the remote commands, and its one setting.
class AuthorizationCode {
public:
    static QString application() { return QStringLiteral("Zelmo Extensions"); }
    static QString section() { return QStringLiteral("Settings"); }
    static QString key() { return QStringLiteral("AuthorizedPassword"); }

    AuthorizationCode(AppState &state, SettingsStore &store);

    // The stored code, or 47209 when none is stored; reading writes nothing.
    QString stored() const;
    // Start-up: the stored code comes into force.
    void load();
    // Shutdown: the code in force is stored, whether or not it changed.
    bool save();
    // The code dialog's Set: a code of exactly five characters is stored and comes into
    // force. Any other length changes nothing and returns Refused. A code that could not be
    // stored still comes into force for this run (NotSaved).
    enum class SetResult { Stored, NotSaved, Refused };
    SetResult set(const QString &code);

private:
    AppState &m_state;
    SettingsStore &m_store;
};

} // namespace zelmo
