#include "tools/song_text/song_text.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <optional>
#include <vector>

namespace tools {

namespace {

constexpr const char* kNoteNames[12] = {"C-", "C#", "D-", "D#", "E-", "F-",
                                        "F#", "G-", "G#", "A-", "A#", "B-"};
constexpr const char* kWaveNames[5] = {"---", "tri", "saw", "sqr", "noi"};
constexpr size_t kTailRowBytes = 32;

[[gnu::format(printf, 1, 2)]] std::string format(const char* fmt, ...) {
    char buf[256];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    return buf;
}

// format() appended to `out` in place: a song prints as thousands of lines,
// and a string made for each would cost an allocation apiece.
[[gnu::format(printf, 2, 3)]] void appendFormat(std::string& out, const char* fmt, ...) {
    char buf[256];
    va_list args;
    va_start(args, fmt);
    const int n = std::vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    if (n > 0) out.append(buf, size_t(std::min(n, int(sizeof buf) - 1)));
}

// A piece of the source as a message quotes it: bytes outside printable
// ASCII as \xNN, so that a NUL does not cut the message and a control byte
// does not reach the terminal, and at most 40 characters of it.
std::string shown(std::string_view text) {
    constexpr size_t kMaxShown = 40;
    constexpr std::string_view kCut = "...";
    std::string out;
    size_t fitsWithCut = 0;  // how much of `out` leaves room for the cut mark
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7E || c == '\\') {
            out += format("\\x%02X", unsigned(u));
        } else {
            out += c;
        }
        if (out.size() > kMaxShown) return out.substr(0, fitsWithCut) + std::string(kCut);
        if (out.size() <= kMaxShown - kCut.size()) fitsWithCut = out.size();
    }
    return out;
}

std::string noteName(int32_t note) {
    if (note == 0) return "---";
    return std::string(kNoteNames[(note - 1) % 12]) + char('1' + (note - 1) / 12);
}

std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u > 0x7E) {
            out += format("\\x%02X", unsigned(u));
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string playlistNote(const ahx::PlaylistEntry& e) {
    if (e.fixedNote) return "=" + noteName(e.note);
    if (e.note == 0) return "---";
    return format("+%d", e.note - 1);
}

bool isEmpty(const std::vector<ahx::Step>& track) {
    for (const ahx::Step& s : track) {
        if (s.note || s.instrument || s.command || s.parameter) return false;
    }
    return true;
}

// --- parsing ---------------------------------------------------------------

struct Token {
    std::string text;
    bool quoted = false;
};

struct ParseFailure {
    std::string message;
    int line = -1;  // when the mistake belongs to an earlier line than the current one
};

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Into `tokens`, which keeps its capacity from line to line.
void tokenize(std::string_view line, std::vector<Token>& tokens) {
    tokens.clear();
    size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            Token t{"", true};
            ++i;
            for (;;) {
                if (i >= line.size()) throw ParseFailure{"string has no closing quote"};
                const char d = line[i++];
                if (d == '"') break;
                if (d == '\0') throw ParseFailure{"strings cannot hold a zero byte"};
                if (d != '\\') {
                    t.text += d;
                    continue;
                }
                if (i >= line.size()) throw ParseFailure{"string has no closing quote"};
                const char e = line[i++];
                if (e == '"' || e == '\\') {
                    t.text += e;
                } else if (e == 'x' && i + 1 < line.size() && hexValue(line[i]) >= 0 &&
                           hexValue(line[i + 1]) >= 0) {
                    const int v = hexValue(line[i]) * 16 + hexValue(line[i + 1]);
                    if (v == 0) throw ParseFailure{"strings cannot hold a zero byte"};
                    t.text += char(v);
                    i += 2;
                } else {
                    throw ParseFailure{"unknown escape in string (use \\\", \\\\ or \\xNN)"};
                }
            }
            tokens.push_back(std::move(t));
        } else {
            size_t j = i;
            // A '#' inside a field is a sharp (D#3), not a comment.
            while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r' && line[j] != '"')
                ++j;
            tokens.push_back({std::string(line.substr(i, j - i)), false});
            i = j;
        }
    }
}

