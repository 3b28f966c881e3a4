// ahx render: songs to sound files or standard output, sample for sample
// what the program's device would play (or its stereo, its channels apart,
// faded at the end).
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ahx/player.h"
#include "ahx/wave_tables.h"
#include "audio/channel_mix.h"
#include "shells/ahx/command_line.h"
#include "shells/ahx/commands.h"
#include "shells/ahx/input_output.h"
#include "shells/ahx/mix_options.h"
#include "shells/ahx/song_argument.h"
#include "shells/ahx/song_end.h"
#include "shells/ahx/sound_output.h"

namespace tools {

namespace {

constexpr std::string_view kHelp =
    "usage: ahx render SONG -o OUT.wav [options]\n"
    "       ahx render SONG... -o DIR/ [--format EXT] [options]\n"
    "       ahx render SONG -o - [--raw] [options]\n"
    "\n"
    "Renders 16-bit PCM at 44100 Hz: in mono exactly the samples the player's\n"
    "sound device would be given. By default a song is rendered until it first\n"
    "comes back to a position it has already played or stops (tempo 0), and at\n"
    "most 15 minutes.\n"
    "\n"
    "  SONG                  an AHX song file, or its text form (.ahxt), which is\n"
    "                        compiled first; or --track N, tune N (1..10) of the\n"
    "                        musicdisk\n"
    "  -o, --output OUT      the file to write; its extension chooses the format,\n"
    "                        among those this machine's libsndfile writes (listed\n"
    "                        below; WAV for a name without one). A folder (DIR/)\n"
    "                        takes one file per song, named after it; - is\n"
    "                        standard output (WAV)\n"
    "  --format EXT          the format of the files written into a folder (wav)\n"
    "  --raw                 headerless 16-bit little-endian PCM instead\n"
    "  --seconds S           render exactly S seconds (up to 10800)\n"
    "  --loops K             play K times through: stop at the K-th return (1..100,\n"
    "                        at most 15 minutes per pass and 3 hours in all)\n"
    "  --fade S              fade out over the last S seconds; a song that stops by\n"
    "                        itself (tempo 0) before the render ends is not faded.\n"
    "                        The level falls as the square of the time left: fast\n"
    "                        at first, gently at the end, which sounds even\n"
    "  --subsong N           start subsong N instead of the main song (0)\n"
    "  --stereo              stereo: channels 1 and 4 left, 2 and 3 right, as the\n"
    "                        Amiga plays them\n"
    "  --separation P        0 (both sides the mono mix) to 100 (hard left and\n"
    "                        right); 50 by default, for headphones: there no sound\n"
    "                        crosses to the other ear as from loudspeakers, and\n"
    "                        hard panning is tiring. At 50 a voice reaches the far\n"
    "                        ear a third as loud, so each keeps its side\n"
    "  --mute C,..           leave out channels C (1..4), such as --mute 2,4\n"
    "  --solo C,..           keep only channels C\n"
    "  --stems               write each heard channel to a file of its own instead:\n"
    "                        OUT-1.wav .. OUT-4.wav for -o OUT.wav\n"
    "\n"
    "Mono is each voice's sample times 64, summed and clamped to 16 bits: the\n"
    "device's conversion. In stereo at separation P a voice is weighted\n"
    "(100 + P) / 100 of that on its own side and (100 - P) / 100 on the other,\n"
    "each contribution rounded down: at 0 both sides equal the mono render\n"
    "sample for sample, and left plus right is twice the mono (within the\n"
    "rounding). A stem holds one voice's contributions alone, so the stems\n"
    "added up are the full render wherever it is not clamped (at the song's\n"
    "own volume it never is), fades and stereo included.\n"
    "\n"
    "Exit codes: 0 all written, 1 usage, 2 a bad song or a format this machine\n"
    "cannot write, 4 an output that cannot be written, 5 the tool failed. With\n"
    "several songs each failure is reported and the others are still rendered;\n"
    "the exit code is then the highest of theirs.\n";

std::string help() {
    return std::string(kHelp) + "\nFormats this machine writes: " + writableFormatList() + "\n";
}

constexpr int32_t kChunkFrames = 4096;

struct Settings {
    double seconds = -1;
    int64_t loops = 0;
    int64_t subsong = 0;
    double fade = 0;
    MixOptions mix;
    bool stems = false;
    bool raw = false;
    std::string format;
};

int64_t framesIn(double seconds) {
    return int64_t(seconds * kSampleRate);
}

struct Output {
    std::string path;  // the file, the stems' pattern, or "-"
    const SoundFormat* format = nullptr;
};

// "OUT-3.wav" for OUT.wav, or "OUT-3" without an extension.
std::string stemPath(const std::string& path, int channel) {
    const std::string extension = extensionOf(path);
    const std::string base = extension.empty() ? path : path.substr(0, path.size() - extension.size() - 1);
    return base + "-" + std::to_string(channel) + (extension.empty() ? "" : "." + extension);
}

// A line that shows how far a render has come, on a terminal only.
class Progress {
public:
    explicit Progress(std::string prefix) : prefix_(std::move(prefix)), shown_(isatty(STDERR_FILENO) != 0) {}

