#pragma once

#include "core/soundplayer.h"

#include <QString>

#include <chrono>

namespace zelmo {

// Plays a sound file (anything libsndfile decodes) on the PulseAudio server, which is also how
// PipeWire desktops take sound (pipewire-pulse). Single-threaded: it runs its own PulseAudio
// main loop until the sound has ended. Reaching the server is bounded by the connect timeout
// and the playing by the sound's length plus playMargin, so that a hung server cannot freeze
// the program for PulseAudio's own 30 s. Never spawns a server and never writes a log.
class PulseSoundPlayer : public SoundPlayer {
public:
    static constexpr std::chrono::milliseconds defaultConnectTimeout{2000};
    static constexpr std::chrono::milliseconds playMargin{3000};

    explicit PulseSoundPlayer(std::chrono::milliseconds connectTimeout = defaultConnectTimeout);

    bool playSync(const QString &path) override;

    std::chrono::milliseconds connectTimeout() const { return m_connectTimeout; }
    void setConnectTimeout(std::chrono::milliseconds timeout) { m_connectTimeout = timeout; }

private:
    std::chrono::milliseconds m_connectTimeout;
};

} // namespace zelmo
