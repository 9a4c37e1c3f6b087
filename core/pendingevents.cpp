#include "core/pendingevents.h"

#include <QCoreApplication>

namespace zelmo {

bool PendingEvents::runOnce()
{
    if (s_depth >= maxDepth)
        return false;
    Scope scope;
    // Messenger events are posted events, and inside a posted event's handler the GLib
    // dispatcher's processEvents() skips the ones already queued: flush those first.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    return true;
}

} // namespace zelmo