    void update(int64_t done, int64_t total) {
        if (!shown_ || done < next_) return;
        std::fprintf(stderr, "\rahx render: %s%.1f / %.1f s\033[K", prefix_.c_str(),
                     double(done) / kSampleRate, double(total) / kSampleRate);
        next_ = done + 10 * kSampleRate;
        visible_ = true;
    }
    void done(int64_t total, const std::string& where) {
        if (!shown_) return;
        std::fprintf(stderr, "\rahx render: %s%.1f s written to %s\033[K\n", prefix_.c_str(),
                     double(total) / kSampleRate, where.c_str());
        visible_ = false;
    }
    // Makes way for a message.
    void clear() {
        if (visible_) std::fputs("\r\033[K", stderr);
        visible_ = false;
    }

private:
    std::string prefix_;
    bool shown_;
    bool visible_ = false;
    int64_t next_ = 0;
};

class SongRender {
public:
    SongRender(const Settings& settings, Progress& progress) : settings_(settings), progress_(progress) {}

    int run(SongArgument& songArgument, const Output& output) {
        auto player = std::make_unique<ahx::Player>();
        if (!songArgument.load("render", player->song)) return kExitBadInput;
        const ahx::Song& song = player->song;
        if (settings_.subsong > song.subsongCount) {
            std::fprintf(stderr, "ahx render: %s: no subsong %d (the song has %d)\n",
                         songArgument.name().c_str(), int(settings_.subsong), int(song.subsongCount));
            return kExitUsage;
        }
        auto tables = std::make_unique<ahx::WaveTables>();
        const auto subsong = int32_t(settings_.subsong);

        int64_t total = 0;
        bool stopsByItself = false;
        if (settings_.seconds >= 0) {
            total = framesIn(settings_.seconds);
        } else {
            const SongLength length = measurePasses(song, *tables, StartPoint{subsong},
                                                    int32_t(std::max<int64_t>(settings_.loops, 1)));
            total = length.frames;
            stopsByItself = length.stopsByItself;
        }

        const MixOptions& options = settings_.mix;
        bool heard[audio::kVoices];
        options.heardChannels(heard);
        audio::ChannelMix mix;
        mix.configure(options.stereo ? 2 : 1, options.separation, heard);
        if (settings_.fade > 0 && stopsByItself) {
            progress_.clear();
            std::fprintf(stderr, "ahx render: %s: not faded: the song stops by itself (tempo 0)\n",
                         songArgument.name().c_str());
        } else if (settings_.fade > 0) {
            const int64_t length = fadeFrames(settings_.fade, total);
            mix.setFade(total - length, length);
        }

        player->bindWaveTables(tables.get());
        player->startSubsong(subsong);
        auto renderer = std::make_unique<audio::VoiceRenderer>();
        if (renderer->setup(kSampleRate, kFramesPerBlock, 0) == 0) {
            std::fprintf(stderr, "ahx render: cannot set up the mixer\n");
            return kExitFailure;
        }
        renderer->start(player.get());

        // One writer for the mix, or one per heard channel for the stems.
        std::vector<std::unique_ptr<SoundWriter>> writers(audio::kVoices);
        std::string where = settings_.stems ? "" : output.path == "-" ? "standard output" : output.path;
        for (int v = 0; v < audio::kVoices; ++v) {
            if (settings_.stems ? !heard[v] : v > 0) continue;
            writers[size_t(v)] = std::make_unique<SoundWriter>();
            const std::string path = settings_.stems ? stemPath(output.path, v + 1) : output.path;
            if (settings_.stems) where += (where.empty() ? "" : ", ") + path;
            if (!writers[size_t(v)]->open("render", path, output.format, settings_.raw, mix.outputChannels(),
                                          total)) {
                return cannotWrite(writers, *writers[size_t(v)]);
            }
        }

        std::vector<int32_t> voiceSamples(size_t(audio::kVoices) * kChunkFrames);
        int32_t* voices[audio::kVoices];
        for (int v = 0; v < audio::kVoices; ++v) voices[v] = voiceSamples.data() + size_t(v) * kChunkFrames;
        std::vector<int16_t> frames(size_t(kChunkFrames) * size_t(mix.outputChannels()));
        for (int64_t done = 0; done < total;) {
            const auto n = int32_t(std::min<int64_t>(kChunkFrames, total - done));
            renderer->render(voices, n);
            for (int v = 0; v < audio::kVoices; ++v) {
                SoundWriter* writer = writers[size_t(v)].get();
                if (writer == nullptr) continue;
                if (settings_.stems) {
                    mix.stem(v, voices[v], n, done, frames.data());
                } else {
                    mix.mix(voices, n, done, frames.data());
                }
                if (!writer->write(frames.data(), n)) return cannotWrite(writers, *writer);
            }
            done += n;
            progress_.update(done, total);
        }
        // Nothing is put in place until every file of the song is complete.
        for (auto& writer : writers) {
            if (writer && !writer->finish()) return cannotWrite(writers, *writer);
        }
        for (auto& writer : writers) {
            if (writer && !writer->commit()) return cannotWrite(writers, *writer);
        }
        progress_.done(total, where);
        return kExitOk;
    }

private:
    // Reports the failed writer and leaves nothing of this song behind.
    int cannotWrite(std::vector<std::unique_ptr<SoundWriter>>& writers, const SoundWriter& failed) {
        progress_.clear();
        if (!failed.error().empty()) std::fprintf(stderr, "%s\n", failed.error().c_str());
        for (auto& writer : writers) {
            if (writer) writer->abandon();
        }
        return kExitCannotWrite;
    }

