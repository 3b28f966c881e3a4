#include "song_text/song_text.h"

#include <algorithm>
#include <array>
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
constexpr std::string_view kFieldIndent = "    ";

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
[[gnu::format(printf, 2, 0)]] void appendFormatV(std::string& out, const char* fmt, va_list args) {
    char buf[256];
    const int n = std::vsnprintf(buf, sizeof buf, fmt, args);
    if (n > 0) out.append(buf, size_t(std::min(n, int(sizeof buf) - 1)));
}

[[gnu::format(printf, 2, 3)]] void appendFormat(std::string& out, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    appendFormatV(out, fmt, args);
    va_end(args);
}

// The keyword, then its values as `valuesFormat` has them, as a line.
[[gnu::format(printf, 3, 4)]] void appendLine(std::string& out, std::string_view keyword,
                                              const char* valuesFormat, ...) {
    out += keyword;
    va_list args;
    va_start(args, valuesFormat);
    appendFormatV(out, valuesFormat, args);
    va_end(args);
    out += '\n';
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
    std::string_view text;  // into the line, or for a string into its decoded bytes
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

// Into `tokens`, with the bytes of the line's strings in `strings`; both keep
// their capacity from line to line.
void tokenize(std::string_view line, std::vector<Token>& tokens, std::vector<char>& strings) {
    tokens.clear();
    strings.clear();
    // A string's bytes are never more than its source's, so `strings` does not
    // move while the tokens before point into it.
    strings.reserve(line.size());
    size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            const size_t start = strings.size();
            ++i;
            for (;;) {
                if (i >= line.size()) throw ParseFailure{"string has no closing quote"};
                const char d = line[i++];
                if (d == '"') break;
                if (d == '\0') throw ParseFailure{"strings cannot hold a zero byte"};
                if (d != '\\') {
                    strings.push_back(d);
                    continue;
                }
                if (i >= line.size()) throw ParseFailure{"string has no closing quote"};
                const char e = line[i++];
                if (e == '"' || e == '\\') {
                    strings.push_back(e);
                } else if (e == 'x' && i + 1 < line.size() && hexValue(line[i]) >= 0 &&
                           hexValue(line[i + 1]) >= 0) {
                    const int v = hexValue(line[i]) * 16 + hexValue(line[i + 1]);
                    if (v == 0) throw ParseFailure{"strings cannot hold a zero byte"};
                    strings.push_back(char(v));
                    i += 2;
                } else {
                    throw ParseFailure{"unknown escape in string (use \\\", \\\\ or \\xNN)"};
                }
            }
            tokens.push_back({std::string_view(strings.data() + start, strings.size() - start), true});
        } else {
            size_t j = i;
            // A '#' inside a field is a sharp (D#3), not a comment.
            while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r' && line[j] != '"')
                ++j;
            tokens.push_back({line.substr(i, j - i), false});
            i = j;
        }
    }
}

int32_t parseNumber(const Token& t, int32_t lo, int32_t hi, std::string_view what) {
    std::string_view s = t.text;
    // One sign at most: "+4" and "-4", but not "+-4".
    if (!s.empty() && s[0] == '+' && (s.size() == 1 || s[1] != '-')) s.remove_prefix(1);
    int32_t v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (t.quoted || s.empty() || ec != std::errc() || end != s.data() + s.size())
        throw ParseFailure{std::string(what) + " must be a number, not '" + shown(t.text) + "'"};
    if (v < lo || v > hi)
        throw ParseFailure{format("%.*s must be %d..%d, not %d", int(what.size()), what.data(), lo, hi, v)};
    return v;
}

int32_t parseHex(std::string_view s, std::string_view what) {
    int32_t v = 0;
    for (char c : s) {
        const int h = hexValue(c);
        if (h < 0) throw ParseFailure{std::string(what) + " must be hex digits, not '" + shown(s) + "'"};
        v = v * 16 + h;
    }
    return v;
}

// "C-3", "F#1", "---" (0).
int32_t parseNote(std::string_view s, std::string_view what) {
    if (s == "---") return 0;
    if (s.size() == 3 && s[2] >= '1' && s[2] <= '6') {
        for (int i = 0; i < 12; ++i) {
            if (s.compare(0, 2, kNoteNames[i]) == 0) {
                const int32_t note = (s[2] - '1') * 12 + i + 1;
                if (note <= 63) return note;
            }
        }
    }
    throw ParseFailure{std::string(what) + " must be a note C-1..D-6 or ---, not '" + shown(s) + "'"};
}

