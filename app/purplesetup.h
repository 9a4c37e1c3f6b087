#pragma once

// Attaching to the user's own libpurple client (Pidgin, Finch) on the session bus.

#include "app/backend.h"
#include "app/options.h"

#include <memory>

namespace zelmo {

// Attaches to the client and the account the options name, and says on standard error which
// account it attached to. A client or account that cannot be found still gives a backend,
// so that the program shows why and ends by itself.
std::unique_ptr<MessengerBackend> createPurpleBackend(const Options &options);

} // namespace zelmo
