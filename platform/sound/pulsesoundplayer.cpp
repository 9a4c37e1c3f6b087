#include "platform/sound/pulsesoundplayer.h"

#include <QFile>
#include <QFileInfo>

#include <pulse/context.h>
#include <pulse/mainloop.h>
#include <pulse/stream.h>
#include <sndfile.h>

#include <algorithm>
#include <memory>
#include <new>
#include <optional>
#include <vector>

namespace zelmo {

namespace {

using Clock = std::chrono::steady_clock;

// The most samples held in memory (128 MiB of floats). A longer sound is refused rather than
// risking the allocation, and a corrupt header cannot ask for more.
constexpr sf_count_t maxSamples = sf_count_t(32) << 20;

struct Sound {
    pa_sample_spec sampleFormat{};
    std::vector<float> samples;
    std::chrono::milliseconds length{};
};

struct SndfileCloser {
    void operator()(SNDFILE *file) const { sf_close(file); }
};

std::optional<Sound> decode(const QString &path)
{
    // A FIFO or a device would block sf_open for good, so only regular files are read.
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return std::nullopt;
    SF_INFO info{};
    const std::unique_ptr<SNDFILE, SndfileCloser> file(
        sf_open(QFile::encodeName(path).constData(), SFM_READ, &info));
    if (!file || info.frames <= 0 || info.channels <= 0 ||
        info.channels > static_cast<int>(PA_CHANNELS_MAX) || info.samplerate <= 0 ||
        info.frames > maxSamples / info.channels)
        return std::nullopt;

    Sound sound;
    sound.sampleFormat.format = PA_SAMPLE_FLOAT32NE;
    sound.sampleFormat.rate = static_cast<uint32_t>(info.samplerate);
    sound.sampleFormat.channels = static_cast<uint8_t>(info.channels);
    if (!pa_sample_spec_valid(&sound.sampleFormat))
        return std::nullopt;
    sound.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    // A truncated file yields fewer frames than its header promises; play what is there.
    const sf_count_t frames = sf_readf_float(file.get(), sound.samples.data(), info.frames);
    if (frames <= 0)
        return std::nullopt;
    sound.samples.resize(static_cast<std::size_t>(frames * info.channels));
    sound.length = std::chrono::milliseconds(frames * 1000 / info.samplerate);
    return sound;
}

// One visit to the server: a private main loop, the context and the playback stream, torn
// down in reverse order whatever state they reached.
class Session {
public:
    Session()
        : m_loop(pa_mainloop_new())
    {
    }
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    bool connect(Clock::time_point deadline);
    bool play(const Sound &sound, Clock::time_point deadline);

private:
    enum class Drain { Pending, Failed, Done };

    // One pass of the loop, waiting for the server at most until deadline. False once the
    // deadline has passed or the loop fails.
    bool iterate(Clock::time_point deadline);

    static void onDrained(pa_stream *, int success, void *userdata)
    {
        *static_cast<Drain *>(userdata) = success ? Drain::Done : Drain::Failed;
    }

    pa_mainloop *m_loop = nullptr;
    pa_context *m_context = nullptr;
    pa_stream *m_stream = nullptr;
    pa_operation *m_drain = nullptr;
    Drain m_drainState = Drain::Pending;
};

Session::~Session()
{
    // Cancelled first, so that the drain callback cannot run during the teardown.
    if (m_drain) {
        if (pa_operation_get_state(m_drain) == PA_OPERATION_RUNNING)
            pa_operation_cancel(m_drain);
        pa_operation_unref(m_drain);
    }
    if (m_stream) {
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
    }
    if (m_context) {
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
    }
    if (m_loop)
        pa_mainloop_free(m_loop);
}

bool Session::iterate(Clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
    if (left <= 0)
        return false;
    // Any message from the server wakes the poll; the cap only keeps the value in an int.
    const int timeout = static_cast<int>(std::min<decltype(left)>(left, 1000000));
    return pa_mainloop_prepare(m_loop, timeout) >= 0 && pa_mainloop_poll(m_loop) >= 0 &&
           pa_mainloop_dispatch(m_loop) >= 0;
}

bool Session::connect(Clock::time_point deadline)
{
    if (!m_loop)
        return false;
    m_context = pa_context_new(pa_mainloop_get_api(m_loop), "Zelmo Extensions");
    if (!m_context)
        return false;
    // A beep is no reason to start a sound server, whatever client.conf says.
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return false;
    for (;;) {
        switch (pa_context_get_state(m_context)) {
        case PA_CONTEXT_READY:
            return true;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            return false;
        default:
            break;
        }
        if (!iterate(deadline))
            return false;
    }
}

bool Session::play(const Sound &sound, Clock::time_point deadline)
{
    pa_channel_map map;
    pa_channel_map_init_extend(&map, sound.sampleFormat.channels, PA_CHANNEL_MAP_DEFAULT);
    m_stream = pa_stream_new(m_context, "sound", &sound.sampleFormat, &map);
    if (!m_stream || pa_stream_connect_playback(m_stream, nullptr, nullptr, PA_STREAM_NOFLAGS,
                                                nullptr, nullptr) < 0)
        return false;

    const char *data = reinterpret_cast<const char *>(sound.samples.data());
    const std::size_t total = sound.samples.size() * sizeof(float);
    const std::size_t frameSize = pa_frame_size(&sound.sampleFormat);
    std::size_t written = 0;
    for (;;) {
        switch (pa_stream_get_state(m_stream)) {
        case PA_STREAM_FAILED:
        case PA_STREAM_TERMINATED:
            return false;
        case PA_STREAM_READY:
            // The server asks for data as its buffer empties; a long sound goes in pieces.
            if (written < total) {
                const std::size_t room = pa_stream_writable_size(m_stream);
                if (room == static_cast<std::size_t>(-1))
                    return false;
                const std::size_t chunk = std::min(room, total - written) / frameSize * frameSize;
                if (chunk > 0) {
                    if (pa_stream_write(m_stream, data + written, chunk, nullptr, 0,
                                        PA_SEEK_RELATIVE) < 0)
                        return false;
                    written += chunk;
                }
            }
            // Draining also starts a sound shorter than the server's prebuffer.
            if (written == total && !m_drain) {
                m_drain = pa_stream_drain(m_stream, &Session::onDrained, &m_drainState);
                if (!m_drain)
                    return false;
            }
            if (m_drainState != Drain::Pending)
                return m_drainState == Drain::Done;
            break;
        default:
            break;
        }
        if (!iterate(deadline))
            return false;
    }
}

} // namespace

PulseSoundPlayer::PulseSoundPlayer(std::chrono::milliseconds connectTimeout)
    : m_connectTimeout(connectTimeout)
{
}

bool PulseSoundPlayer::playSync(const QString &path)
{
    try {
        const std::optional<Sound> sound = decode(path);
        if (!sound)
            return false;
        Session session;
        if (!session.connect(Clock::now() + m_connectTimeout))
            return false;
        return session.play(*sound, Clock::now() + sound->length + playMargin);
    } catch (const std::bad_alloc &) {
        // A sound too big for memory plays nothing, like an unreadable one.
        return false;
    }
}

} // namespace zelmo