// Three hex digits: command (0..maxCommand) and parameter byte.
void parseCommand(const Token& t, int32_t maxCommand, int32_t& command, int32_t& parameter,
                  std::string_view what) {
    if (t.quoted || t.text.size() != 3)
        throw ParseFailure{std::string(what) + " must be three hex digits (command, parameter), not '" +
                           shown(t.text) + "'"};
    command = parseHex(t.text.substr(0, 1), what);
    parameter = parseHex(t.text.substr(1), what);
    if (command > maxCommand)
        throw ParseFailure{
            format("%.*s command must be 0..%X", int(what.size()), what.data(), unsigned(maxCommand))};
}

// --- the keywords ------------------------------------------------------------
//
// Each keyword is spelled once, in kSongLines or kInstrumentLines below, with
// how its line is read and printed: the parser and the printer both go
// through those tables, the printer in their order, so that what is written
// and what is read cannot drift apart.

class Parser;
using Image = ahx::SongImage;

// A number on a keyword's line: where it goes, its range and its name in
// messages.
template <class Record>
struct Number {
    int32_t Record::*member = nullptr;
    int32_t lo = 0;
    int32_t hi = 0;
    std::string_view what;
};

// A line outside the instruments' fields: a header line, or the line that
// opens a section (and prints the section).
struct SongLine {
    std::string_view keyword;
    int values = 1;                           // how many the line holds; -1 when `read` checks
    bool once = true;                         // may be given only once
    Number<ahx::Song> number{};               // for a line that is one number of the song's
    int Parser::*lineAt = nullptr;            // keeps the line's number, for what is checked later
    std::array<std::string_view, 2> words{};  // words the line may hold besides numbers
    // The rest of the reading, before `number`, and the printing where `number` is not all.
    void (*read)(Parser&, const SongLine&) = nullptr;
    void (*print)(std::string& out, const SongLine&, const Image&) = nullptr;
};

// A line of an instrument's fields.
struct InstrumentLine {
    std::string_view keyword;
    std::array<Number<ahx::Instrument>, 3> numbers{};  // those with a member
    std::string_view word{};                           // may follow the numbers, and sets `flag` to 1
    int32_t ahx::Instrument::*flag = nullptr;
    bool rowsFollow = false;  // the playlist's rows
    // The bits players ignore, which the instrument does not hold: read, and
    // printed when any is set.
    void (*readUnused)(Parser&, ahx::InstrumentUnusedBits&) = nullptr;
    void (*printUnused)(std::string& out, std::string_view keyword,
                        const ahx::InstrumentUnusedBits&) = nullptr;
};

// Its state is open to the keyword tables, whose lines read into it.
class Parser {
public:
    enum class Context { None, Positions, Track, Instrument, Playlist, Tail };

    explicit Parser(ahx::SongImage& file) : file_(file), song_(file.song) {
        file_ = ahx::SongImage{};
        song_.version = 1;
        song_.speedMultiplier = 1;
        song_.instruments.resize(1);
        file_.unusedBits.resize(1);
    }

    void line(int lineNumber, std::string_view text);

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

    [[noreturn]] void fail(const std::string& message) const { throw ParseFailure{message}; }

    void expectCount(size_t n) const {
        if (tokens_.size() != n)
            fail("'" + shown(tokens_[0].text) + format("' takes %d value%s", int(n - 1), n == 2 ? "" : "s"));
    }

    int32_t number(size_t i, int32_t lo, int32_t hi, std::string_view what) const {
        return parseNumber(tokens_[i], lo, hi, what);
    }

    // Whether `keyword` is new to `seen`, which holds the tables' own
    // spellings: they outlive the parser, where the line's tokens do not.
    static bool firstTime(std::vector<std::string_view>& seen, std::string_view keyword) {
        if (std::find(seen.begin(), seen.end(), keyword) != seen.end()) return false;
        seen.push_back(keyword);
        return true;
    }

    // Checks what the section being left owes.
    void closeSection() {
        if (context_ == Context::Track && !trackEmpty_ &&
            song_.tracks.back().size() != size_t(song_.trackLength))
            throw ParseFailure{
                format("track %d has %d rows, but track-length is %d", int(song_.tracks.size()) - 1,
                       int(song_.tracks.back().size()), song_.trackLength),
                trackLine_};
        context_ = Context::None;
    }

