#pragma once

#include <QString>

namespace zelmo {

// Plays a sound file and returns once it has ended. A file that cannot be read, or no sound
// server, plays nothing and returns false quickly; nothing is thrown.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;

    virtual bool playSync(const QString &path) = 0;
};

} // namespace zelmo
