#include "messenger/states.h"

namespace zelmo {

namespace {

// The codes only a contact is in; online, it is in one of the own states.
struct ContactOnlyState {
    qint32 code;
    const char *name;
};
constexpr ContactOnlyState contactOnlyStates[] = {
    {ContactState::Unknown, "unknown"},
    {ContactState::Offline, "offline"},
};

} // namespace

const LocalStateInfo *localStateInfo(qint32 code)
{
    for (const LocalStateInfo &state : localStates) {
        if (state.code == code)
            return &state;
    }
    return nullptr;
}

bool isAwayState(qint32 code)
{
    const LocalStateInfo *state = localStateInfo(code);
    return state && state->away;
}

QString stateName(qint32 code)
{
    if (const LocalStateInfo *state = localStateInfo(code))
        return QString::fromLatin1(state->name);
    for (const ContactOnlyState &state : contactOnlyStates) {
        if (state.code == code)
            return QString::fromLatin1(state.name);
    }
    return {};
}

} // namespace zelmo