    void openTrack(std::string_view empty) {
        if (tokens_.size() != 2 && !(tokens_.size() == 3 && tokens_[2].text == empty))
            fail("expected 'track N' or 'track N empty'");
        const int32_t n = number(1, 0, 255, "track number");
        if (size_t(n) != song_.tracks.size())
            fail(format("track %d out of order: the next track must be %d", n, int(song_.tracks.size())));
        if (trackLengthLine_ == 0) fail("track-length must come before the first track");
        trackLine_ = lineNumber_;
        trackEmpty_ = tokens_.size() == 3;
        song_.tracks.emplace_back();
        if (trackEmpty_) song_.tracks.back().resize(size_t(song_.trackLength));
        context_ = Context::Track;
    }

    void openInstrument() {
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

    void instrumentLine(const InstrumentLine& field) {
        if (!firstTime(instrumentSeen_, field.keyword))
            fail("'" + std::string(field.keyword) + "' given twice in instrument " +
                 std::to_string(song_.instruments.size() - 1));
        if (field.readUnused) return field.readUnused(*this, file_.unusedBits.back());
        ahx::Instrument& in = song_.instruments.back();
        size_t count = 0;
        while (count < field.numbers.size() && field.numbers[count].member) ++count;
        const bool word = field.flag && tokens_.size() == count + 2 && tokens_[count + 1].text == field.word;
        expectCount(1 + count + word);
        for (size_t i = 0; i < count; ++i) {
            const Number<ahx::Instrument>& n = field.numbers[i];
            in.*n.member = number(i + 1, n.lo, n.hi, n.what);
        }
        if (word) in.*field.flag = 1;
        if (field.rowsFollow) context_ = Context::Playlist;
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
        // Named once: a song has thousands of these numbers.
        static const std::array<std::string, 2 * ahx::kChannels> kWhat = [] {
            std::array<std::string, 2 * ahx::kChannels> what;
            for (int k = 0; k < ahx::kChannels; ++k) {
                what[size_t(2 * k)] = format("channel %d track", k);
                what[size_t(2 * k + 1)] = format("channel %d transpose", k);
            }
            return what;
        }();
        if (tokens_.size() != 9) fail("a position is an index and four pairs of track and transpose");
        rowIndex(song_.positions.size());
        if (song_.positions.size() >= 4095) fail("at most 4095 positions");
        ahx::Position p;
        for (int k = 0; k < ahx::kChannels; ++k) {
            p.track[k] = number(size_t(1 + 2 * k), 0, 255, kWhat[size_t(2 * k)]);
            p.transpose[k] = number(size_t(2 + 2 * k), -128, 127, kWhat[size_t(2 * k + 1)]);
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
        const std::string_view wave = tokens_[1].text;
        e.waveform = -1;
        for (int i = 0; i < 5; ++i) {
            if (wave == kWaveNames[i]) e.waveform = i;
        }
        if (e.waveform < 0) e.waveform = number(1, 0, 7, "waveform (---, tri, saw, sqr, noi or 0..7)");
        const std::string_view note = tokens_[2].text;
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
    int trackLine_ = 0;
    int trackLengthLine_ = 0;
    std::vector<Token> tokens_;
    std::vector<char> strings_;
    Context context_ = Context::None;
    int lineNumber_ = 0;
    bool trackEmpty_ = false;
    std::vector<std::string_view> seen_;
    std::vector<std::string_view> instrumentSeen_;
};

constexpr InstrumentLine kInstrumentLines[] = {
    {.keyword = "volume", .numbers = {{{&ahx::Instrument::volume, 0, 255, "volume"}}}},
    {.keyword = "wave-length", .numbers = {{{&ahx::Instrument::waveLength, 0, 7, "wave length"}}}},
    {.keyword = "attack",
     .numbers = {{{&ahx::Instrument::attackFrames, 0, 255, "attack frames"},
                  {&ahx::Instrument::attackVolume, 0, 255, "attack volume"}}}},
    {.keyword = "decay",
     .numbers = {{{&ahx::Instrument::decayFrames, 0, 255, "decay frames"},
                  {&ahx::Instrument::decayVolume, 0, 255, "decay volume"}}}},
    {.keyword = "sustain", .numbers = {{{&ahx::Instrument::sustainFrames, 0, 255, "sustain frames"}}}},
    {.keyword = "release",
     .numbers = {{{&ahx::Instrument::releaseFrames, 0, 255, "release frames"},
                  {&ahx::Instrument::releaseVolume, 0, 255, "release volume"}}}},
    {.keyword = "filter",
     .numbers = {{{&ahx::Instrument::filterLowerLimit, 0, 127, "filter lower limit"},
                  {&ahx::Instrument::filterUpperLimit, 0, 63, "filter upper limit"},
                  {&ahx::Instrument::filterSpeed, 0, 63, "filter speed"}}}},
    {.keyword = "square",
     .numbers = {{{&ahx::Instrument::squareLowerLimit, 0, 255, "square lower limit"},
                  {&ahx::Instrument::squareUpperLimit, 0, 255, "square upper limit"},
                  {&ahx::Instrument::squareSpeed, 0, 255, "square speed"}}}},
    {.keyword = "vibrato",
     .numbers = {{{&ahx::Instrument::vibratoDelay, 0, 255, "vibrato delay"},
                  {&ahx::Instrument::vibratoDepth, 0, 15, "vibrato depth"},
                  {&ahx::Instrument::vibratoSpeed, 0, 255, "vibrato speed"}}}},
    {.keyword = "hard-cut",
     .numbers = {{{&ahx::Instrument::hardCutReleaseFrames, 0, 7, "hard-cut frames"}}},
     .word = "release",
     .flag = &ahx::Instrument::hardCutRelease},
    {.keyword = "unused-bytes",
     .readUnused =
         [](Parser& p, ahx::InstrumentUnusedBits& unused) {
             p.expectCount(4);
             for (size_t i = 0; i < 3; ++i) {
                 if (p.tokens_[i + 1].text.size() != 2) p.fail("unused bytes are two hex digits each");
                 unused.bytes[i] = uint8_t(parseHex(p.tokens_[i + 1].text, "unused byte"));
             }
         },
     .printUnused =
         [](std::string& out, std::string_view keyword, const ahx::InstrumentUnusedBits& unused) {
             if (!unused.bytes[0] && !unused.bytes[1] && !unused.bytes[2]) return;
             out += kFieldIndent;
             appendLine(out, keyword, " %02X %02X %02X", unsigned(unused.bytes[0]), unsigned(unused.bytes[1]),
                        unsigned(unused.bytes[2]));
         }},
    {.keyword = "unused-filter-bits",
     .readUnused =
         [](Parser& p, ahx::InstrumentUnusedBits& unused) {
             p.expectCount(2);
             unused.filterUpperHighBits = uint8_t(p.number(1, 0, 3, "unused filter bits"));
         },
     .printUnused =
         [](std::string& out, std::string_view keyword, const ahx::InstrumentUnusedBits& unused) {
             if (!unused.filterUpperHighBits) return;
             out += kFieldIndent;
             appendLine(out, keyword, " %d", int(unused.filterUpperHighBits));
         }},
    {.keyword = "playlist",
     .numbers = {{{&ahx::Instrument::playlistSpeed, 0, 255, "playlist speed"}}},
     .rowsFollow = true},
};

void printPlaylist(std::string& out, const ahx::Instrument& in) {
    for (size_t r = 0; r < in.playlist.size(); ++r) {
        const ahx::PlaylistEntry& e = in.playlist[r];
        const std::string wave = e.waveform < 5 ? kWaveNames[e.waveform] : format("%d", e.waveform);
        appendFormat(out, "        %3d %-3s %-4s %X%02X %X%02X\n", int(r), wave.c_str(),
                     playlistNote(e).c_str(), unsigned(e.commands[0]), unsigned(e.parameters[0]),
                     unsigned(e.commands[1]), unsigned(e.parameters[1]));
    }
}

void printInstruments(std::string& out, const SongLine& line, const Image& file) {
    for (size_t i = 1; i < file.song.instruments.size(); ++i) {
        const ahx::Instrument& in = file.song.instruments[i];
        out += '\n';
        out += line.keyword;
        appendFormat(out, " %d ", int(i));
        out += quoted(in.name);
        out += '\n';
        for (const InstrumentLine& field : kInstrumentLines) {
            if (field.printUnused) {
                field.printUnused(out, field.keyword, file.unusedBits[i]);
                continue;
            }
            out += kFieldIndent;
            out += field.keyword;
            for (const Number<ahx::Instrument>& n : field.numbers) {
                if (n.member) appendFormat(out, " %d", in.*n.member);
            }
            if (field.flag && in.*field.flag) {
                out += ' ';
                out += field.word;
            }
            out += '\n';
            if (field.rowsFollow) printPlaylist(out, in);
        }
    }
}

void printPositions(std::string& out, const SongLine& line, const Image& file) {
    out += '\n';
    out += line.keyword;
    out += '\n';
    for (size_t i = 0; i < file.song.positions.size(); ++i) {
        const ahx::Position& p = file.song.positions[i];
        appendFormat(out, "    %4d", int(i));
        for (int k = 0; k < ahx::kChannels; ++k) appendFormat(out, "  %3d %+4d", p.track[k], p.transpose[k]);
        out += '\n';
    }
}

void printTracks(std::string& out, const SongLine& line, const Image& file) {
    const ahx::Song& s = file.song;
    for (size_t t = 0; t < s.tracks.size(); ++t) {
        out += '\n';
        if (isEmpty(s.tracks[t])) {
            appendLine(out, line.keyword, " %d %.*s", int(t), int(line.words[0].size()),
                       line.words[0].data());
            continue;
        }
        appendLine(out, line.keyword, " %d", int(t));
        for (size_t i = 0; i < s.tracks[t].size(); ++i) {
            const ahx::Step& st = s.tracks[t][i];
            const std::string instrument = st.instrument ? format("%02d", st.instrument) : "--";
            appendFormat(out, "    %3d %s %s %X%02X\n", int(i), noteName(st.note).c_str(), instrument.c_str(),
                         unsigned(st.command), unsigned(st.parameter));
        }
    }
}

void printTail(std::string& out, const SongLine& line, const Image& file) {
    if (!file.strings) return;
    const std::vector<uint8_t>& tail = file.strings->tail;
    out += '\n';
    out += line.keyword;
    out += '\n';
    for (size_t at = 0; at < tail.size(); at += kTailRowBytes) {
        appendFormat(out, "    %8d", int(at));
        for (size_t i = at; i < tail.size() && i < at + kTailRowBytes; ++i)
            appendFormat(out, " %02X", unsigned(tail[i]));
        out += '\n';
    }
}

constexpr SongLine kSongLines[] = {
    {.keyword = "title",
     .read =
         [](Parser& p, const SongLine&) {
             if (!p.tokens_[1].quoted) p.fail("title must be a quoted string");
             p.song_.title = p.tokens_[1].text;
         },
     .print =
         [](std::string& out, const SongLine& line, const Image& file) {
             out += line.keyword;
             out += ' ';
             out += quoted(file.song.title);
             out += '\n';
         }},
    {.keyword = "revision", .number = {&ahx::Song::version, 0, 1, "revision"}},
    {.keyword = "speed-multiplier", .number = {&ahx::Song::speedMultiplier, 1, 4, "speed multiplier"}},
    {.keyword = "restart",
     .number = {&ahx::Song::restartPosition, 0, 65535, "restart position"},
     .lineAt = &Parser::restartLine_},
    {.keyword = "track-length",
     // The loader rejects a length of 0: no step could be read.
     .number = {&ahx::Song::trackLength, 1, 255, "track length"},
     .lineAt = &Parser::trackLengthLine_,
     .read =
         [](Parser& p, const SongLine&) {
             if (!p.song_.tracks.empty()) p.fail("track-length must come before the first track");
         }},
    {.keyword = "track-0",
     .words = {"stored", "omitted"},
     .read =
         [](Parser& p, const SongLine& line) {
             const std::string_view word = p.tokens_[1].text;
             if (word != line.words[0] && word != line.words[1])
                 p.fail("track-0 must be 'omitted' or 'stored'");
             p.file_.omitTrack0 = word == line.words[1];
         },
     .print =
         [](std::string& out, const SongLine& line, const Image& file) {
             const std::string_view word = line.words[file.omitTrack0 ? 1 : 0];
             appendLine(out, line.keyword, " %.*s", int(word.size()), word.data());
         }},
    {.keyword = "subsongs",
     .values = -1,
     .lineAt = &Parser::subsongsLine_,
     .read =
         [](Parser& p, const SongLine&) {
             if (p.tokens_.size() > 256) p.fail("at most 255 subsongs");
             for (size_t i = 1; i < p.tokens_.size(); ++i)
                 p.song_.subsongs.push_back(p.number(i, 0, 65535, "subsong start"));
         },
     .print =
         [](std::string& out, const SongLine& line, const Image& file) {
             if (file.song.subsongs.empty()) return;
             out += line.keyword;
             for (int32_t start : file.song.subsongs) appendFormat(out, " %d", start);
             out += '\n';
         }},
    {.keyword = "unused-header-bit",
     .read =
         [](Parser& p, const SongLine&) {
             p.file_.unusedHeaderBit = uint8_t(p.number(1, 0, 1, "unused header bit"));
         },
     .print =
         [](std::string& out, const SongLine& line, const Image& file) {
             if (file.unusedHeaderBit) appendLine(out, line.keyword, " %d", int(file.unusedHeaderBit));
         }},
    {.keyword = "string-area",
     .lineAt = &Parser::stringAreaLine_,
     .read = [](Parser& p, const SongLine&) { p.stringArea_ = p.number(1, 0, 65535, "string area offset"); },
     .print =
         [](std::string& out, const SongLine& line, const Image& file) {
             if (file.strings) appendLine(out, line.keyword, " %d", int(file.strings->offset));
         }},
    {.keyword = "positions",
     .values = 0,
     .lineAt = &Parser::positionsLine_,
     .read = [](Parser& p, const SongLine&) { p.context_ = Parser::Context::Positions; },
     .print = printPositions},
    {.keyword = "track",
     .values = -1,
     .once = false,
     .words = {"empty"},
     .read = [](Parser& p, const SongLine& line) { p.openTrack(line.words[0]); },
     .print = printTracks},
    {.keyword = "instrument",
     .values = -1,
     .once = false,
     .read = [](Parser& p, const SongLine&) { p.openInstrument(); },
     .print = printInstruments},
    {.keyword = "tail",
     .values = 0,
     .lineAt = &Parser::tailLine_,
     .read =
         [](Parser& p, const SongLine&) {
             p.tail_.emplace();
             p.context_ = Parser::Context::Tail;
         },
     .print = printTail},
};

void Parser::line(int lineNumber, std::string_view text) {
    lineNumber_ = lineNumber;
    tokenize(text, tokens_, strings_);
    if (tokens_.empty()) return;
    const std::string_view key = tokens_[0].text;
    if (!tokens_[0].quoted && !key.empty() && key[0] >= '0' && key[0] <= '9') return row();
    if (tokens_[0].quoted) fail("expected a keyword, not a string");
    for (const SongLine& songLine : kSongLines) {
        if (songLine.keyword != key) continue;
        closeSection();
        if (songLine.values >= 0) expectCount(size_t(songLine.values) + 1);
        if (songLine.once && !firstTime(seen_, songLine.keyword))
            fail("'" + std::string(key) + "' given twice");
        if (songLine.lineAt) this->*songLine.lineAt = lineNumber_;
        if (songLine.read) songLine.read(*this, songLine);
        const Number<ahx::Song>& n = songLine.number;
        if (n.member) song_.*n.member = number(1, n.lo, n.hi, n.what);
        return;
    }
    const bool inInstrument = context_ == Context::Instrument || context_ == Context::Playlist;
    if (inInstrument) {
        for (const InstrumentLine& field : kInstrumentLines) {
            if (field.keyword == key) return instrumentLine(field);
        }
    }
    fail("unknown keyword '" + shown(key) + "'" + (inInstrument ? " in an instrument" : ""));
}

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
    for (const SongLine& line : kSongLines) {
        if (line.print) {
            line.print(out, line, file);
        } else {
            appendLine(out, line.keyword, " %d", s.*line.number.member);
        }
    }
    return out;
}

bool parseSongText(std::string_view text, ahx::SongImage& file, SongTextError& error,
                   std::vector<SongTextError>* warnings) {
    Parser parser(file);
    int lineNumber = 0;
    try {
        while (!text.empty()) {
            ++lineNumber;
            const size_t end = text.find('\n');
            const std::string_view line = text.substr(0, end);
            text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
            parser.line(lineNumber, line);
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
