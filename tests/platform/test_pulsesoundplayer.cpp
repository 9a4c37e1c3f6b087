// The player against a real PulseAudio daemon that each test starts in its own folder, with a
// pipe sink that keeps time by the system clock, so that playing takes as long as the sound.

#include "platform/sound/pulsesoundplayer.h"

#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using std::chrono::milliseconds;
using zelmo::PulseSoundPlayer;

namespace {

// A 16-bit PCM WAV of a 440 Hz tone.
bool writeWav(const QString &path, int rate, int channels, int frames)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    const auto dataSize = quint32(frames * channels * 2);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + dataSize);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(channels) << quint32(rate)
        << quint32(rate * channels * 2) << quint16(channels * 2) << quint16(16);
    out.writeRawData("data", 4);
    out << dataSize;
    for (int i = 0; i < frames; ++i) {
        const auto sample = qint16(8000 * std::sin(2 * std::numbers::pi * 440 * i / rate));
        for (int c = 0; c < channels; ++c)
            out << sample;
    }
    return out.status() == QDataStream::Ok;
}

// The length of a PCM WAV from its header: the data chunk over the byte rate.
milliseconds wavLength(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QDataStream in(&file);
    in.setByteOrder(QDataStream::LittleEndian);
    char id[4];
    quint32 size = 0;
    quint32 byteRate = 0;
    in.skipRawData(12);
    while (in.readRawData(id, 4) == 4) {
        in >> size;
        if (std::memcmp(id, "fmt ", 4) == 0) {
            in.skipRawData(8);
            in >> byteRate;
            in.skipRawData(int(size) - 12);
        } else if (std::memcmp(id, "data", 4) == 0) {
            return byteRate ? milliseconds(qint64(size) * 1000 / byteRate) : milliseconds{};
        } else {
            in.skipRawData(int(size + (size & 1)));
        }
    }
    return {};
}

bool writeText(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

bool unixAddress(const QString &path, sockaddr_un &address)
{
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    if (name.size() >= int(sizeof(address.sun_path)))
        return false;
    std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
    return true;
}

bool acceptsConnections(const QString &path)
{
    sockaddr_un address;
    if (!unixAddress(path, address))
        return false;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool connected =
        fd >= 0 && connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    if (fd >= 0)
        ::close(fd);
    return connected;
}

// A PulseAudio daemon in user mode, everything in one folder. It dies with the test program
// (parent-death signal), and the destructor stops it on every path out of a test.
class PulseDaemon {
public:
    explicit PulseDaemon(QString dir)
        : m_dir(std::move(dir))
    {
    }
    ~PulseDaemon() { stop(); }
    PulseDaemon(const PulseDaemon &) = delete;
    PulseDaemon &operator=(const PulseDaemon &) = delete;

    QString server() const { return QStringLiteral("unix:") + socketPath(); }
    pid_t pid() const { return m_pid; }

    // Empty once the daemon takes connections, otherwise why it did not come up.
    QString start()
    {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
        if (program.isEmpty())
            return QStringLiteral("pulseaudio is not installed (scripts/install-deps.sh)");
        const QString script = QDir(m_dir).filePath(QStringLiteral("test.pa"));
        const QString log = QDir(m_dir).filePath(QStringLiteral("pulseaudio.log"));
        const QByteArray pa =
            "load-module module-native-protocol-unix socket=" + socketPath().toLocal8Bit() +
            " auth-anonymous=1\n"
            "load-module module-pipe-sink sink_name=test_sink file=" +
            QDir(m_dir).filePath(QStringLiteral("sink.fifo")).toLocal8Bit() +
            " use_system_clock_for_timing=yes format=s16le rate=48000 channels=2\n"
            "set-default-sink test_sink\n";
        if (!writeText(script, pa))
            return QStringLiteral("cannot write ") + script;

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name :
             {"HOME", "XDG_RUNTIME_DIR", "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH"})
            env.insert(QString::fromLatin1(name), m_dir);
        env.remove(QStringLiteral("PULSE_SERVER"));
        env.remove(QStringLiteral("DISPLAY"));
        const std::vector<std::string> args = {program.toStdString(),
                                               "-n",
                                               "-F",
                                               script.toStdString(),
                                               "--daemonize=no",
                                               "--exit-idle-time=-1",
                                               "--disallow-exit",
                                               "--use-pid-file=no",
                                               "--realtime=no",
                                               "--high-priority=no",
                                               "--log-target=stderr"};
        std::vector<std::string> vars;
        for (const QString &var : env.toStringList())
            vars.push_back(var.toStdString());
        std::vector<char *> argv;
        std::vector<char *> envp;
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        for (const std::string &v : vars)
            envp.push_back(const_cast<char *>(v.c_str()));
        argv.push_back(nullptr);
        envp.push_back(nullptr);

        const int logFd = ::open(QFile::encodeName(log).constData(),
                                 O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (logFd < 0)
            return QStringLiteral("cannot create ") + log;
        const pid_t parent = getpid();
        m_pid = fork();
        if (m_pid == 0) {
            // Only async-signal-safe calls until exec.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent)
                _exit(126);
            dup2(logFd, STDOUT_FILENO);
            dup2(logFd, STDERR_FILENO);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        ::close(logFd);
        if (m_pid < 0)
            return QStringLiteral("fork failed");

        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 10000) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return QStringLiteral("pulseaudio exited at start (status %1):\n%2")
                    .arg(status)
                    .arg(readLog(log));
            }
            if (acceptsConnections(socketPath()))
                return {};
            QThread::msleep(20);
        }
        stop();
        return QStringLiteral("pulseaudio did not listen within 10 s:\n") + readLog(log);
    }

    void stop()
    {
        if (m_pid <= 0)
            return;
        kill(m_pid, SIGCONT); // a stopped daemon would not act on SIGTERM
        kill(m_pid, SIGTERM);
        for (int i = 0; i < 250; ++i) {
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                return;
            }
            QThread::msleep(20);
        }
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    QString socketPath() const { return QDir(m_dir).filePath(QStringLiteral("native")); }

    static QString readLog(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
    }

    QString m_dir;
    pid_t m_pid = -1;
};