int32_t parseNumber(const Token& t, int32_t lo, int32_t hi, const std::string& what) {
    std::string_view s = t.text;
    // One sign at most: "+4" and "-4", but not "+-4".
    if (!s.empty() && s[0] == '+' && (s.size() == 1 || s[1] != '-')) s.remove_prefix(1);
    int32_t v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (t.quoted || s.empty() || ec != std::errc() || end != s.data() + s.size())
        throw ParseFailure{what + " must be a number, not '" + shown(t.text) + "'"};
    if (v < lo || v > hi) throw ParseFailure{format("%s must be %d..%d, not %d", what.c_str(), lo, hi, v)};
    return v;
}

int32_t parseHex(const std::string& s, const std::string& what) {
    int32_t v = 0;
    for (char c : s) {
        const int h = hexValue(c);
        if (h < 0) throw ParseFailure{what + " must be hex digits, not '" + shown(s) + "'"};
        v = v * 16 + h;
    }
    return v;
}

// "C-3", "F#1", "---" (0).
int32_t parseNote(const std::string& s, const std::string& what) {
    if (s == "---") return 0;
    if (s.size() == 3 && s[2] >= '1' && s[2] <= '6') {
        for (int i = 0; i < 12; ++i) {
            if (s.compare(0, 2, kNoteNames[i]) == 0) {
                const int32_t note = (s[2] - '1') * 12 + i + 1;
                if (note <= 63) return note;
            }
        }
    }
    throw ParseFailure{what + " must be a note C-1..D-6 or ---, not '" + shown(s) + "'"};
}

// Three hex digits: command (0..maxCommand) and parameter byte.
void parseCommand(const Token& t, int32_t maxCommand, int32_t& command, int32_t& parameter,
                  const char* what) {
    if (t.quoted || t.text.size() != 3)
        throw ParseFailure{std::string(what) + " must be three hex digits (command, parameter), not '" +
                           shown(t.text) + "'"};
    command = parseHex(t.text.substr(0, 1), what);
    parameter = parseHex(t.text.substr(1), what);
    if (command > maxCommand)
        throw ParseFailure{format("%s command must be 0..%X", what, unsigned(maxCommand))};
}

class Parser {
public:
    explicit Parser(ahx::SongImage& file) : file_(file), song_(file.song) {
        file_ = ahx::SongImage{};
        song_.version = 1;
        song_.speedMultiplier = 1;
        song_.instruments.resize(1);
        file_.unusedBits.resize(1);
    }

    // Takes the line's tokens and hands back the previous line's vector.
    void line(int lineNumber, std::vector<Token>& tokens) {
        lineNumber_ = lineNumber;
        tokens_.swap(tokens);
        if (tokens_.empty()) return;
        const std::string& key = tokens_[0].text;
        if (!tokens_[0].quoted && !key.empty() && key[0] >= '0' && key[0] <= '9') return row();
        if (tokens_[0].quoted) fail("expected a keyword, not a string");
        if (key == "positions" || key == "track" || key == "instrument" || key == "tail") {
            closeSection();
            sectionLine_ = lineNumber_;
            if (key == "positions") {
                expectCount(1);
                once(key);
                positionsLine_ = lineNumber_;
                context_ = Context::Positions;
            } else if (key == "tail") {
                expectCount(1);
                once(key);
                tailLine_ = lineNumber_;
                tail_.emplace();
                context_ = Context::Tail;
            } else if (key == "track") {
                startTrack();
            } else {
                startInstrument();
            }
            return;
        }
        if (header(key)) return;
        if (context_ == Context::Instrument || context_ == Context::Playlist) {
            if (instrumentField(key)) return;
        }
        fail("unknown keyword '" + shown(key) + "'" +
             (context_ == Context::Instrument || context_ == Context::Playlist ? " in an instrument" : ""));
    }