    const Settings& settings_;
    Progress& progress_;
};

int refuseFormat(const std::string& what) {
    std::fprintf(stderr, "ahx render: %s; this machine writes %s (or --raw for headerless PCM)\n",
                 what.c_str(), writableFormatList().c_str());
    return kExitBadInput;
}

bool isFolder(const std::string& path) {
    std::error_code error;
    return path.ends_with('/') || std::filesystem::is_directory(path, error);
}

}  // namespace

int runRender(Args args) {
    std::vector<SongArgument> songs;
    std::string outPath;
    Settings settings;
    CommandLine line("render", help());
    addSongArguments(line, songs, true);
    line.text("-o,--output", outPath, "-o needs a file name");
    line.number("--seconds", settings.seconds, 0, kMaxSeconds, "--seconds needs a number from 0 to 10800");
    line.number("--loops", settings.loops, 1, 100, "--loops needs a number from 1 to 100");
    line.number("--fade", settings.fade, 0, kMaxSeconds, "--fade needs a number of seconds from 0 to 10800");
    line.number("--subsong", settings.subsong, 0, 255, "--subsong needs a number from 0 to 255");
    line.value(
        "--format",
        [&settings](const std::string& text) {
            settings.format = text.starts_with('.') ? text.substr(1) : text;
            return !text.empty();
        },
        "--format needs an extension, such as flac");
    line.flag("--raw", settings.raw);
    line.flag("--stems", settings.stems);
    addMixOptions(line, settings.mix, true);
    if (auto done = line.parse(args)) return *done;
    if (songs.empty()) return line.usageError("no SONG given");
    if (outPath.empty()) return line.usageError("no output file given (-o OUT.wav)");
    if (settings.seconds >= 0 && settings.loops > 0)
        return line.usageError("--seconds and --loops exclude each other");
    if (const std::string error = checkMixOptions(settings.mix); !error.empty())
        return line.usageError(error);
    if (settings.raw && !settings.format.empty())
        return line.usageError("--raw and --format exclude each other");

    const bool toStandardOutput = outPath == "-";
    const bool toFolder = !toStandardOutput && isFolder(outPath);
    if (toStandardOutput) {
        if (songs.size() > 1)
            return line.usageError("standard output takes one song; give -o DIR/ for several");
        if (settings.stems) return line.usageError("--stems writes files: give -o OUT.wav");
        // Sound is no text: on a terminal it would only scramble the screen.
        if (isatty(STDOUT_FILENO) != 0) {
            return line.usageError("standard output is a terminal; send it into a pipe or a file");
        }
        if (!settings.format.empty() && !endsWithNoCase(settings.format, "wav")) {
            return line.usageError("standard output takes WAV, or raw PCM with --raw");
        }
    } else if (!toFolder && songs.size() > 1) {
        return line.usageError("several songs need a folder to go into: -o DIR/");
    }

    // The format, from the file name or --format; raw needs none.
    const SoundFormat* format = nullptr;
    if (!settings.raw && !toStandardOutput) {
        std::string extension =
            toFolder ? (settings.format.empty() ? "wav" : settings.format) : extensionOf(outPath);
        // A name without an extension (a device such as /dev/null) takes WAV, as it always has.
        if (extension.empty()) extension = settings.format.empty() ? "wav" : settings.format;
        format = findWritableFormat(extension);
        if (format == nullptr)
            return refuseFormat((toFolder ? "--format " : outPath + ": ") +
                                ("cannot write ." + extension + " files"));
        if (!toFolder && !settings.format.empty() && findWritableFormat(settings.format) != format) {
            return line.usageError("--format " + settings.format + " disagrees with the name " + outPath);
        }
    }

    std::vector<Output> outputs;
    if (toFolder) {
        // Every name is settled before anything is made.
        const std::string extension = settings.raw ? "raw" : std::string(format->extension);
        std::map<std::string, std::string> taken;
        for (const SongArgument& song : songs) {
            const std::string path =
                (std::filesystem::path(outPath) / (song.outputStem() + "." + extension)).string();
            const std::string name = song.name().empty() ? song.outputStem() : song.name();
            if (auto [at, isNew] = taken.emplace(path, name); !isNew) {
                return line.usageError(at->second + " and " + name + " would both be written to " + path);
            }
            outputs.push_back({path, format});
        }
    } else {
        outputs.push_back({outPath, format});
    }

    if (settings.seconds >= 0 && framesIn(settings.seconds) == 0 && format != nullptr &&
        !format->canBeEmpty) {
        return line.usageError("--seconds gives no sound to write, and a ." + std::string(format->extension) +
                               " file cannot be empty; give more seconds or another format");
    }
    // A song overwritten by its own render would be lost, whatever the render gives.
    std::vector<std::string> inputs;
    for (const SongArgument& song : songs) inputs.push_back(song.file());
    bool heard[audio::kVoices];
    settings.mix.heardChannels(heard);
    for (const Output& output : outputs) {
        if (toStandardOutput) {
            if (const std::string input = inputReplacedByStandardOutput(inputs); !input.empty())
                return refuseToReplaceInput("render", "standard output", input);
            continue;
        }
        for (int v = 0; v < audio::kVoices; ++v) {
            if (settings.stems ? !heard[v] : v > 0) continue;
            const std::string path = settings.stems ? stemPath(output.path, v + 1) : output.path;
            if (const std::string input = inputReplacedBy(path, inputs); !input.empty())
                return refuseToReplaceInput("render", path, input);
        }
    }

    if (toFolder) {
        std::error_code error;
        std::filesystem::create_directories(outPath, error);
        if (!std::filesystem::is_directory(outPath, error)) {
            std::fprintf(stderr, "ahx render: %s: cannot write: cannot make the folder\n", outPath.c_str());
            return kExitCannotWrite;
        }
    }

    int worst = kExitOk;
    int failures = 0;
    for (size_t k = 0; k < songs.size(); ++k) {
        std::string prefix;
        if (songs.size() > 1)
            prefix = "[" + std::to_string(k + 1) + "/" + std::to_string(songs.size()) + "] ";
        Progress progress(prefix);
        const int code = SongRender(settings, progress).run(songs[k], outputs[k]);
        if (code != kExitOk) {
            worst = std::max(worst, code);
            ++failures;
        }
    }
    if (songs.size() > 1 && failures > 0) {
        std::fprintf(stderr, "ahx render: %d of %d songs failed\n", failures, int(songs.size()));
    }
    return worst;
}

}  // namespace tools
