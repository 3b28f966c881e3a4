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
    const bool statusLine = isatty(STDOUT_FILENO) == 1;
    const ahx::Song& song = player->song;
    std::string title = printable(song.title.empty() ? songArgument.name() : song.title);
    if (!statusLine) {
        std::printf("%s\n", title.c_str());
        std::fflush(stdout);
    }

    interrupted = 0;
    auto heardSound = std::make_unique<HeardSound>(song, *tables, 0, heard);
    HeardClock clock;
    device->playFrom(source.get());
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
            if (clock.paused()) {
                device->resume();
                clock.resume(now);
            } else {
                device->pause();
                clock.pause(now);
            }
        }
        const double seconds = clock.seconds(now);
        if (!statusLine) continue;
        heardSound->advanceTo(int64_t(seconds * kSampleRate));
        const ahx::Player& at = heardSound->player();
        auto tenths = int64_t(seconds * 10);
        std::printf("\r%s  position %3d/%d  step %2d/%d  %d:%02d.%d %s%s\033[K", title.c_str(),
                    int(at.position), int(song.positionCount), int(at.stepIndex), int(song.trackLength),
                    int(tenths / 600), int(tenths / 10 % 60), int(tenths % 10),
                    levelMeter(*heardSound).c_str(), clock.paused() ? "  (paused)" : "");
        std::fflush(stdout);
    }
    if (statusLine) std::printf("\n");

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