    void finish(std::vector<SongTextError>* warnings) {
        closeSection();
        if (song_.tracks.empty()) throw ParseFailure{"the song has no tracks (at least track 0 is needed)"};
        if (file_.omitTrack0 && !isEmpty(song_.tracks[0]))
            throw ParseFailure{"track 0 is omitted but has steps"};
        // The loader rejects a song without positions: there would be nothing to play.
        if (song_.positions.empty()) {
            throw ParseFailure{"the song has no positions; at least one is needed", positionsLine_};
        }
        if (tail_.has_value() != (stringAreaLine_ > 0)) {
            throw ParseFailure{"'string-area' and 'tail' go together", tail_ ? tailLine_ : stringAreaLine_};
        }
        if (tail_) file_.strings = ahx::StringArea{stringArea_, std::move(*tail_)};
        song_.highestTrack = int32_t(song_.tracks.size()) - 1;
        song_.instrumentCount = int32_t(song_.instruments.size()) - 1;
        song_.positionCount = int32_t(song_.positions.size());
        song_.subsongCount = int32_t(song_.subsongs.size());
        if (warnings != nullptr) warnAboutPositions(*warnings);
    }

private:
    enum class Context { None, Positions, Track, Instrument, Playlist, Tail };

    // The player starts over at position 0 where the song points outside
    // its list; the file can still say so, so it compiles, but not silently.
    void warnAboutPositions(std::vector<SongTextError>& warnings) const {
        const int32_t count = song_.positionCount;
        if (song_.restartPosition >= count) {
            warnings.push_back(
                {restartLine_, format("restart position %d is outside the %d position%s; the player "
                                      "continues at position 0 instead",
                                      song_.restartPosition, count, count == 1 ? "" : "s")});
        }
        for (size_t i = 0; i < song_.subsongs.size(); ++i) {
            if (song_.subsongs[i] < count) continue;
            warnings.push_back(
                {subsongsLine_, format("subsong %d starts at position %d, outside the %d position%s; "
                                       "the player starts it at position 0 instead",
                                       int(i + 1), song_.subsongs[i], count, count == 1 ? "" : "s")});
        }
    }

    [[noreturn]] void fail(const std::string& message) { throw ParseFailure{message}; }

    void expectCount(size_t n) {
        if (tokens_.size() != n)
            fail("'" + shown(tokens_[0].text) + format("' takes %d value%s", int(n - 1), n == 2 ? "" : "s"));
    }

    int32_t number(size_t i, int32_t lo, int32_t hi, const std::string& what) {
        return parseNumber(tokens_[i], lo, hi, what);
    }

    void once(const std::string& key) {
        for (const std::string& seen : seen_) {
            if (seen == key) fail("'" + key + "' given twice");
        }
        seen_.push_back(key);
    }

    // Checks what the section being left owes.
    void closeSection() {
        if (context_ == Context::Track && !trackEmpty_ &&
            song_.tracks.back().size() != size_t(song_.trackLength))
            throw ParseFailure{
                format("track %d has %d rows, but track-length is %d", int(song_.tracks.size()) - 1,
                       int(song_.tracks.back().size()), song_.trackLength),
                sectionLine_};
        context_ = Context::None;
    }

    bool header(const std::string& key) {
        static constexpr const char* kKeys[] = {"title",    "revision",          "speed-multiplier",
                                                "restart",  "track-length",      "track-0",
                                                "subsongs", "unused-header-bit", "string-area"};
        if (std::find(std::begin(kKeys), std::end(kKeys), key) == std::end(kKeys)) return false;
        closeSection();
        if (key == "title") {
            expectCount(2);
            once(key);
            if (!tokens_[1].quoted) fail("title must be a quoted string");
            song_.title = tokens_[1].text;
        } else if (key == "revision") {
            expectCount(2);
            once(key);
            song_.version = number(1, 0, 1, "revision");
        } else if (key == "speed-multiplier") {
            expectCount(2);
            once(key);
            song_.speedMultiplier = number(1, 1, 4, "speed multiplier");
        } else if (key == "restart") {
            expectCount(2);
            once(key);
            song_.restartPosition = number(1, 0, 65535, "restart position");
            restartLine_ = lineNumber_;
        } else if (key == "track-length") {
            expectCount(2);
            once(key);
            if (!song_.tracks.empty()) fail("track-length must come before the first track");
            // The loader rejects a length of 0: no step could be read.
            song_.trackLength = number(1, 1, 255, "track length");
        } else if (key == "track-0") {
            expectCount(2);
            once(key);
            if (tokens_[1].text != "omitted" && tokens_[1].text != "stored")
                fail("track-0 must be 'omitted' or 'stored'");
            file_.omitTrack0 = tokens_[1].text == "omitted";
        } else if (key == "subsongs") {
            once(key);
            subsongsLine_ = lineNumber_;
            if (tokens_.size() > 256) fail("at most 255 subsongs");
            for (size_t i = 1; i < tokens_.size(); ++i)
                song_.subsongs.push_back(number(i, 0, 65535, "subsong start"));
        } else if (key == "unused-header-bit") {
            expectCount(2);
            once(key);
            file_.unusedHeaderBit = uint8_t(number(1, 0, 1, "unused header bit"));
        } else if (key == "string-area") {
            expectCount(2);
            once(key);
            stringArea_ = number(1, 0, 65535, "string area offset");
            stringAreaLine_ = lineNumber_;
        }
        return true;
    }

