#pragma once

// What each state code of the boundary stands for, whatever the protocol: its name and
// whether the user is away in it. A backend maps only its own protocol's states onto the codes.

#include "messenger/messenger.h"

#include <QString>

namespace zelmo {

struct LocalStateInfo {
    qint32 code;
    // In lower case, as the control interface reports it; a window shows it with a capital.
    const char *name;
    // The shorter form the main window's status line shows.
    const char *shortName;
    // Away messages go out, and the switch offers to come back.
    bool away;
};

// Every own state, in the order in which a user picks one.
inline constexpr LocalStateInfo localStates[] = {
    {LocalState::Online, "online", "Online", false},
    {LocalState::Busy, "busy", "Busy", false},
    {LocalState::BeRightBack, "be right back", "Brb", true},
    {LocalState::Idle, "idle", "Idle/Away", true},
    {LocalState::Away, "away", "Away", true},
    {LocalState::OnThePhone, "on the phone", "On Phone", true},
    {LocalState::OutToLunch, "out to lunch", "Lunch/Away", true},
    {LocalState::Offline, "offline", "Offline", false},
};

// nullptr for a code that is no own state.
const LocalStateInfo *localStateInfo(qint32 code);

// Whether the code is an own state in which the user is away.
bool isAwayState(qint32 code);

// A contact's state or the own one by name; empty for a code that is neither.
QString stateName(qint32 code);

} // namespace zelmo
