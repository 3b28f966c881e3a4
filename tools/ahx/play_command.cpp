// ahx play: a song through the default sound device, streamed by the same
// device and playback thread as the program, with a status line and keys.
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ahx/player.h"
#include "ahx/wave_tables.h"
#include "audio/channel_mix.h"
#include "audio/wave_out_device.h"
#include "tools/ahx/command_line.h"
#include "tools/ahx/commands.h"
#include "tools/ahx/heard_sound.h"
#include "tools/ahx/mix_options.h"
#include "tools/ahx/song_argument.h"

namespace tools {

namespace {

constexpr std::string_view kHelp =
    "usage: ahx play (SONG | --track N) [--stereo [--separation P]] [--mute C,.. | --solo C,..]\n"
    "\n"
    "Plays the song from its start through the default sound device, 44100 Hz\n"
    "16-bit mono (or stereo) in sixteen 40 ms blocks, until you quit. The status\n"
    "line shows the position, the step, the time played and a level meter per\n"
    "channel, five cells of 6 dB each, all of the moment you hear (not of what\n"
    "is queued ahead); a channel left out shows 'off'.\n"
    "\n"
    "  SPACE                 pause, resume\n"
    "  q, Ctrl-C             quit\n"
    "\n"
    "In the background (ahx play SONG &) it plays on without the keys and the\n"
    "status line, which come back with fg.\n"
    "\n"
    "  SONG                  an AHX song file, or its text form (.ahxt), compiled\n"
    "                        first: edit the text, play it in one step\n"
    "  --track N             instead of SONG, tune N (1..10) of the musicdisk\n"
    "  --stereo              channels 1 and 4 left, 2 and 3 right, as the Amiga\n"
    "                        plays them\n"
    "  --separation P        0 (mono on both sides) to 100 (hard left and right);\n"
    "                        50 by default, for headphones, where hard panning is\n"
    "                        tiring: a voice still reaches the far ear a third as\n"
    "                        loud and keeps its side (see `ahx render --help`)\n"
    "  --mute C,..           leave out channels C (1..4), such as --mute 2,4\n"
    "  --solo C,..           play only channels C\n"
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

// The process has the terminal on `fd` to itself: it is in the terminal's
// foreground process group. A background job that reads the terminal or
// changes its mode is stopped by the shell's job control (SIGTTIN,
// SIGTTOU), and what it prints lands in the middle of the shell's line.
bool inForeground(int fd) {
    const pid_t group = tcgetpgrp(fd);
    return group != -1 && group == getpgrp();
}

volatile std::sig_atomic_t continued = 0;

void onContinue(int) {
    continued = 1;
}

// Single keys without Enter and without echo while it lives and the process
// is in the foreground; Ctrl-C still raises SIGINT. In the background (`ahx
// play ... &`) the terminal is left alone and no key is read; brought to the
// foreground it takes the keys again, setting the mode anew after a stop, as
// the shell resets the mode of a job it stopped. Standard input that is not
// a terminal is read as it comes.
class KeyReader {
public:
    KeyReader() : terminal_(isatty(STDIN_FILENO) == 1) {
        if (!terminal_) return;
        struct sigaction action {};
        action.sa_handler = onContinue;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        sigaction(SIGCONT, &action, &savedContinue_);
        takeKeys();
    }
    ~KeyReader() {
        if (!terminal_) return;
        if (raw_ && inForeground(STDIN_FILENO)) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
        sigaction(SIGCONT, &savedContinue_, nullptr);
    }
    KeyReader(const KeyReader&) = delete;
    KeyReader& operator=(const KeyReader&) = delete;

