// ahx play: a list of songs through the default sound device, streamed by
// the same device and playback thread as the program, one song after
// another without a gap, with a status line and keys.
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "ahx/player.h"
#include "ahx/wave_tables.h"
#include "audio/channel_mix.h"
#include "audio/stream_format.h"
#include "audio/wave_out_device.h"
#include "shells/ahx/command_line.h"
#include "shells/ahx/commands.h"
#include "shells/ahx/heard_sound.h"
#include "shells/ahx/mix_options.h"
#include "shells/ahx/song_argument.h"
#include "shells/ahx/song_end.h"

namespace tools {

namespace {

constexpr std::string_view kHelp =
    "usage: ahx play SONG... [options]\n"
    "\n"
    "Plays the songs one after another through the default sound device, 44100\n"
    "Hz 16-bit mono (or stereo) in sixteen 40 ms blocks: one song loops until\n"
    "you quit, several each play once through. From one song to the next the\n"
    "sound runs on without a gap. The status line shows the place in the list\n"
    "(3/12), the title, the time played against the song's length (or 'loops'),\n"
    "the position, the step and a level meter per channel, five cells of 6 dB\n"
    "each, all of the moment you hear (not of what is queued ahead); a channel\n"
    "left out shows 'off'.\n"
    "\n"
    "  n, Right              next song; after the last, the end\n"
    "  p, Left               previous song; more than 3 s into a song, its start\n"
    "  s                     next subsong, of a song that has them\n"
    "  SPACE                 pause, resume\n"
    "  q, Ctrl-C             quit\n"
    "\n"
    "In the background (ahx play SONG &) it plays on without the keys and the\n"
    "status line, which come back with fg.\n"
    "\n"
    "  SONG                  an AHX song file, or its text form (.ahxt), compiled\n"
    "                        first: edit the text, play it in one step. A folder\n"
    "                        plays its songs in name order. A song that cannot be\n"
    "                        loaded is reported and left out\n"
    "  --track N             tune N (1..10) of the musicdisk; may be repeated\n"
    "  --loops K             move on from a song that loops forever at its K-th\n"
    "                        return (1..100); by default 1 with several songs or\n"
    "                        with --fade, and never with one. A song that stops by\n"
    "                        itself (tempo 0) moves on at once. Every song lasts\n"
    "                        exactly what `ahx render --loops K` writes of it\n"
    "  --fade S              fade out over each song's last S seconds, as render\n"
    "                        does (not a song that stops by itself)\n"
    "  --loop-list           start the list again after its last song\n"
    "  --shuffle             play the list in a random order\n"
    "  --subsong N           start every song at subsong N instead of the main\n"
    "                        song (0); a song without it is reported and left out\n"
    "  --watch               reload a song whenever its file is saved, and go on\n"
    "                        from the same position and step (from the start when\n"
    "                        that position is gone); a mistake in a text form\n"
    "                        shows as FILE:LINE: message on the status line while\n"
    "                        the last good version plays on\n"
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
    "little-endian PCM instead (VELTRANE_WAVEOUT_PACE=fast: without waiting);\n"
    "a list played to its end there is its songs' renders one after another.\n"
    "\n"
    "Exit codes: 0 played, 1 usage (or a song without --subsong N), 2 a song\n"
    "that cannot be loaded, 3 no sound device opens, or the device stops taking\n"
    "sound while playing (for instance a USB card unplugged). With several\n"
    "songs each failure is reported, the others play, and the exit code is the\n"
    "highest of theirs.\n";

constexpr int kKeyWaitMilliseconds = 50;
constexpr int kKeyRight = 0x100;
constexpr int kKeyLeft = 0x101;
// More than 3 s into a song, "previous" goes back to its start.
constexpr double kBackToStartSeconds = 3;
// How often a watched file is looked at.
constexpr auto kWatchInterval = std::chrono::milliseconds(250);
// Songs are made ready this far ahead of what is rendered, so that the
// playback thread never waits for the next one: the device's ring, refilled
// as fast as a file takes it, and slow turns of the key loop.
constexpr int64_t kLookaheadFrames = int64_t(10) * kSampleRate;
constexpr int64_t kForever = -1;

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