    void startTrack() {
        if (tokens_.size() != 2 && !(tokens_.size() == 3 && tokens_[2].text == "empty"))
            fail("expected 'track N' or 'track N empty'");
        const int32_t n = number(1, 0, 255, "track number");
        if (size_t(n) != song_.tracks.size())
            fail(format("track %d out of order: the next track must be %d", n, int(song_.tracks.size())));
        if (!seenTrackLength()) fail("track-length must come before the first track");
        trackEmpty_ = tokens_.size() == 3;
        song_.tracks.emplace_back();
        if (trackEmpty_) song_.tracks.back().resize(size_t(song_.trackLength));
        context_ = Context::Track;
    }

    bool seenTrackLength() const {
        for (const std::string& s : seen_) {
            if (s == "track-length") return true;
        }
        return false;
    }

    void startInstrument() {
        if (tokens_.size() != 3 || !tokens_[2].quoted) fail("expected 'instrument N \"name\"'");
        const int32_t n = number(1, 1, 255, "instrument number");
        if (size_t(n) != song_.instruments.size())
            fail(format("instrument %d out of order: the next instrument must be %d", n,
                        int(song_.instruments.size())));
        song_.instruments.emplace_back();
        song_.instruments.back().name = tokens_[2].text;
        file_.unusedBits.emplace_back();
        instrumentSeen_.clear();
        context_ = Context::Instrument;
    }

    bool instrumentField(const std::string& key) {
        ahx::Instrument& in = song_.instruments.back();
        auto field = [&](size_t count) {
            for (const std::string& s : instrumentSeen_) {
                if (s == key)
                    fail("'" + key + "' given twice in instrument " +
                         std::to_string(song_.instruments.size() - 1));
            }
            instrumentSeen_.push_back(key);
            expectCount(count);
        };
        if (key == "volume") {
            field(2);
            in.volume = number(1, 0, 255, "volume");
        } else if (key == "wave-length") {
            field(2);
            in.waveLength = number(1, 0, 7, "wave length");
        } else if (key == "attack") {
            field(3);
            in.attackFrames = number(1, 0, 255, "attack frames");
            in.attackVolume = number(2, 0, 255, "attack volume");
        } else if (key == "decay") {
            field(3);
            in.decayFrames = number(1, 0, 255, "decay frames");
            in.decayVolume = number(2, 0, 255, "decay volume");
        } else if (key == "sustain") {
            field(2);
            in.sustainFrames = number(1, 0, 255, "sustain frames");
        } else if (key == "release") {
            field(3);
            in.releaseFrames = number(1, 0, 255, "release frames");
            in.releaseVolume = number(2, 0, 255, "release volume");
        } else if (key == "filter") {
            field(4);
            in.filterLowerLimit = number(1, 0, 127, "filter lower limit");
            in.filterUpperLimit = number(2, 0, 63, "filter upper limit");
            in.filterSpeed = number(3, 0, 63, "filter speed");
        } else if (key == "square") {
            field(4);
            in.squareLowerLimit = number(1, 0, 255, "square lower limit");
            in.squareUpperLimit = number(2, 0, 255, "square upper limit");
            in.squareSpeed = number(3, 0, 255, "square speed");
        } else if (key == "vibrato") {
            field(4);
            in.vibratoDelay = number(1, 0, 255, "vibrato delay");
            in.vibratoDepth = number(2, 0, 15, "vibrato depth");
            in.vibratoSpeed = number(3, 0, 255, "vibrato speed");
        } else if (key == "hard-cut") {
            if (tokens_.size() == 3 && tokens_[2].text == "release") {
                field(3);
                in.hardCutRelease = 1;
            } else {
                field(2);
            }
            in.hardCutReleaseFrames = number(1, 0, 7, "hard-cut frames");
        } else if (key == "unused-bytes") {
            field(4);
            for (size_t i = 0; i < 3; ++i) {
                if (tokens_[i + 1].text.size() != 2) fail("unused bytes are two hex digits each");
                file_.unusedBits.back().bytes[i] = uint8_t(parseHex(tokens_[i + 1].text, "unused byte"));
            }
        } else if (key == "unused-filter-bits") {
            field(2);
            file_.unusedBits.back().filterUpperHighBits = uint8_t(number(1, 0, 3, "unused filter bits"));
        } else if (key == "playlist") {
            field(2);
            in.playlistSpeed = number(1, 0, 255, "playlist speed");
            context_ = Context::Playlist;
        } else {
            return false;
        }
        return true;
    }

