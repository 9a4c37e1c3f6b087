#pragma once

#include <QElapsedTimer>

#include <chrono>

namespace zelmo {

// Time on a clock that never goes back (a changed wall clock moves nothing), from the first
// call; for the limits that count wrong codes and away messages.
inline std::chrono::milliseconds monotonicNow()
{
    static const QElapsedTimer started = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return std::chrono::milliseconds(started.elapsed());
}

} // namespace zelmo