    // The next key within `milliseconds`, or -1; the arrow keys Right and
    // Left as kKeyRight and kKeyLeft.
    int next(int milliseconds) {
        if (terminal_) takeKeys();
        if (ended_ || (terminal_ && !raw_)) {
            poll(nullptr, 0, milliseconds);
            return -1;
        }
        const int key = readByte(milliseconds);
        if (key != 0x1B) return key;
        // ESC [ C, or ESC O C in a terminal's application mode.
        const int introducer = readByte(kSequenceMilliseconds);
        if (introducer != '[' && introducer != 'O') return -1;
        const int last = readByte(kSequenceMilliseconds);
        return last == 'C' ? kKeyRight : last == 'D' ? kKeyLeft : -1;
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

    int readByte(int milliseconds) {
        pollfd input{STDIN_FILENO, POLLIN, 0};
        if (poll(&input, 1, milliseconds) <= 0) return -1;
        unsigned char key = 0;
        const ssize_t n = read(STDIN_FILENO, &key, 1);
        // At the end of piped input, play on until q or a signal.
        if (n == 0) ended_ = true;
        return n == 1 ? key : -1;
    }

    // The bytes of one key's sequence arrive together.
    static constexpr int kSequenceMilliseconds = 30;
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

struct Status {
    std::string message;  // a watched song's mistake, ahead of everything
    std::string title;
    std::string place;  // "3/12", empty for one song
    std::string position;
    std::string step;
    std::string time;
    std::string meters;
    bool paused = false;
};

// The status line within `width` columns, as one line a carriage return
// rewrites: a longer one would wrap and leave a line behind at every
// update. What gives way first is the title, cut short and then left out;
// then the step, the position, the place in the list, the time and the
// pause mark. The meters go last, cut at the edge when nothing else is
// left; a message stays in front and is cut only at the edge.
std::string statusLine(const Status& status, size_t width) {
    struct Part {
        std::string text;
        int givesWay;  // the lowest goes first
        bool beforeTitle = false;
    };
    constexpr int kStays = 6;
    std::vector<Part> parts;
    if (!status.message.empty()) parts.push_back({printable(status.message), kStays, true});
    if (!status.place.empty()) parts.push_back({status.place, 2, true});
    parts.push_back({status.position, 1});
    parts.push_back({status.step, 0});
    parts.push_back({status.time, 3});
    parts.push_back({status.meters, 5});
    if (status.paused) parts.push_back({"(paused)", 4});
    auto join = [&parts] {
        std::string line;
        for (const Part& part : parts) line += (line.empty() ? "" : "  ") + part.text;
        return line;
    };
    std::string line = join();
    for (int next = 0; line.size() > width && next < 5; ++next) {
        std::erase_if(parts, [next](const Part& part) { return part.givesWay == next; });
        line = join();
    }
    if (line.size() >= width) return line.substr(0, width);
    const std::string& title = status.title;
    const size_t room = width - line.size() > 2 ? width - line.size() - 2 : 0;
    // A stub of a few letters says nothing; an ellipsis shows the cut.
    std::string head;
    if (title.size() <= room) {
        head = utf8(title);
    } else if (room >= 4) {
        head = utf8(title.substr(0, room - 1)) + "\u2026";
    }
    if (head.empty()) return line;
    // The message and the place in the list read before the title.
    size_t at = 0;
    for (const Part& part : parts) {
        if (!part.beforeTitle) break;
        at += part.text.size() + 2;
    }
    if (at > line.size()) return line + "  " + head;
    return line.substr(0, at) + head + "  " + line.substr(at);
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

// One song of the list as it plays: its player, renderer and mix, started
// where it starts, and its length. Made on the main thread; once given to
// the source the playback thread alone renders it.
struct Track {
    uint64_t id = 0;  // told apart from every other track of this run
    size_t slot = 0;  // its place in the play order
    StartPoint start;
    int64_t length = kForever;
    std::unique_ptr<ahx::Player> player;
    std::unique_ptr<audio::VoiceRenderer> renderer;
    audio::ChannelMix mix;
    int64_t rendered = 0;  // the playback thread's
    // The frame of the stream its first sample is; -1 until it starts.
    // Under the source's mutex.
    int64_t streamStart = -1;
    // What the listener hears of it, for the status line; the main
    // thread's, made when it is first heard.
    std::unique_ptr<HeardSound> heard;

    bool ended() const { return length != kForever && rendered >= length; }
};

// The sound of the list, pulled by the playback thread: each track up to
// its last sample and the next from its first within the same block, so
// the device plays the songs' renders one after another with nothing
// between them. Tracks are handed over through a mutex taken only where
// one ends; all else it needs is allocated before playing starts.
class ListSource final : public audio::PcmSource {
public:
    ListSource(int32_t channels, int32_t blockCount)
        : channels_(channels), blockCount_(blockCount), voiceSamples_(size_t(audio::kVoices) * kPiece) {}

    // Starts the stream anew with `first`; only while the device does not
    // play from this source.
    void restart(std::unique_ptr<Track> first) {
        std::lock_guard lock(mutex_);
        tracks_.clear();
        first->streamStart = 0;
        current_ = first.get();
        tracks_.push_back(std::move(first));
        stream_ = 0;
        closed_ = false;
        ended_ = false;
        silentCalls_ = 0;
        drained_.store(false);
    }
    // `track` follows the last one given.
    void append(std::unique_ptr<Track> track) {
        std::lock_guard lock(mutex_);
        tracks_.push_back(std::move(track));
    }
    // Nothing follows the last track given: the stream ends with it.
    void close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    bool closed() {
        std::lock_guard lock(mutex_);
        return closed_;
    }
    // The last track given, and the frames of those not started yet (a
    // track that never ends counts as endless).
    const Track& last() {
        std::lock_guard lock(mutex_);
        return *tracks_.back();
    }
    int64_t framesAhead() {
        std::lock_guard lock(mutex_);
        int64_t frames = 0;
        for (const auto& track : tracks_) {
            if (track->streamStart >= 0) continue;
            if (track->length == kForever) return std::numeric_limits<int64_t>::max();
            frames += track->length;
        }
        return frames;
    }
    // The track sounding at stream frame `frame`; those heard in full
    // before it are let go.
    Track* heardAt(int64_t frame) {
        std::lock_guard lock(mutex_);
        Track* heard = nullptr;
        for (const auto& track : tracks_) {
            if (track->streamStart < 0 || track->streamStart > frame) break;
            heard = track.get();
        }
        while (heard != nullptr && tracks_.front().get() != heard) tracks_.pop_front();
        return heard;
    }
    // The stream has ended and the device has played all of it.
    bool drained() const { return drained_.load(); }

    int32_t pull(int16_t* out, int32_t frames) override {
        int32_t done = 0;
        while (done < frames) {
            if (current_->ended()) {
                if (!takeNext()) break;
                continue;
            }
            int64_t n = std::min(frames - done, kPiece);
            if (current_->length != kForever) n = std::min(n, current_->length - current_->rendered);
            render(*current_, int32_t(n), out + size_t(done) * size_t(channels_));
            done += int32_t(n);
        }
        // Blocks come back done in the order they were queued and each is
        // refilled only once done, so by the ring's length of empty blocks
        // after the last sound, that sound has been played.
        if (done > 0) {
            silentCalls_ = 0;
        } else if (ended_ && ++silentCalls_ >= blockCount_) {
            drained_.store(true);
        }
        return done;
    }

private:
    static constexpr int32_t kPiece = kBlockSamples;

    bool takeNext() {
        std::lock_guard lock(mutex_);
        const auto at = std::find_if(tracks_.begin(), tracks_.end(),
                                     [this](const auto& track) { return track.get() == current_; });
        if (at == tracks_.end() || at + 1 == tracks_.end()) {
            // Not closed: the next is not ready yet, and the block is cut
            // short rather than filled with a silence that is no song's.
            ended_ = closed_;
            return false;
        }
        current_ = (at + 1)->get();
        current_->streamStart = stream_;
        return true;
    }

    void render(Track& track, int32_t n, int16_t* out) {
        int32_t* voices[audio::kVoices];
        for (int v = 0; v < audio::kVoices; ++v) voices[v] = voiceSamples_.data() + size_t(v) * kPiece;
        track.renderer->render(voices, n);
        track.mix.mix(voices, n, track.rendered, out);
        track.rendered += n;
        stream_ += n;
    }

    const int32_t channels_;
    const int32_t blockCount_;
    std::vector<int32_t> voiceSamples_;
    std::mutex mutex_;
    std::deque<std::unique_ptr<Track>> tracks_;  // heard, playing and ready, in order
    Track* current_ = nullptr;
    int64_t stream_ = 0;
    bool closed_ = false;
    bool ended_ = false;
    int32_t silentCalls_ = 0;
    std::atomic<bool> drained_{false};
};

// The clock of what is heard: time since the stream started, less the
// pauses.
class HeardClock {
public:
    void restart(Clock::time_point now) {
        start_ = now;
        pausedAt_ = now;
        pausedFor_ = {};
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
    double seconds(Clock::time_point now) const {
        return std::chrono::duration<double>((paused_ ? pausedAt_ : now) - start_ - pausedFor_).count();
    }

private:
    Clock::time_point start_ = Clock::now();
    Clock::time_point pausedAt_{};
    Clock::duration pausedFor_{};
    bool paused_ = false;
};

struct Settings {
    MixOptions mix;
    int64_t loops = 0;  // 0: not given
    double fade = 0;
    int64_t subsong = 0;
    bool loopList = false;
    bool shuffle = false;
    bool watch = false;
};

// What --watch compares: a save changes a file's time or its size.
struct FileStamp {
    int64_t seconds = 0;
    int64_t nanoseconds = 0;
    int64_t size = -1;
    bool operator==(const FileStamp&) const = default;
};

FileStamp stampOf(const std::string& path) {
    struct stat file {};
    if (path.empty() || stat(path.c_str(), &file) != 0) return {};
    return {int64_t(file.st_mtim.tv_sec), int64_t(file.st_mtim.tv_nsec), int64_t(file.st_size)};
}

struct Entry {
    SongArgument argument;
    ahx::Song song;
    std::string title;
    FileStamp stamp;
};

std::string clockText(int64_t frames) {
    const int64_t tenths = frames * 10 / kSampleRate;
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d.%d", int(tenths / 600), int(tenths / 10 % 60),
                  int(tenths % 10));
    return text;
}

// The list in its play order and the tracks made from it: which song
// follows which, how long each lasts, and the moves the keys make.
class PlayList {
public:
    PlayList(std::vector<Entry>& entries, const Settings& settings, bool several,
             const ahx::WaveTables& tables, audio::WaveOutDevice& device, ListSource& source,
             HeardClock& clock)
        : entries_(entries),
          settings_(settings),
          tables_(tables),
          device_(device),
          source_(source),
          clock_(clock) {
        // One song loops until you quit, as a lone song always has; a list
        // moves on, and a fade asks for an end to fade into.
        passes_ = settings.loops > 0 ? int32_t(settings.loops) : several || settings.fade > 0 ? 1 : 0;
        for (size_t k = 0; k < entries.size(); ++k) order_.push_back(k);
        if (settings.shuffle)
            std::shuffle(order_.begin(), order_.end(), std::mt19937(std::random_device{}()));
        bool heard[audio::kVoices];
        settings.mix.heardChannels(heard);
        std::copy(std::begin(heard), std::end(heard), heard_);
    }

    size_t size() const { return order_.size(); }
    Entry& entry(size_t slot) { return entries_[order_[slot]]; }
    StartPoint songStart() const { return StartPoint{int32_t(settings_.subsong)}; }
    const bool (&heard() const)[audio::kVoices] { return heard_; }

    std::optional<size_t> following(size_t slot) const {
        if (slot + 1 < order_.size()) return slot + 1;
        if (settings_.loopList) return 0;
        return std::nullopt;
    }
    size_t preceding(size_t slot) const {
        if (slot > 0) return slot - 1;
        return settings_.loopList ? order_.size() - 1 : 0;
    }

    // Plays from `slot` at `start` at once: what is queued of the song
    // before is dropped, as a listener who pressed a key expects.
    void jumpTo(size_t slot, const StartPoint& start, Clock::time_point now) {
        device_.stop();
        source_.restart(makeTrack(slot, start));
        offerAhead();
        clock_.restart(now);
        device_.stream(&source_);
    }

    // Makes the songs that follow ready, far enough ahead.
    void offerAhead() {
        while (!source_.closed() && source_.framesAhead() < kLookaheadFrames) {
            const Track& last = source_.last();
            const std::optional<size_t> next = last.length == kForever ? std::nullopt : following(last.slot);
            if (!next) {
                source_.close();
                return;
            }
            source_.append(makeTrack(*next, songStart()));
        }
    }

private:
    std::unique_ptr<Track> makeTrack(size_t slot, const StartPoint& start) {
        const ahx::Song& song = entry(slot).song;
        auto track = std::make_unique<Track>();
        track->id = ++made_;
        track->slot = slot;
        track->start = start;
        // Played for ever, a song that stops by itself still ends where it stops.
        const SongLength length = measurePasses(song, tables_, start, std::max(passes_, 1));
        if (passes_ > 0 || length.stopsByItself) track->length = length.frames;
        const bool stopsByItself = length.stopsByItself;
        track->mix.configure(settings_.mix.stereo ? 2 : 1, settings_.mix.separation, heard_);
        if (settings_.fade > 0 && track->length != kForever && !stopsByItself) {
            const int64_t fade = fadeFrames(settings_.fade, track->length);
            track->mix.setFade(track->length - fade, fade);
        }
        track->player = std::make_unique<ahx::Player>();
        track->player->bindWaveTables(&tables_);
        track->player->song = song;
        startAt(*track->player, start);
        track->renderer = std::make_unique<audio::VoiceRenderer>();
        track->renderer->setup(kSampleRate, kFramesPerBlock, 0);
        track->renderer->start(track->player.get());
        return track;
    }

    std::vector<Entry>& entries_;
    const Settings& settings_;
    const ahx::WaveTables& tables_;
    audio::WaveOutDevice& device_;
    ListSource& source_;
    HeardClock& clock_;
    std::vector<size_t> order_;
    int32_t passes_ = 0;  // 0: for ever
    uint64_t made_ = 0;
    bool heard_[audio::kVoices] = {};
};

// The songs named on the command line, a folder's in name order; those that
// cannot be loaded are reported and left out, `worst` keeping the highest
// exit code among them.
std::vector<Entry> loadSongs(const std::vector<SongArgument>& arguments, const Settings& settings, int& worst,
                             int& failures, size_t& given) {
    std::vector<SongArgument> songs;
    for (const SongArgument& argument : arguments) {
        std::error_code error;
        if (argument.file().empty() || !std::filesystem::is_directory(argument.file(), error)) {
            songs.push_back(argument);
            continue;
        }
        std::string message;
        if (!songsInFolder(argument.file(), songs, message)) {
            std::fprintf(stderr, "ahx play: %s\n", message.c_str());
            worst = std::max(worst, kExitBadInput);
            ++failures;
            ++given;
        }
    }
    given += songs.size();
    std::vector<Entry> entries;
    for (SongArgument& argument : songs) {
        Entry entry{argument, {}, {}, stampOf(argument.file())};
        if (!entry.argument.load("play", entry.song)) {
            worst = std::max(worst, kExitBadInput);
            ++failures;
            continue;
        }
        if (settings.subsong > entry.song.subsongCount) {
            std::fprintf(stderr, "ahx play: %s: no subsong %d (the song has %d)\n",
                         entry.argument.name().c_str(), int(settings.subsong), int(entry.song.subsongCount));
            worst = std::max(worst, kExitUsage);
            ++failures;
            continue;
        }
        entry.title = printable(entry.song.title.empty() ? entry.argument.name() : entry.song.title);
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace

int runPlay(Args args) {
    std::vector<SongArgument> arguments;
    Settings settings;
    CommandLine line("play", std::string(kHelp));
    addSongArguments(line, arguments, true);
    line.number("--loops", settings.loops, 1, 100, "--loops needs a number from 1 to 100");
    line.number("--fade", settings.fade, 0, kMaxSeconds, "--fade needs a number of seconds from 0 to 10800");
    line.number("--subsong", settings.subsong, 0, 255, "--subsong needs a number from 0 to 255");
    line.flag("--loop-list", settings.loopList);
    line.flag("--shuffle", settings.shuffle);
    line.flag("--watch", settings.watch);
    addMixOptions(line, settings.mix, true);
    if (auto done = line.parse(args)) return *done;
    if (arguments.empty()) return line.usageError("no SONG given");
    if (const std::string error = checkMixOptions(settings.mix); !error.empty())
        return line.usageError(error);

    int worst = kExitOk;
    int failures = 0;
    size_t given = 0;
    std::vector<Entry> entries = loadSongs(arguments, settings, worst, failures, given);
    auto summary = [&](int code) {
        if (given > 1 && failures > 0)
            std::fprintf(stderr, "ahx play: %d of %d songs failed\n", failures, int(given));
        return std::max(worst, code);
    };
    if (entries.empty()) return summary(kExitOk);

    auto tables = std::make_unique<ahx::WaveTables>();
    const int32_t channels = settings.mix.stereo ? 2 : 1;
    auto device = std::make_unique<audio::WaveOutDevice>();
    if (device->open(kSampleRate, audio::kBitsPerSample, kFramesPerBlock, audio::kBlockCount, 1.0f,
                     channels) == 0) {
        std::fprintf(stderr, "ahx play: no sound device could be opened for %d Hz %d-bit %s\n",
                     int(kSampleRate), int(audio::kBitsPerSample), settings.mix.stereo ? "stereo" : "mono");
        return summary(kExitNoDevice);
    }
    if (device->startThread() == 0) {
        device->release();
        std::fprintf(stderr, "ahx play: cannot start the playback thread\n");
        return summary(kExitNoDevice);
    }

    InterruptGuard interruptGuard;
    KeyReader keys;
    const bool onTerminal = isatty(STDOUT_FILENO) == 1;
    auto source = std::make_unique<ListSource>(channels, audio::kBlockCount);
    HeardClock clock;
    PlayList list(entries, settings, given > 1, *tables, *device, *source, clock);
    const bool several = list.size() > 1 || given > 1;

    interrupted = 0;
    list.jumpTo(0, list.songStart(), Clock::now());
    bool lost = false;
    bool shown = false;
    uint64_t lastHeard = 0;
    std::string message;  // the mistake in a watched song, until it is mended
    Clock::time_point nextWatch = Clock::now() + kWatchInterval;
    while (interrupted == 0) {
        if (device->deviceLost() != 0) {
            lost = true;
            break;
        }
        if (source->drained()) break;
        const int key = keys.next(kKeyWaitMilliseconds);
        if (key == 'q' || key == 'Q' || key == 3) break;
        const Clock::time_point now = Clock::now();
        const int64_t frame = int64_t(clock.seconds(now) * kSampleRate);
        Track* heard = source->heardAt(frame);
        const int64_t into = std::max<int64_t>(0, frame - heard->streamStart);
        Entry& entry = list.entry(heard->slot);
        if (key == ' ') {
            if (clock.paused()) {
                device->resume();
                clock.resume(now);
            } else {
                device->pause();
                clock.pause(now);
            }
        } else if (key == 'n' || key == 'N' || key == kKeyRight) {
            const std::optional<size_t> next = list.following(heard->slot);
            if (!next) break;
            list.jumpTo(*next, list.songStart(), now);
            continue;
        } else if (key == 'p' || key == 'P' || key == kKeyLeft) {
            if (double(into) > kBackToStartSeconds * kSampleRate) {
                list.jumpTo(heard->slot, StartPoint{heard->start.subsong}, now);
            } else {
                list.jumpTo(list.preceding(heard->slot), list.songStart(), now);
            }
            continue;
        } else if ((key == 's' || key == 'S') && entry.song.subsongCount > 0) {
            list.jumpTo(heard->slot, StartPoint{(heard->start.subsong + 1) % (entry.song.subsongCount + 1)},
                        now);
            continue;
        }
        list.offerAhead();

        const bool following = onTerminal || settings.watch;
        if (following) {
            // Followed in the background too, so that coming back to the
            // foreground costs no catching up.
            if (!heard->heard)
                heard->heard = std::make_unique<HeardSound>(entry.song, *tables, heard->start, list.heard());
            heard->heard->advanceTo(heard->length == kForever ? into : std::min(into, heard->length));
        }
        if (settings.watch && now >= nextWatch) {
            nextWatch = now + kWatchInterval;
            const FileStamp stamp = stampOf(entry.argument.file());
            if (!(stamp == entry.stamp)) {
                entry.stamp = stamp;
                ahx::Song song;
                if (entry.argument.load(song, message, nullptr)) {
                    message.clear();
                    const ahx::Player& at = heard->heard->player();
                    entry.song = std::move(song);
                    entry.title =
                        printable(entry.song.title.empty() ? entry.argument.name() : entry.song.title);
                    list.jumpTo(heard->slot,
                                StartPoint{heard->start.subsong, at.position, at.stepIndex, at.tempo}, now);
                    continue;
                }
                if (!onTerminal) std::fprintf(stderr, "ahx play: %s\n", message.c_str());
            }
        }

        const std::string place =
            several ? std::to_string(heard->slot + 1) + "/" + std::to_string(list.size()) : "";
        if (!onTerminal) {
            if (heard->id != lastHeard) {
                std::printf("%s%s\n", place.empty() ? "" : (place + "  ").c_str(), utf8(entry.title).c_str());
                std::fflush(stdout);
            }
            lastHeard = heard->id;
            continue;
        }
        if (!inForeground(STDOUT_FILENO)) continue;
        if (!shown) {
            std::printf("keys: n/Right next  p/Left previous  SPACE pause  s subsong  q quit\n");
        }
        const ahx::Song& song = entry.song;
        const ahx::Player& at = heard->heard->player();
        Status status;
        status.message = message;
        status.title = entry.title;
        status.place = place;
        if (song.subsongCount > 0) {
            status.place += (status.place.empty() ? "" : " ") + std::string("subsong ") +
                            std::to_string(heard->start.subsong) + "/" + std::to_string(song.subsongCount);
        }
        char position[32], step[32];
        std::snprintf(position, sizeof position, "position %3d/%d", int(at.position),
                      int(song.positionCount));
        std::snprintf(step, sizeof step, "step %2d/%d", int(at.stepIndex), int(song.trackLength));
        status.position = position;
        status.step = step;
        status.time = clockText(heard->length == kForever ? into : std::min(into, heard->length)) + " / " +
                      (heard->length == kForever ? "loops" : clockText(heard->length));
        status.meters = levelMeter(*heard->heard).substr(1);
        status.paused = clock.paused();
        // A line reaching the last column wraps on some terminals.
        const size_t width = terminalColumns(STDOUT_FILENO) - 1;
        std::printf("\r%s\033[K", statusLine(status, width).c_str());
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
        return summary(kExitNoDevice);
    }
    return summary(kExitOk);
}

}  // namespace tools