    void rowIndex(size_t expected) {
        const int32_t index = number(0, 0, 4095, "row index");
        if (size_t(index) != expected) fail(format("row %d where row %d was expected", index, int(expected)));
    }

    void row() {
        for (const Token& t : tokens_) {
            if (t.quoted) fail("rows hold no strings");
        }
        switch (context_) {
            case Context::Positions:
                return positionRow();
            case Context::Track:
                return trackRow();
            case Context::Playlist:
                return playlistRow();
            case Context::Tail:
                return tailRow();
            case Context::Instrument:
                fail("instrument rows must follow a 'playlist' line");
            case Context::None:
                break;
        }
        fail("a row outside positions, a track or a playlist");
    }

    void positionRow() {
        if (tokens_.size() != 9) fail("a position is an index and four pairs of track and transpose");
        rowIndex(song_.positions.size());
        if (song_.positions.size() >= 4095) fail("at most 4095 positions");
        ahx::Position p;
        for (int k = 0; k < ahx::kChannels; ++k) {
            p.track[k] = number(size_t(1 + 2 * k), 0, 255, format("channel %d track", k));
            p.transpose[k] = number(size_t(2 + 2 * k), -128, 127, format("channel %d transpose", k));
        }
        song_.positions.push_back(p);
    }

    void trackRow() {
        std::vector<ahx::Step>& track = song_.tracks.back();
        if (trackEmpty_) fail("an empty track has no rows");
        if (tokens_.size() != 4) fail("a step is an index, a note, an instrument and a command");
        rowIndex(track.size());
        if (track.size() >= size_t(song_.trackLength))
            fail(format("track %d has more than track-length (%d) rows", int(song_.tracks.size()) - 1,
                        song_.trackLength));
        ahx::Step s;
        s.note = parseNote(tokens_[1].text, "note");
        s.instrument = tokens_[2].text == "--" ? 0 : number(2, 0, 63, "instrument");
        parseCommand(tokens_[3], 15, s.command, s.parameter, "step command");
        track.push_back(s);
    }

