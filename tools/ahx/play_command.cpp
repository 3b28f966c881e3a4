// ahx play: a song through the default sound device, streamed by the same
// device and playback thread as the program, with a status line and keys.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#include "ahx/player.h"
#include "ahx/wave_tables.h"
#include "audio/wave_out_device.h"
#include "tools/ahx/command_line.h"
#include "tools/ahx/commands.h"
#include "tools/ahx/song_argument.h"

namespace tools {

namespace {

constexpr std::string_view kHelp =
    "usage: ahx play (SONG | --track N)\n"
    "\n"
    "Plays the song from its start through the default sound device, 44100 Hz\n"
    "16-bit mono in sixteen 40 ms blocks, until you quit. The line below the\n"
    "title shows the position, the step and the time played.\n"
    "\n"
    "  SPACE                 pause, resume\n"
    "  q, Ctrl-C             quit\n"
    "\n"
    "  SONG                  an AHX song file\n"
    "  --track N             instead of SONG, tune N (1..10) of the musicdisk\n"
    "\n"
    "With VELTRANE_WAVEOUT_FILE=PATH the sound is appended to PATH as raw 16-bit\n"
    "little-endian PCM instead (VELTRANE_WAVEOUT_PACE=fast: without waiting).\n"
    "\n"
    "Exits with 3 when no sound device opens, or when the device stops taking\n"
    "sound while playing (for instance a USB card unplugged).\n";

constexpr int32_t kSampleRate = 44100;
constexpr int32_t kBitsPerSample = 16;
constexpr int32_t kFramesPerBlock = 2;
constexpr int32_t kBlockCount = 16;
constexpr int kKeyWaitMilliseconds = 50;

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t interrupted = 0;

void onInterrupt(int) {
    interrupted = 1;
}

// Catches Ctrl-C and termination for as long as it lives, so that the way
// out always stops the sound and gives the device back.
class InterruptGuard {
public:
    InterruptGuard() {
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &savedInt_);
        sigaction(SIGTERM, &action, &savedTerm_);
    }
    ~InterruptGuard() {
        sigaction(SIGINT, &savedInt_, nullptr);
        sigaction(SIGTERM, &savedTerm_, nullptr);
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
    struct sigaction savedInt_ {};
    struct sigaction savedTerm_ {};
};

// Single keys without Enter and without echo while it lives; Ctrl-C still
// raises SIGINT. Standard input that is not a terminal is read as it comes.
class KeyReader {
public:
    KeyReader() {
        if (isatty(STDIN_FILENO) != 1 || tcgetattr(STDIN_FILENO, &saved_) != 0) return;
        termios raw = saved_;
        raw.c_lflag &= ~tcflag_t(ICANON | ECHO);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        raw_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    }
    ~KeyReader() {
        if (raw_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
    }
    KeyReader(const KeyReader&) = delete;
    KeyReader& operator=(const KeyReader&) = delete;

    // The next key within `milliseconds`, or -1.
    int next(int milliseconds) {
        if (ended_) {
            poll(nullptr, 0, milliseconds);
            return -1;
        }
        pollfd input{STDIN_FILENO, POLLIN, 0};
        if (poll(&input, 1, milliseconds) <= 0) return -1;
        unsigned char key = 0;
        ssize_t n = read(STDIN_FILENO, &key, 1);
        // At the end of piped input, play on until q or a signal.
        if (n == 0) ended_ = true;
        return n == 1 ? key : -1;
    }

private:
    termios saved_{};
    bool raw_ = false;
    bool ended_ = false;
};

// Titles come from the file: Latin-1 as the Amiga wrote them, shown as UTF-8,
// with control bytes replaced so that a title cannot steer the terminal.
std::string printable(const std::string& text) {
    std::string out;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
            out += '?';
        } else if (c < 0x80) {
            out += char(c);
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Why the device refused its blocks, as a person reads it.
std::string describeRefusal(MMRESULT result) {
    switch (result) {
        case platform::MMSYSERR_NODRIVER:
            return "the device is gone";
        case platform::MMSYSERR_NOMEM:
            return "out of memory";
        default:
            return "waveOut error " + std::to_string(result);
    }
}

// What the listener hears now: a second player on this thread follows the
// playing one tick for tick at the pace of the clock, so the status line
// never reads the player the playback thread is ticking.
class Follower {
public:
    Follower(const ahx::Song& song, const ahx::WaveTables& tables) {
        player_.bindWaveTables(&tables);
        player_.song = song;
        player_.startSubsong(0);
        ticksPerSecond_ = 50 * std::max<int32_t>(1, song.speedMultiplier);
    }

    void pause(Clock::time_point now) {
        if (paused_) return;
        paused_ = true;
        pausedAt_ = now;
    }
    void resume(Clock::time_point now) {
        if (!paused_) return;
        paused_ = false;
        pausedFor_ += now - pausedAt_;
    }
    bool paused() const { return paused_; }

    // Ticks up to `now` and answers the seconds heard.
    double advance(Clock::time_point now) {
        double seconds =
            std::chrono::duration<double>((paused_ ? pausedAt_ : now) - start_ - pausedFor_).count();
        // Each block ticks before it mixes, so the tick that governs the sound has already run.
        auto due = int64_t(seconds * double(ticksPerSecond_)) + 1;
        for (; ticks_ < due; ++ticks_) player_.tick();
        return seconds;
    }
    const ahx::Player& player() const { return player_; }

private:
    ahx::Player player_;
    int64_t ticksPerSecond_ = 50;
    int64_t ticks_ = 0;
    Clock::time_point start_ = Clock::now();
    Clock::time_point pausedAt_{};
    Clock::duration pausedFor_{};
    bool paused_ = false;
};

}  // namespace

int runPlay(Args args) {
    SongArgument songArgument;
    if (auto done = parseSongOnly("play", kHelp, args, songArgument)) return *done;

    auto tables = std::make_unique<ahx::WaveTables>();
    auto player = std::make_unique<ahx::Player>();
    player->bindWaveTables(tables.get());
    if (!songArgument.load("play", player->song)) return kExitBadInput;
    player->startSubsong(0);

    auto device = std::make_unique<audio::WaveOutDevice>();
    if (device->open(kSampleRate, kBitsPerSample, kFramesPerBlock, kBlockCount, 1.0f) == 0) {
        std::fprintf(stderr, "ahx play: no sound device could be opened for 44100 Hz 16-bit mono\n");
        return kExitNoDevice;
    }
    if (device->startThread() == 0) {
        device->release();
        std::fprintf(stderr, "ahx play: cannot start the playback thread\n");
        return kExitNoDevice;
    }

    InterruptGuard interruptGuard;
    KeyReader keys;
    const bool statusLine = isatty(STDOUT_FILENO) == 1;
    const ahx::Song& song = player->song;
    std::string title = printable(song.title.empty() ? songArgument.name() : song.title);
    if (!statusLine) {
        std::printf("%s\n", title.c_str());
        std::fflush(stdout);
    }

    interrupted = 0;
    auto follower = std::make_unique<Follower>(song, *tables);
    device->play(player.get());
    bool lost = false;
    while (interrupted == 0) {
        if (device->deviceLost() != 0) {
            lost = true;
            break;
        }
        int key = keys.next(kKeyWaitMilliseconds);
        if (key == 'q' || key == 'Q' || key == 3) break;
        Clock::time_point now = Clock::now();
        if (key == ' ') {
            if (follower->paused()) {
                device->resume();
                follower->resume(now);
            } else {
                device->pause();
                follower->pause(now);
            }
        }
        double seconds = follower->advance(now);
        if (!statusLine) continue;
        const ahx::Player& heard = follower->player();
        auto tenths = int64_t(seconds * 10);
        std::printf("\r%s  position %3d/%d  step %2d/%d  %d:%02d.%d%s\033[K", title.c_str(),
                    int(heard.position), int(song.positionCount), int(heard.stepIndex), int(song.trackLength),
                    int(tenths / 600), int(tenths / 10 % 60), int(tenths % 10),
                    follower->paused() ? "  (paused)" : "");
        std::fflush(stdout);
    }
    if (statusLine) std::printf("\n");

    device->stop();
    device->stopThread();
    device->release();
    if (lost) {
        std::fprintf(stderr, "ahx play: the sound device stopped: it refused %d blocks in a row (%s)\n",
                     int(audio::WaveOutDevice::kRefusalsBeforeLost), describeRefusal(device->lastRefusal()).c_str());
        return kExitNoDevice;
    }
    return kExitOk;
}

}  // namespace tools