// A Unix socket that takes connections into its backlog and never answers: a hung server.
class SilentSocket {
public:
    explicit SilentSocket(const QString &path)
    {
        sockaddr_un address;
        if (!unixAddress(path, address))
            return;
        m_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0 || bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
            listen(m_fd, 16) != 0) {
            close();
        }
    }
    ~SilentSocket() { close(); }
    SilentSocket(const SilentSocket &) = delete;
    SilentSocket &operator=(const SilentSocket &) = delete;

    bool isListening() const { return m_fd >= 0; }

private:
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    int m_fd = -1;
};

class PulseSoundPlayerTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        // Belt and braces with PA_CONTEXT_NOAUTOSPAWN: no test may start a stray daemon.
        const QString config = path("client.conf");
        ASSERT_TRUE(writeText(config, "autospawn = no\n"));
        qputenv("PULSE_CLIENTCONFIG", QFile::encodeName(config));
    }

    // Fails the test, with the daemon's own words, when PulseAudio cannot run here.
    void startServer()
    {
        const QString error = m_daemon.start();
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        qputenv("PULSE_SERVER", m_daemon.server().toLocal8Bit());
    }

    QString path(const char *name) const { return m_dir.filePath(QString::fromLatin1(name)); }

    static QString beepPath()
    {
        return qEnvironmentVariable("ZELMO_SOURCE_DIR") + QStringLiteral("/resources/beep.wav");
    }

    // Plays path and checks that it blocked for about length.
    static void expectPlaysFor(PulseSoundPlayer &player, const QString &path, milliseconds length)
    {
        QElapsedTimer timer;
        timer.start();
        EXPECT_TRUE(player.playSync(path)) << path.toStdString();
        const milliseconds elapsed(timer.elapsed());
        std::printf("played %s (%lld ms) in %lld ms\n", qPrintable(QFileInfo(path).fileName()),
                    static_cast<long long>(length.count()),
                    static_cast<long long>(elapsed.count()));
        EXPECT_GE(elapsed, length * 8 / 10);
        EXPECT_LE(elapsed, length + 2s);
    }

    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/zelmo-pulse-XXXXXX")};
    PulseDaemon m_daemon{m_dir.path()};
};

