#pragma once

#include <QString>

namespace zelmo {

class AppState;
class SettingsStore;

// The authorization code that guards the remote commands, and its one setting.
//
// There is no default code: a code everyone could read would let any contact set the user
// away, rename them and list their contacts. A start that finds no usable code makes a random
// one and stores it.
class AuthorizationCode {
public:
    static QString application() { return QStringLiteral("Zelmo Extensions"); }
    static QString section() { return QStringLiteral("Settings"); }
    static QString key() { return QStringLiteral("AuthorizedPassword"); }
    static constexpr int length = 5;

    AuthorizationCode(AppState &state, SettingsStore &store);

    // Only a code of exactly five characters guards anything.
    static bool usable(const QString &code) { return code.size() == length; }
    // Five random digits.
    static QString generate();

    // The stored code, or the code in force when none can be read; reading writes nothing.
    QString stored() const;
    // Start-up: the stored code comes into force. When none is stored, or the stored one or
    // the settings cannot be used, a new code is made, stored and comes into force. Returns
    // what the user must be told, empty when there is nothing to tell. With hideCode (lines
    // others may read) the text never holds the code, and a new code is always told of, with
    // where it is kept.
    QString load(bool hideCode = false);
    // Shutdown: the code in force is stored, whether or not it changed.
    bool save();
    // What the user is told when the save fails.
    QString notSavedText() const;
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