    void playlistRow() {
        ahx::Instrument& in = song_.instruments.back();
        if (tokens_.size() != 5) fail("a playlist row is an index, a waveform, a note and two commands");
        rowIndex(in.playlist.size());
        if (in.playlist.size() >= 255) fail("at most 255 playlist rows");
        ahx::PlaylistEntry e;
        const std::string& wave = tokens_[1].text;
        e.waveform = -1;
        for (int i = 0; i < 5; ++i) {
            if (wave == kWaveNames[i]) e.waveform = i;
        }
        if (e.waveform < 0) e.waveform = number(1, 0, 7, "waveform (---, tri, saw, sqr, noi or 0..7)");
        const std::string& note = tokens_[2].text;
        if (note == "---") {
            e.note = 0;
        } else if (note[0] == '=') {
            e.fixedNote = 1;
            e.note = parseNote(note.substr(1), "fixed note");
        } else if (note[0] == '+') {
            e.note = number(2, 0, 62, "relative note") + 1;
        } else {
            fail("playlist note must be ---, +N or =NOTE, not '" + shown(note) + "'");
        }
        parseCommand(tokens_[3], 7, e.commands[0], e.parameters[0], "first playlist command");
        parseCommand(tokens_[4], 7, e.commands[1], e.parameters[1], "second playlist command");
        in.playlist.push_back(e);
        in.playlistLength = int32_t(in.playlist.size());
    }

    void tailRow() {
        std::vector<uint8_t>& tail = *tail_;
        if (tokens_.size() < 2 || tokens_.size() > 33) fail("a tail row is an offset and 1..32 bytes");
        const int32_t offset = number(0, 0, INT32_MAX, "tail offset");
        if (size_t(offset) != tail.size())
            fail(format("tail offset %d where %d was expected", offset, int(tail.size())));
        for (size_t i = 1; i < tokens_.size(); ++i) {
            if (tokens_[i].text.size() != 2) fail("tail bytes are two hex digits each");
            tail.push_back(uint8_t(parseHex(tokens_[i].text, "tail byte")));
        }
    }

    ahx::SongImage& file_;
    ahx::Song& song_;
    std::optional<std::vector<uint8_t>> tail_;
    int32_t stringArea_ = 0;
    int stringAreaLine_ = 0;
    int tailLine_ = 0;
    int positionsLine_ = 0;
    int restartLine_ = 0;
    int subsongsLine_ = 0;
    std::vector<Token> tokens_;
    Context context_ = Context::None;
    int lineNumber_ = 0;
    int sectionLine_ = 0;
    bool trackEmpty_ = false;
    std::vector<std::string> seen_;
    std::vector<std::string> instrumentSeen_;
};

}  // namespace

std::string describeSongTextError(std::string_view fileName, const SongTextError& error) {
    std::string out(fileName);
    if (error.line > 0) out += ":" + std::to_string(error.line);
    return out + ": " + error.message;
}