TEST_F(PulseSoundPlayerTest, BlocksForTheSoundsLength)
{
    ASSERT_NO_FATAL_FAILURE(startServer());
    PulseSoundPlayer player;

    // The shipped beep is short and really plays.
    const milliseconds beep = wavLength(beepPath());
    EXPECT_GE(beep, 100ms);
    EXPECT_LT(beep, 500ms);
    expectPlaysFor(player, beepPath(), beep);

    // Another rate and channel count, long enough that blocking is unmistakable.
    const QString second = path("second.wav");
    ASSERT_TRUE(writeWav(second, 44100, 2, 44100));
    expectPlaysFor(player, second, 1000ms);

    // Each play leaves nothing behind that would spoil the next.
    expectPlaysFor(player, beepPath(), beep);
}

TEST_F(PulseSoundPlayerTest, FilesThatCannotBePlayedFailQuickly)
{
    ASSERT_NO_FATAL_FAILURE(startServer());
    PulseSoundPlayer player;

    ASSERT_TRUE(writeText(path("empty.wav"), QByteArray()));
    ASSERT_TRUE(writeText(path("text.wav"), "not a sound at all\n"));
    ASSERT_TRUE(writeWav(path("silent.wav"), 48000, 1, 0));
    ASSERT_EQ(mkfifo(QFile::encodeName(path("fifo.wav")).constData(), 0600), 0);

    for (const char *name : {"missing.wav", "empty.wav", "text.wav", "silent.wav", "fifo.wav"}) {
        QElapsedTimer timer;
        timer.start();
        EXPECT_FALSE(player.playSync(path(name))) << name;
        EXPECT_LT(timer.elapsed(), 1000) << name;
    }
    EXPECT_FALSE(player.playSync(m_dir.path())) << "a folder";
    EXPECT_FALSE(player.playSync(QString()));
}

TEST_F(PulseSoundPlayerTest, NoServerFailsQuickly)
{
    qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(path("nothing-here")));
    PulseSoundPlayer player;

    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(player.playSync(beepPath()));
    EXPECT_LT(timer.elapsed(), 2500);
}

TEST_F(PulseSoundPlayerTest, HungServerFailsWithinTheConnectTimeout)
{
    EXPECT_EQ(PulseSoundPlayer().connectTimeout(), 2s);

    const SilentSocket hung(path("hung"));
    ASSERT_TRUE(hung.isListening());
    qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(path("hung")));
    PulseSoundPlayer player(500ms);

    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(player.playSync(beepPath()));
    std::printf("hung server gave up after %lld ms\n", static_cast<long long>(timer.elapsed()));
    EXPECT_GE(timer.elapsed(), 400);
    EXPECT_LT(timer.elapsed(), 2000);
}

TEST_F(PulseSoundPlayerTest, ServerThatStopsMidwayFailsWithinThePlayBound)
{
    ASSERT_NO_FATAL_FAILURE(startServer());
    const QString sound = path("one-second.wav");
    ASSERT_TRUE(writeWav(sound, 48000, 1, 48000));
    PulseSoundPlayer player(500ms);

    // Frozen after the stream is up, the server never reports the sound drained.
    const pid_t daemon = m_daemon.pid();
    std::thread freezer([daemon] {
        std::this_thread::sleep_for(500ms);
        kill(daemon, SIGSTOP);
    });
    QElapsedTimer timer;
    timer.start();
    const bool played = player.playSync(sound);
    const milliseconds elapsed(timer.elapsed());
    freezer.join();
    std::printf("frozen server gave up after %lld ms\n", static_cast<long long>(elapsed.count()));

    EXPECT_FALSE(played);
    // At least the play bound: giving up at the connect bound would be another fault.
    EXPECT_GE(elapsed, 1000ms + PulseSoundPlayer::playMargin);
    EXPECT_LE(elapsed, 1000ms + PulseSoundPlayer::playMargin + 2s);
}

} // namespace