    // The next key within `milliseconds`, or -1.
    int next(int milliseconds) {
        if (terminal_) takeKeys();
        if (ended_ || (terminal_ && !raw_)) {
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
    void takeKeys() {
        if (!inForeground(STDIN_FILENO)) {
            raw_ = false;
            return;
        }
        if (raw_ && continued == 0) return;
        continued = 0;
        // The mode to give back is the one found first, before any of ours.
        if (!haveSaved_ && tcgetattr(STDIN_FILENO, &saved_) != 0) return;
        haveSaved_ = true;
        termios raw = saved_;
        raw.c_lflag &= ~tcflag_t(ICANON | ECHO);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        raw_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    }

    const bool terminal_;
    struct sigaction savedContinue_ {};
    termios saved_{};
    bool haveSaved_ = false;
    bool raw_ = false;
    bool ended_ = false;
};

// Titles come from the file: Latin-1 as the Amiga wrote them, with control
// bytes replaced so that a title cannot steer the terminal. One byte is one
// column.
std::string printable(const std::string& text) {
    std::string out = text;
    for (char& ch : out) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || (c >= 0x7F && c < 0xA0)) ch = '?';
    }
    return out;
}

std::string utf8(const std::string& latin1) {
    std::string out;
    for (char ch : latin1) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += char(c);
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// The columns of the terminal on `fd`, asked anew each time so that the
// line follows a resized window.
size_t terminalColumns(int fd) {
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
    return size.ws_col;
}

// The status line within `width` columns, as one line a carriage return
// rewrites: a longer one would wrap and leave a line behind at every
// update. What gives way first is the title, cut short and then left out;
// then the step, the position, the time and the pause mark. The meters go
// last, cut at the edge when nothing else is left.
std::string statusLine(const std::string& title, const std::string& position, const std::string& step,
                       const std::string& time, const std::string& meters, bool paused, size_t width) {
    struct Part {
        std::string text;
        int givesWay;  // the lowest goes first
    };
    std::vector<Part> parts = {{position, 1}, {step, 0}, {time, 2}, {meters, 4}};
    if (paused) parts.push_back({"(paused)", 3});
    auto join = [&parts] {
        std::string line;
        for (const Part& part : parts) line += (line.empty() ? "" : "  ") + part.text;
        return line;
    };
    std::string line = join();
    for (int next = 0; line.size() > width && next < 4; ++next) {
        std::erase_if(parts, [next](const Part& part) { return part.givesWay == next; });
        line = join();
    }
    if (line.size() >= width) return line.substr(0, width);
    const size_t room = width - line.size() > 2 ? width - line.size() - 2 : 0;
    // A stub of a few letters says nothing; an ellipsis shows the cut.
    if (title.size() <= room) return title.empty() ? line : utf8(title) + "  " + line;
    if (room < 4) return line;
    return utf8(title.substr(0, room - 1)) + "\u2026  " + line;
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

// The mix the device plays, rendered on the playback thread; everything it
// needs is allocated before playing starts.
class MixSource final : public audio::BlockSource {
public:
    MixSource(ahx::Player* player, const audio::ChannelMix& mix)
        : renderer_(std::make_unique<audio::ChannelRenderer>()),
          mix_(mix),
          voiceSamples_(size_t(audio::kVoices) * kPiece),
          frames_(size_t(kPiece) * size_t(mix.outputChannels())) {
        renderer_->setup(kSampleRate, kFramesPerBlock, 0);
        renderer_->start(player);
    }

    void renderPcm16(uint8_t* out, int32_t frames) override {
        int32_t* voices[audio::kVoices];
        for (int v = 0; v < audio::kVoices; ++v) voices[v] = voiceSamples_.data() + size_t(v) * kPiece;
        const int32_t channels = mix_.outputChannels();
        while (frames > 0) {
            const int32_t n = std::min(frames, kPiece);
            renderer_->render(voices, n);
            mix_.mix(voices, n, next_, frames_.data());
            for (int32_t i = 0; i < n * channels; ++i) {
                const auto v = uint16_t(frames_[size_t(i)]);
                *out++ = uint8_t(v & 0xFF);
                *out++ = uint8_t(v >> 8);
            }
            next_ += n;
            frames -= n;
        }
    }

private:
    static constexpr int32_t kPiece = 1764;
    std::unique_ptr<audio::ChannelRenderer> renderer_;
    audio::ChannelMix mix_;
    std::vector<int32_t> voiceSamples_;
    std::vector<int16_t> frames_;
    int64_t next_ = 0;
};

// The clock of what is heard: time since play started, less the pauses.
class HeardClock {
public:
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
    double seconds(Clock::time_point now) const {
        return std::chrono::duration<double>((paused_ ? pausedAt_ : now) - start_ - pausedFor_).count();
    }

private:
    Clock::time_point start_ = Clock::now();
    Clock::time_point pausedAt_{};
    Clock::duration pausedFor_{};
    bool paused_ = false;
};

}  // namespace

int runPlay(Args args) {
    SongArgument songArgument;
    MixOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string error;
        if (isHelp(args[i])) {
            std::fputs(std::string(kHelp).c_str(), stdout);
            return kExitOk;
        }
        if (matchMixOption(args, i, true, options, error) != OptionMatch::none) {
            if (!error.empty()) return usageError("play", kHelp, error);
        } else if (!songArgument.accept(args, i)) {
            return usageError("play", kHelp, "unexpected argument '" + std::string(args[i]) + "'");
        }
    }
    if (!songArgument.given()) return usageError("play", kHelp, "no SONG given");
    if (const std::string error = checkMixOptions(options); !error.empty())
        return usageError("play", kHelp, error);

    auto tables = std::make_unique<ahx::WaveTables>();
    auto player = std::make_unique<ahx::Player>();
    player->bindWaveTables(tables.get());
    if (!songArgument.load("play", player->song)) return kExitBadInput;
    player->startSubsong(0);

    bool heard[audio::kVoices];
    options.heardChannels(heard);
    audio::ChannelMix mix;
    mix.configure(options.stereo ? 2 : 1, options.separation, heard);
    auto source = std::make_unique<MixSource>(player.get(), mix);

    auto device = std::make_unique<audio::WaveOutDevice>();
    if (device->open(kSampleRate, kBitsPerSample, kFramesPerBlock, kBlockCount, 1.0f, mix.outputChannels()) ==
        0) {
        std::fprintf(stderr, "ahx play: no sound device could be opened for 44100 Hz 16-bit %s\n",
                     options.stereo ? "stereo" : "mono");
        return kExitNoDevice;
    }
    if (device->startThread() == 0) {
        device->release();
        std::fprintf(stderr, "ahx play: cannot start the playback thread\n");
        return kExitNoDevice;
    }

    InterruptGuard interruptGuard;
    KeyReader keys;
    const bool onTerminal = isatty(STDOUT_FILENO) == 1;
    const ahx::Song& song = player->song;
    const std::string title = printable(song.title.empty() ? songArgument.name() : song.title);
    if (!onTerminal) {
        std::printf("%s\n", utf8(title).c_str());
        std::fflush(stdout);
    }

    interrupted = 0;
    auto heardSound = std::make_unique<HeardSound>(song, *tables, 0, heard);
    HeardClock clock;
    device->playFrom(source.get());
    bool lost = false;
    bool shown = false;
    while (interrupted == 0) {
        if (device->deviceLost() != 0) {
            lost = true;
            break;
        }
        int key = keys.next(kKeyWaitMilliseconds);
        if (key == 'q' || key == 'Q' || key == 3) break;
        Clock::time_point now = Clock::now();
        if (key == ' ') {
            if (clock.paused()) {
                device->resume();
                clock.resume(now);
            } else {
                device->pause();
                clock.pause(now);
            }
        }
        const double seconds = clock.seconds(now);
        if (!onTerminal) continue;
        // Followed in the background too, so that coming back to the
        // foreground costs no catching up.
        heardSound->advanceTo(int64_t(seconds * kSampleRate));
        if (!inForeground(STDOUT_FILENO)) continue;
        const ahx::Player& at = heardSound->player();
        const auto tenths = int64_t(seconds * 10);
        char position[32], step[32], time[32];
        std::snprintf(position, sizeof position, "position %3d/%d", int(at.position),
                      int(song.positionCount));
        std::snprintf(step, sizeof step, "step %2d/%d", int(at.stepIndex), int(song.trackLength));
        std::snprintf(time, sizeof time, "%d:%02d.%d", int(tenths / 600), int(tenths / 10 % 60),
                      int(tenths % 10));
        // A line reaching the last column wraps on some terminals.
        const size_t width = terminalColumns(STDOUT_FILENO) - 1;
        const std::string meters = levelMeter(*heardSound).substr(1);
        std::printf("\r%s\033[K",
                    statusLine(title, position, step, time, meters, clock.paused(), width).c_str());
        std::fflush(stdout);
        shown = true;
    }
    if (shown && inForeground(STDOUT_FILENO)) std::printf("\n");

    device->stop();
    device->stopThread();
    device->release();
    if (lost) {
        std::fprintf(stderr, "ahx play: the sound device stopped: it refused %d blocks in a row (%s)\n",
                     int(audio::WaveOutDevice::kRefusalsBeforeLost),
                     describeRefusal(device->lastRefusal()).c_str());
        return kExitNoDevice;
    }
    return kExitOk;
}

}  // namespace tools