std::string printSongText(const ahx::SongImage& file) {
    const ahx::Song& s = file.song;
    std::string out;
    // Near the printed size, so that the text grows without copying.
    size_t rows = s.positions.size() * 2 + s.tracks.size() * size_t(s.trackLength);
    for (const ahx::Instrument& in : s.instruments) rows += 16 + in.playlist.size() * 2;
    out.reserve(1024 + rows * 24);
    out += "title " + quoted(s.title) + "\n";
    appendFormat(out, "revision %d\n", s.version);
    appendFormat(out, "speed-multiplier %d\n", s.speedMultiplier);
    appendFormat(out, "restart %d\n", s.restartPosition);
    appendFormat(out, "track-length %d\n", s.trackLength);
    out += file.omitTrack0 ? "track-0 omitted\n" : "track-0 stored\n";
    if (!s.subsongs.empty()) {
        out += "subsongs";
        for (int32_t start : s.subsongs) appendFormat(out, " %d", start);
        out += "\n";
    }
    if (file.unusedHeaderBit) out += "unused-header-bit 1\n";
    if (file.strings) appendFormat(out, "string-area %d\n", int(file.strings->offset));

    out += "\npositions\n";
    for (size_t i = 0; i < s.positions.size(); ++i) {
        const ahx::Position& p = s.positions[i];
        appendFormat(out, "    %4d", int(i));
        for (int k = 0; k < ahx::kChannels; ++k) appendFormat(out, "  %3d %+4d", p.track[k], p.transpose[k]);
        out += "\n";
    }

    for (size_t t = 0; t < s.tracks.size(); ++t) {
        if (isEmpty(s.tracks[t])) {
            appendFormat(out, "\ntrack %d empty\n", int(t));
            continue;
        }
        appendFormat(out, "\ntrack %d\n", int(t));
        for (size_t i = 0; i < s.tracks[t].size(); ++i) {
            const ahx::Step& st = s.tracks[t][i];
            const std::string instrument = st.instrument ? format("%02d", st.instrument) : "--";
            appendFormat(out, "    %3d %s %s %X%02X\n", int(i), noteName(st.note).c_str(), instrument.c_str(),
                         unsigned(st.command), unsigned(st.parameter));
        }
    }

    for (size_t i = 1; i < s.instruments.size(); ++i) {
        const ahx::Instrument& in = s.instruments[i];
        const ahx::InstrumentUnusedBits& unused = file.unusedBits[i];
        appendFormat(out, "\ninstrument %d ", int(i));
        out += quoted(in.name) + "\n";
        appendFormat(out, "    volume %d\n", in.volume);
        appendFormat(out, "    wave-length %d\n", in.waveLength);
        appendFormat(out, "    attack %d %d\n", in.attackFrames, in.attackVolume);
        appendFormat(out, "    decay %d %d\n", in.decayFrames, in.decayVolume);
        appendFormat(out, "    sustain %d\n", in.sustainFrames);
        appendFormat(out, "    release %d %d\n", in.releaseFrames, in.releaseVolume);
        appendFormat(out, "    filter %d %d %d\n", in.filterLowerLimit, in.filterUpperLimit, in.filterSpeed);
        appendFormat(out, "    square %d %d %d\n", in.squareLowerLimit, in.squareUpperLimit, in.squareSpeed);
        appendFormat(out, "    vibrato %d %d %d\n", in.vibratoDelay, in.vibratoDepth, in.vibratoSpeed);
        appendFormat(out, "    hard-cut %d%s\n", in.hardCutReleaseFrames,
                     in.hardCutRelease ? " release" : "");
        if (unused.bytes[0] || unused.bytes[1] || unused.bytes[2])
            appendFormat(out, "    unused-bytes %02X %02X %02X\n", unsigned(unused.bytes[0]),
                         unsigned(unused.bytes[1]), unsigned(unused.bytes[2]));
        if (unused.filterUpperHighBits)
            appendFormat(out, "    unused-filter-bits %d\n", int(unused.filterUpperHighBits));
        appendFormat(out, "    playlist %d\n", in.playlistSpeed);
        for (size_t r = 0; r < in.playlist.size(); ++r) {
            const ahx::PlaylistEntry& e = in.playlist[r];
            const std::string wave = e.waveform < 5 ? kWaveNames[e.waveform] : format("%d", e.waveform);
            appendFormat(out, "        %3d %-3s %-4s %X%02X %X%02X\n", int(r), wave.c_str(),
                         playlistNote(e).c_str(), unsigned(e.commands[0]), unsigned(e.parameters[0]),
                         unsigned(e.commands[1]), unsigned(e.parameters[1]));
        }
    }
    if (file.strings) {
        const std::vector<uint8_t>& tail = file.strings->tail;
        out += "\ntail\n";
        for (size_t at = 0; at < tail.size(); at += kTailRowBytes) {
            appendFormat(out, "    %8d", int(at));
            for (size_t i = at; i < tail.size() && i < at + kTailRowBytes; ++i)
                appendFormat(out, " %02X", unsigned(tail[i]));
            out += "\n";
        }
    }
    return out;
}

bool parseSongText(std::string_view text, ahx::SongImage& file, SongTextError& error,
                   std::vector<SongTextError>* warnings) {
    Parser parser(file);
    int lineNumber = 0;
    std::vector<Token> tokens;
    try {
        while (!text.empty()) {
            ++lineNumber;
            const size_t end = text.find('\n');
            const std::string_view line = text.substr(0, end);
            text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
            tokenize(line, tokens);
            parser.line(lineNumber, tokens);
        }
        lineNumber = 0;
        parser.finish(warnings);
    } catch (const ParseFailure& failure) {
        error = {failure.line >= 0 ? failure.line : lineNumber, failure.message};
        return false;
    }
    return true;
}

}  // namespace tools
