// The `ahx` tool as a listener and a musician use it: stereo, channels muted
// and apart, fades, output formats, batches, pipes and text sources, run as
// a user would, with the samples checked exactly where they are defined.
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <iterator>
#include <set>
#include <thread>
#include <tuple>

#include "ahx_tool_fixture.h"
#include "shells/ahx/heard_sound.h"
#include "shells/ahx/song_end.h"
#include "song_text/song_text.h"
#include "support/wave_bank.h"

namespace {

using namespace ahx_tool_test;

using Samples = std::vector<int16_t>;

class AhxListening : public AhxTool {
protected:
    static void SetUpTestSuite() {
        AhxTool::SetUpTestSuite();
        // The busy song's text form, as a musician keeps it.
        const std::string bytes = readText(path("busy.ahx"));
        ahx::SongImage image;
        ASSERT_TRUE(ahx::readSongImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), image));
        writeBytes("busy_text.ahxt", tools::printSongText(image));
        writeBytes("busy.ahxt", tools::printSongText(image));
        writeBytes("mistake.ahxt",
                   "track-length 4\npositions\n    0 0 +0 0 +0 0 +0 zero +0\ntrack 0 empty\n");
        // A main song that jumps back to its start (B00 on position 0's last
        // step) and a subsong from position 1 that stops (F00 on position 2's
        // second step).
        ahx::Song song = synthetic::emptySong(4, 3, 3);
        synthetic::setStep(song, 1, 1, 0, 0, 0xF, 0);
        synthetic::setStep(song, 2, 3, 0, 0, 0xB, 0);
        synthetic::usePosition(song, 0, 0, 2);
        synthetic::usePosition(song, 2, 0, 1);
        song.subsongs = {1};
        song.subsongCount = 1;
        writeSong("two_ends.ahx", song);
        // Songs of a few seconds that sound unlike each other; the first has
        // a subsong from position 1.
        ahx::Song first = synthetic::busySong(11, 2, 2);
        first.subsongs = {1};
        first.subsongCount = 1;
        writeSong("list_a.ahx", first);
        writeSong("list_b.ahx", synthetic::busySong(12, 2, 2));
        writeSong("list_c.ahx", synthetic::busySong(13, 2, 2));
    }

    static Samples render(const std::string& arguments, SF_INFO& info, const std::string& name) {
        Result r = run("render " + arguments + " -o " + path(name));
        EXPECT_EQ(r.code, 0) << arguments << "\n" << r.err;
        return readSound(name, info);
    }

    static Samples render(const std::string& arguments, const std::string& name) {
        SF_INFO info;
        return render(arguments, info, name);
    }

    // Sample i of channel c of interleaved frames.
    static int32_t at(const Samples& s, size_t i, int channels, int c) {
        return s[i * size_t(channels) + size_t(c)];
    }

    // The four mono stems of the busy song.
    static std::vector<Samples> stems(const std::string& options) {
        Result r = run("render " + path("busy.ahx") + " " + options + " --stems -o " + path("stem.wav"));
        EXPECT_EQ(r.code, 0) << r.err;
        std::vector<Samples> out;
        for (int k = 1; k <= 4; ++k) {
            SF_INFO info;
            out.push_back(readSound("stem-" + std::to_string(k) + ".wav", info));
            fs::remove(path("stem-" + std::to_string(k) + ".wav"));
        }
        return out;
    }

    static std::string pcmBytes(const Samples& samples) {
        std::string bytes;
        for (int16_t s : samples) {
            bytes += char(uint16_t(s) & 0xFF);
            bytes += char(uint16_t(s) >> 8);
        }
        return bytes;
    }

    // At `at` after the start, `keys` are typed and then `action` is run.
    struct Event {
        std::chrono::milliseconds at;
        std::string keys;
        std::function<void()> action;
    };

    struct OnTerminal {
        std::vector<Event> events;
        unsigned short columns = 0;  // 0: no size set, as on a bare pseudo-terminal
        std::chrono::milliseconds resizeAfter{0};
        unsigned short resizedColumns = 0;
        // Above 0: started as a shell starts `ahx ... &`, in a process group
        // of its own that is not the terminal's foreground, and interrupted
        // after this long. A tool stopped by the terminal (SIGTTOU, SIGTTIN)
        // exits with 98.
        std::chrono::milliseconds background{0};
    };

    // Runs the tool on a pseudo-terminal, as in a terminal window, with
    // `environment` set. Answers everything it printed and its exit code.
    static Result runOnTerminal(const std::vector<std::string>& arguments, const std::string& environment,
                                const OnTerminal& how) {
        std::vector<std::string> argv = {AHX_TOOL};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        std::vector<char*> pointers;
        for (std::string& a : argv) pointers.push_back(a.data());
        pointers.push_back(nullptr);
        int terminal = -1;
        winsize size{};
        size.ws_row = 24;
        size.ws_col = how.columns;
        const pid_t child = forkpty(&terminal, nullptr, nullptr, how.columns > 0 ? &size : nullptr);
        if (child == 0) {
            if (!environment.empty()) putenv(const_cast<char*>(environment.c_str()));
            if (how.background.count() > 0) runInBackground(pointers.data(), how.background);
            execv(pointers[0], pointers.data());
            _exit(127);
        }
        EXPECT_GT(child, 0);
        std::string printed;
        const auto start = std::chrono::steady_clock::now();
        size_t events = 0;
        bool resized = false;
        int status = 0;
        for (;;) {
            pollfd fd{terminal, POLLIN, 0};
            if (poll(&fd, 1, 20) > 0) {
                char buffer[4096];
                const ssize_t n = read(terminal, buffer, sizeof buffer);
                if (n > 0) printed.append(buffer, size_t(n));
            }
            const auto elapsed = std::chrono::steady_clock::now() - start;
            if (!resized && how.resizedColumns > 0 && elapsed >= how.resizeAfter) {
                size.ws_col = how.resizedColumns;
                EXPECT_EQ(ioctl(terminal, TIOCSWINSZ, &size), 0);
                resized = true;
            }
            for (; events < how.events.size() && elapsed >= how.events[events].at; ++events) {
                const Event& event = how.events[events];
                EXPECT_EQ(write(terminal, event.keys.data(), event.keys.size()), ssize_t(event.keys.size()));
                if (event.action) event.action();
            }
            if (waitpid(child, &status, WNOHANG) == child) break;
            if (elapsed > std::chrono::seconds(60)) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
                ADD_FAILURE() << "the tool did not end";
                break;
            }
        }
        for (;;) {
            pollfd fd{terminal, POLLIN, 0};
            char buffer[4096];
            if (poll(&fd, 1, 50) <= 0) break;
            const ssize_t n = read(terminal, buffer, sizeof buffer);
            if (n <= 0) break;
            printed.append(buffer, size_t(n));
        }
        close(terminal);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, printed, ""};
    }

    // The status lines a run printed, each as it was last rewritten.
    static std::vector<std::string> statusUpdates(const std::string& printed) {
        std::vector<std::string> updates;
        std::istringstream in(printed);
        for (std::string update; std::getline(in, update, '\r');) {
            if (const size_t end = update.find("\033[K"); end != std::string::npos)
                updates.push_back(update.substr(0, end));
        }
        return updates;
    }

    static size_t columns(const std::string& text) {
        return size_t(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
    }

    // In the forked session leader: the job control of an interactive shell.
    [[noreturn]] static void runInBackground(char** argv, std::chrono::milliseconds playFor) {
        const pid_t job = fork();
        if (job == 0) {
            setpgid(0, 0);
            execv(argv[0], argv);
            _exit(127);
        }
        setpgid(job, job);
        const auto start = std::chrono::steady_clock::now();
        bool interrupted = false;
        for (;;) {
            int status = 0;
            const pid_t done = waitpid(job, &status, WUNTRACED | WNOHANG);
            if (done == job && WIFSTOPPED(status)) {
                kill(job, SIGKILL);
                _exit(98);
            }
            if (done == job) _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 97);
            if (!interrupted && std::chrono::steady_clock::now() - start >= playFor) {
                kill(job, SIGINT);
                interrupted = true;
            }
            usleep(10000);
        }
    }
};

TEST_F(AhxListening, StereoAtSeparation0IsTheMonoRenderOnBothSidesAndWiderSeparationPansTheVoices) {
    const std::string song = path("busy.ahx") + " --seconds 4";
    const Samples mono = expectedSamples("busy.ahx", 4 * 44100);
    const std::vector<Samples> stem = stems("--seconds 4");
    SF_INFO info;
    const Samples zero = render(song + " --stereo --separation 0", info, "s0.wav");
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, 44100);
    EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_16);
    const Samples hard = render(song + " --stereo --separation=100", "s100.wav");
    const Samples standard = render(song + " --stereo", "s50.wav");
    ASSERT_EQ(zero.size(), 2 * mono.size());
    ASSERT_EQ(hard.size(), zero.size());
    ASSERT_EQ(standard.size(), zero.size());
    for (size_t i = 0; i < mono.size(); ++i) {
        ASSERT_EQ(at(zero, i, 2, 0), mono[i]) << i;
        ASSERT_EQ(at(zero, i, 2, 1), mono[i]) << i;
        // The stems are whole multiples of 64, so these weights round nothing.
        const int32_t left = stem[0][i] + stem[3][i];
        const int32_t right = stem[1][i] + stem[2][i];
        ASSERT_EQ(at(hard, i, 2, 0), 2 * left) << i;
        ASSERT_EQ(at(hard, i, 2, 1), 2 * right) << i;
        ASSERT_EQ(at(standard, i, 2, 0), (3 * left + right) / 2) << i;
        ASSERT_EQ(at(standard, i, 2, 1), (left + 3 * right) / 2) << i;
    }
}

TEST_F(AhxListening, TheStemsAddUpToTheFullRenderAndMutedChannelsAreLeftOut) {
    const Samples full = expectedSamples("busy.ahx", 3 * 44100);
    const std::vector<Samples> stem = stems("--seconds 3");
    for (const Samples& s : stem) ASSERT_EQ(s.size(), full.size());
    // The rule: every sample of the full render is the sum of the stems'
    // samples, clamped to 16 bits; at the song's own volume nothing clamps.
    for (size_t i = 0; i < full.size(); ++i) {
        ASSERT_EQ(stem[0][i] + stem[1][i] + stem[2][i] + stem[3][i], full[i]) << i;
    }
    const Samples muted = render(path("busy.ahx") + " --seconds 3 --mute 2,4", "muted.wav");
    const Samples solo = render(path("busy.ahx") + " --seconds 3 --solo 3", "solo.wav");
    const Samples both = render(path("busy.ahx") + " --seconds 3 --solo 1,2 --mute 2", "both.wav");
    for (size_t i = 0; i < full.size(); ++i) {
        ASSERT_EQ(muted[i], stem[0][i] + stem[2][i]) << i;
        ASSERT_EQ(solo[i], stem[2][i]) << i;
        ASSERT_EQ(both[i], stem[0][i]) << i;
    }

    // Stereo stems of the heard channels only, faded, still add up.
    Result r = run("render " + path("busy.ahx") +
                   " --seconds 3 --fade 1 --stereo --separation 30 --mute 2 --stems -o " + path("st.flac"));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(fs::exists(path("st-2.flac")));
    const Samples mix =
        render(path("busy.ahx") + " --seconds 3 --fade 1 --stereo --separation 30 --mute 2", "st.flac");
    std::vector<int32_t> sum(mix.size(), 0);
    for (int k : {1, 3, 4}) {
        SF_INFO info;
        const Samples s = readSound("st-" + std::to_string(k) + ".flac", info);
        EXPECT_EQ(info.channels, 2);
        ASSERT_EQ(s.size(), mix.size());
        for (size_t i = 0; i < s.size(); ++i) sum[i] += s[i];
    }
    for (size_t i = 0; i < mix.size(); ++i) ASSERT_EQ(sum[i], mix[i]) << i;
}

TEST_F(AhxListening, AFadeFollowsItsCurveAndASongThatStopsByItselfIsNotFaded) {
    const Samples plain = expectedSamples("busy.ahx", 3 * 44100);
    const std::vector<Samples> stem = stems("--seconds 3");
    const Samples faded = render(path("busy.ahx") + " --seconds 3 --fade 1", "faded.wav");
    ASSERT_EQ(faded.size(), plain.size());
    const int64_t start = 2 * 44100;
    const int64_t length = 44100;
    for (int64_t i = 0; i < int64_t(plain.size()); ++i) {
        if (i < start) {
            ASSERT_EQ(faded[size_t(i)], plain[size_t(i)]) << i;
            continue;
        }
        // Gain q^2 with q the share of the fade still to come, in 1/65536,
        // each voice's sample scaled and rounded down on its own.
        const int64_t q = ((start + length - i) << 16) / length;
        const int64_t gain = (q * q) >> 16;
        int32_t expected = 0;
        for (const Samples& s : stem) expected += int32_t((int64_t(s[size_t(i)]) * gain) >> 16);
        ASSERT_EQ(faded[size_t(i)], expected) << i;
    }

    // Ending by --loops fades; ending at tempo 0 does not, and says so.
    const Samples once = render(path("busy.ahx"), "once.wav");
    const Samples onceFaded = render(path("busy.ahx") + " --loops 1 --fade 2", "once_faded.wav");
    ASSERT_EQ(once.size(), onceFaded.size());
    EXPECT_TRUE(std::equal(once.begin(), once.end() - 2 * 44100, onceFaded.begin()));
    EXPECT_NE(once, onceFaded);
    const Samples stops = render(path("stops.ahx"), "stops.wav");
    Result r = run("render " + path("stops.ahx") + " --loops 3 --fade 1 -o " + path("stops_faded.wav"));
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.err.find("not faded: the song stops by itself"), std::string::npos) << r.err;
    SF_INFO info;
    EXPECT_EQ(readSound("stops_faded.wav", info), stops);
}

TEST_F(AhxListening, TheContainerFollowsTheExtensionAndOneItCannotWriteIsRefused) {
    Result help = run("render --help");
    const size_t listed = help.out.find("Formats this machine writes: ");
    ASSERT_NE(listed, std::string::npos) << help.out;
    const std::string formats = help.out.substr(listed);
    const Samples mono = expectedSamples("busy.ahx", 44100);
    const std::pair<const char*, int> kinds[] = {{"wav", SF_FORMAT_WAV},   {"flac", SF_FORMAT_FLAC},
                                                 {"ogg", SF_FORMAT_OGG},   {"mp3", SF_FORMAT_MPEG},
                                                 {"aiff", SF_FORMAT_AIFF}, {"FLAC", SF_FORMAT_FLAC}};
    for (const auto& [extension, major] : kinds) {
        if (std::string(extension) != "FLAC" &&
            formats.find("." + std::string(extension)) == std::string::npos) {
            continue;
        }
        SCOPED_TRACE(extension);
        const std::string name = std::string("kind.") + extension;
        SF_INFO info;
        const Samples got = render(path("busy.ahx") + " --seconds 1 --stereo", info, name);
        EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, major);
        EXPECT_EQ(info.channels, 2);
        EXPECT_EQ(info.samplerate, 44100);
        if (major == SF_FORMAT_WAV || major == SF_FORMAT_FLAC || major == SF_FORMAT_AIFF) {
            const Samples m = render(path("busy.ahx") + " --seconds 1", std::string("mono.") + extension);
            EXPECT_EQ(m, mono);
        } else {
            // Lossy: about the length, give or take the encoder's padding.
            EXPECT_NEAR(double(got.size()) / 2, 44100.0, 4000.0);
        }
        // No sound at all: a file that reads back as none, or a refusal that writes nothing.
        const std::string empty = std::string("empty.") + extension;
        Result none = run("render " + path("busy.ahx") + " --seconds 0 -o " + path(empty));
        if (none.code == 0 || major == SF_FORMAT_WAV) {
            EXPECT_EQ(none.code, 0) << none.err;
            EXPECT_TRUE(readSound(empty, info).empty());
            EXPECT_EQ(info.frames, 0);
        } else {
            EXPECT_EQ(none.code, 1) << none.err;
            EXPECT_FALSE(fs::exists(path(empty)));
        }
    }
    EXPECT_NE(formats.find(".wav, .flac"), std::string::npos) << formats;

    for (const std::string name : {"x.xyz", "x.opus"}) {
        Result r = run("render " + path("busy.ahx") + " --seconds 1 -o " + path(name));
        EXPECT_EQ(r.code, 2) << name;
        ASSERT_EQ(lines(r.err).size(), 1u) << r.err;
        EXPECT_NE(r.err.find("this machine writes .wav, .flac"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(path(name))) << name;
    }
    Result r =
        run("render " + path("a.ahx") + " " + path("busy.ahx") + " --format xyz -o " + path("formats/"));
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("cannot write .xyz files"), std::string::npos) << r.err;
    // --raw writes headerless PCM whatever the name.
    ASSERT_EQ(run("render " + path("busy.ahx") + " --seconds 1 --raw -o " + path("x.pcm")).code, 0);
    EXPECT_EQ(readText(path("x.pcm")), pcmBytes(mono));
}

TEST_F(AhxListening, ABatchRendersEachSongIntoTheFolderAndReportsTheBadOnes) {
    const std::string folder = path("batch") + "/";
    Result r = run("render " + path("busy.ahx") + " " + path("garbage.ahx") + " " + path("busy_text.ahxt") +
                   " " + path("stops.ahx") + " --seconds 1 --format flac -o " + folder);
    EXPECT_EQ(r.code, 2);
    const std::vector<std::string> messages = lines(r.err);
    ASSERT_EQ(messages.size(), 2u) << r.err;
    EXPECT_NE(messages[0].find(path("garbage.ahx") + ": not an AHX song"), std::string::npos) << r.err;
    EXPECT_EQ(messages[1], "ahx render: 1 of 4 songs failed");
    const Samples mono = expectedSamples("busy.ahx", 44100);
    for (const char* name : {"batch/busy.flac", "batch/busy_text.flac", "batch/stops.flac"}) {
        SF_INFO info;
        const Samples got = readSound(name, info);
        EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_FLAC) << name;
        EXPECT_EQ(got.size(), 44100u) << name;
        if (std::string(name) != "batch/stops.flac") {
            EXPECT_EQ(got, mono) << name;
        }
    }
    EXPECT_FALSE(fs::exists(path("batch/garbage.flac")));

    // All good: exit 0; an existing folder is a folder without the slash too.
    r = run("render " + path("busy.ahx") + " --track 2 --seconds 1 -o " + path("batch"));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(fs::exists(path("batch/busy.wav")));
    EXPECT_TRUE(fs::exists(path("batch/track02.wav")));
    // Two songs that would land on the same file are refused before anything is written.
    r = run("render " + path("busy.ahx") + " " + path("busy.ahxt") + " --seconds 1 -o " + path("clash/"));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("would both be written to"), std::string::npos) << r.err;
}

TEST_F(AhxListening, StandardOutputCarriesAWavOrRawPcmIntoAPipe) {
    const Samples mono = expectedSamples("busy.ahx", 2 * 44100);
    Result r = run("render " + path("busy.ahx") + " --seconds 2 -o -", path("piped.wav"));
    ASSERT_EQ(r.code, 0) << r.err;
    SF_INFO info;
    EXPECT_EQ(readSound("piped.wav", info), mono);
    EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_WAV);
    EXPECT_EQ(fs::file_size(path("piped.wav")), 44 + 2 * mono.size());

    // Through a real pipe, and raw.
    r = run("render " + path("busy.ahx") + " --seconds 2 --raw -o - | cat >" + path("piped.raw") +
            "; exit 0");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readText(path("piped.raw")), pcmBytes(mono));

    r = run("render " + path("busy.ahx") + " --seconds 2 --stereo -o -", "/dev/full");
    EXPECT_EQ(r.code, 4);
    EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
    EXPECT_NE(r.err.find("standard output: cannot write"), std::string::npos) << r.err;
}

TEST_F(AhxListening, EveryCommandTakesTheTextFormWithTheCompilersMessages) {
    const std::string text = path("busy.ahxt");
    SF_INFO info;
    EXPECT_EQ(render(text + " --seconds 2", info, "from_text.wav"), expectedSamples("busy.ahx", 2 * 44100));
    EXPECT_EQ(run("trace " + text + " --ticks 30").out, run("trace " + path("busy.ahx") + " --ticks 30").out);
    Result info1 = run("info " + text);
    EXPECT_EQ(info1.code, 0);
    EXPECT_NE(info1.out.find("title:            busy 5\n"), std::string::npos) << info1.out;
    EXPECT_EQ(run("decompile " + text).out, run("decompile " + path("busy.ahx")).out);
    // It loads and plays (into a device that takes nothing, so it ends).
    Result played =
        run("play " + text, "", "VELTRANE_WAVEOUT_FILE=/dev/full VELTRANE_WAVEOUT_PACE=fast timeout 30 ");
    EXPECT_EQ(played.code, 3) << played.err;

    const std::string mistake = path("mistake.ahxt");
    for (const std::string command : {"info", "trace", "render", "play", "decompile"}) {
        std::string args = command + " " + mistake;
        if (command == "trace") args += " --ticks 3";
        if (command == "render") args += " -o " + path("never.wav");
        Result r = run(args, "", "VELTRANE_WAVEOUT_FILE=/dev/null ");
        EXPECT_EQ(r.code, 2) << args;
        EXPECT_EQ(r.err,
                  "ahx " + command + ": " + mistake + ":3: channel 3 track must be a number, not 'zero'\n");
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    EXPECT_FALSE(fs::exists(path("never.wav")));
}

TEST_F(AhxListening, InfoTellsWhetherEachSongEndsOrLoopsForever) {
    Result r = run("info " + path("busy.ahx"));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("length:           30.72 s (0:30.72), then back to position 0\n"
                         "end:              loops forever: at 0:30.72 it goes back to position 0, step 0, "
                         "first played at 0:00.00\n"),
              std::string::npos)
        << r.out;
    r = run("info " + path("stops.ahx"));
    EXPECT_NE(r.out.find("end:              stops by itself (tempo 0) at 0:00.26\n"), std::string::npos)
        << r.out;
    // Four steps of 6 ticks, then back; from position 1, 4 + 1 steps, then F00.
    r = run("info " + path("two_ends.ahx"));
    EXPECT_NE(r.out.find("length:           0.48 s (0:00.48), then back to position 0\n"
                         "end:              loops forever: at 0:00.48 it goes back to position 0, step 0, "
                         "first played at 0:00.00\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(
        r.out.find("  subsong 1 at position 1: 0.62 s (0:00.62), then stopped by tempo 0; stops by itself "
                   "(tempo 0) at 0:00.62\n"),
        std::string::npos)
        << r.out;
}

TEST_F(AhxListening, TraceShowsDashesForChannelsLeftOut) {
    const std::vector<std::string> all = lines(run("trace " + path("busy.ahx") + " --ticks 20").out);
    const std::vector<std::string> some =
        lines(run("trace " + path("busy.ahx") + " --ticks 20 --mute 2,4").out);
    const std::vector<std::string> one = lines(run("trace " + path("busy.ahx") + " --ticks 20 --solo 3").out);
    ASSERT_EQ(all.size(), 20u);
    ASSERT_EQ(some.size(), 20u);
    ASSERT_EQ(one.size(), 20u);
    for (size_t t = 0; t < all.size(); ++t) {
        std::istringstream in(all[t]);
        std::vector<std::string> f((std::istream_iterator<std::string>(in)),
                                   std::istream_iterator<std::string>());
        ASSERT_EQ(f.size(), 13u);
        auto voice = [&](int k) {
            return f[size_t(1 + 3 * k)] + " " + f[size_t(2 + 3 * k)] + " " + f[size_t(3 + 3 * k)];
        };
        EXPECT_EQ(some[t], f[0] + " " + voice(0) + " - - - " + voice(2) + " - - -");
        EXPECT_EQ(one[t], f[0] + " - - - - - - " + voice(2) + " - - -");
    }
}

TEST_F(AhxListening, PlaySoundsWhatRenderWritesAndShowsALevelMeterPerChannelWithinTheWindow) {
    // What play sends to the device is render's output, sample for sample.
    const std::string sound = path("played.raw");
    Result r = run("play " + path("busy.ahx") + " --stereo --separation 80 --mute 3", "",
                   "VELTRANE_WAVEOUT_FILE=" + sound + " timeout --preserve-status -s INT 2 ");
    EXPECT_EQ(r.code, 0) << r.err;
    ASSERT_EQ(run("render " + path("busy.ahx") + " --seconds 5 --stereo --separation 80 --mute 3 --raw -o " +
                  path("rendered.raw"))
                  .code,
              0);
    const std::string played = readText(sound);
    const std::string rendered = readText(path("rendered.raw"));
    EXPECT_GT(played.size(), 4u * 44100u);
    ASSERT_LE(played.size(), rendered.size());
    EXPECT_EQ(played, rendered.substr(0, played.size()));

    // On a terminal the status line shows each channel's level, 'off' for the
    // muted one, on one line rewritten in place within the window's width,
    // whatever it is resized to: the title gives way first, the meters last.
    OnTerminal window;
    window.columns = 81;
    window.resizeAfter = std::chrono::milliseconds(1200);
    window.resizedColumns = 40;
    window.events = {{std::chrono::milliseconds(2500), "q", {}}};
    Result onTerminal = runOnTerminal({"play", path("busy.ahx"), path("busy_text.ahxt"), "--mute", "2"},
                                      "VELTRANE_WAVEOUT_FILE=/dev/null", window);
    EXPECT_EQ(onTerminal.code, 0) << onTerminal.out;
    // The keys on the first line, then the status line alone.
    EXPECT_EQ(
        onTerminal.out.rfind("keys: n/Right next  p/Left previous  SPACE pause  s subsong  q quit\r\n", 0),
        0u)
        << onTerminal.out;
    EXPECT_EQ(std::count(onTerminal.out.begin(), onTerminal.out.end(), '\n'), 2) << onTerminal.out;
    const std::vector<std::string> updates = statusUpdates(onTerminal.out);
    ASSERT_GT(updates.size(), 10u) << onTerminal.out;
    const std::string widest =
        *std::max_element(updates.begin(), updates.end(),
                          [&](const auto& a, const auto& b) { return columns(a) < columns(b); });
    EXPECT_LE(columns(widest), 80) << widest;
    // The place in the list, the title cut short, the time against the
    // song's length; the step gave way.
    EXPECT_EQ(updates.front().rfind("1/2  busy\u2026  position   0/8  0:00.", 0), 0u) << updates.front();
    EXPECT_NE(updates.front().find(" / 0:30.7  1[#"), std::string::npos) << updates.front();
    EXPECT_NE(updates.front().find("  1[#"), std::string::npos) << updates.front();
    EXPECT_NE(updates.front().find(" 2[ off ]"), std::string::npos) << updates.front();
    EXPECT_EQ(updates.back().rfind("1[", 0), 0u) << updates.back();
    EXPECT_LE(columns(updates.back()), 39) << updates.back();
    EXPECT_NE(updates.back().find("4["), std::string::npos) << updates.back();
}

TEST_F(AhxListening, PlayInTheBackgroundPlaysAndLeavesTheTerminalToTheShell) {
    const std::string sound = path("background.raw");
    OnTerminal job;
    job.background = std::chrono::milliseconds(2000);
    Result r = runOnTerminal({"play", path("busy.ahx")}, "VELTRANE_WAVEOUT_FILE=" + sound, job);
    EXPECT_EQ(r.code, 0) << r.out;
    // Played at the device's pace, a second and more of it by then.
    EXPECT_GT(readText(sound).size(), 2u * 44100u) << r.out;
    EXPECT_EQ(r.out.find("position"), std::string::npos) << r.out;
}

class AhxPlayList : public AhxListening {
protected:
    static std::string rendered(const std::string& arguments) {
        Result r = run("render " + arguments + " --raw -o " + path("piece.raw"));
        EXPECT_EQ(r.code, 0) << arguments << "\n" << r.err;
        return readText(path("piece.raw"));
    }

    // The song as the tool has it after reading its file.
    static ahx::Song loaded(const ahx::Song& song) {
        const std::vector<uint8_t> bytes = ahx::writeSongImage(ahx::imageOf(song));
        ahx::Song out;
        EXPECT_EQ(ahx::loadSong(out, bytes.data(), int32_t(bytes.size())), 1);
        return out;
    }

    // `frames` mono samples of `song` played from `start`, as PCM bytes.
    static std::string soundFrom(const ahx::Song& song, const tools::StartPoint& start, int64_t frames) {
        auto player = std::make_unique<ahx::Player>();
        player->bindWaveTables(&test_support::sharedBank());
        player->song = song;
        tools::startAt(*player, start);
        audio::MemoryOutput out;
        EXPECT_EQ(out.setup(44100, 16, 2, 1.0f), 1);
        EXPECT_EQ(out.play(player.get()), 1);
        Samples samples(size_t(std::max<int64_t>(frames, 0)));
        out.renderPcm16(samples.data(), int64_t(samples.size()));
        return pcmBytes(samples);
    }

    static size_t samePrefix(const std::string& a, const std::string& b) {
        return size_t(
            std::mismatch(a.begin(), a.begin() + long(std::min(a.size(), b.size())), b.begin()).first -
            a.begin());
    }

    // Plays without waiting into a file of its own; answers the sound.
    static std::string played(const std::string& arguments, Result& r, const std::string& before = "") {
        const std::string sound = path("list.raw");
        fs::remove(sound);
        r = run("play " + arguments, "",
                "VELTRANE_WAVEOUT_FILE=" + sound + " VELTRANE_WAVEOUT_PACE=fast " + before + "timeout 60 ");
        return readText(sound);
    }

    // Where in `sound`, at most `longest` bytes on from `at`, the sound
    // `next` begins (heard for 0.1 s, or to the end): the last such place,
    // as a piece's own sound can agree with the next for a few samples.
    static std::optional<size_t> cutBefore(const std::string& sound, size_t at, size_t longest,
                                           const std::string& next) {
        constexpr size_t kHeard = 8820;
        for (size_t cut = at + longest - longest % 2; cut + kHeard > at + longest && cut > at; cut -= 2) {
            const size_t want = std::min({kHeard, sound.size() - cut, next.size()});
            if (sound.compare(cut, want, next, 0, want) == 0) return cut;
        }
        return std::nullopt;
    }

    // `sound` is made of beginnings of `pieces`, one after another, each cut
    // where a key cut it.
    static testing::AssertionResult piecesInTurn(const std::string& sound,
                                                 const std::vector<std::string>& pieces) {
        size_t at = 0;
        for (size_t k = 0; k < pieces.size(); ++k) {
            const size_t same = samePrefix(sound.substr(at), pieces[k]);
            if (k + 1 == pieces.size()) {
                at += same;
                break;
            }
            const std::optional<size_t> cut = cutBefore(sound, at, same, pieces[k + 1]);
            if (!cut)
                return testing::AssertionFailure()
                       << "piece " << k + 2 << " does not follow piece " << k + 1 << ", heard from byte "
                       << at << " for " << same << " bytes";
            at = *cut;
        }
        if (at != sound.size())
            return testing::AssertionFailure() << sound.size() - at << " bytes follow the last piece";
        return testing::AssertionSuccess();
    }
};

TEST_F(AhxPlayList, PlayedToItsEndAListIsItsSongsRendersOneAfterAnother) {
    const std::string a = path("list_a.ahx"), b = path("list_b.ahx"), c = path("list_c.ahx");
    const std::string stops = path("stops.ahx");
    // A song that cannot be loaded is reported and left out; one that stops
    // by itself moves on at once and is not faded; each that loops moves on
    // at its second return, faded. Nothing lies between them.
    Result r;
    std::string sound =
        played(a + " " + path("garbage.ahx") + " " + stops + " " + b + " --loops 2 --fade 0.5", r);
    EXPECT_EQ(r.code, 2);
    ASSERT_EQ(lines(r.err).size(), 2u) << r.err;
    EXPECT_NE(r.err.find(path("garbage.ahx") + ": not an AHX song"), std::string::npos) << r.err;
    EXPECT_EQ(lines(r.err)[1], "ahx play: 1 of 4 songs failed");
    const std::string options = " --loops 2 --fade 0.5";
    EXPECT_TRUE(sound == rendered(a + options) + rendered(stops + options) + rendered(b + options));

    // A folder plays its songs in name order, text forms among them, and
    // leaves other files alone; several songs play once through.
    fs::create_directories(path("songs"));
    fs::copy_file(b, path("songs/2.ahx"), fs::copy_options::overwrite_existing);
    writeBytes("songs/1.ahxt", tools::printSongText(ahx::imageOf(synthetic::busySong(13, 2, 2))));
    writeBytes("songs/notes.txt", "not a song");
    sound = played(path("songs") + " --stereo --separation 30", r);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(sound == rendered(path("songs/1.ahxt") + " --stereo --separation 30") +
                             rendered(b + " --stereo --separation 30"));
    fs::create_directories(path("nothing"));
    writeBytes("nothing/notes.txt", "not a song");
    EXPECT_EQ(played(path("nothing"), r), "");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("no songs in this folder"), std::string::npos) << r.err;

    // One song loops until quit unless --loops ends it; one that stops ends the play.
    EXPECT_TRUE(played(a + " --loops 2", r) == rendered(a + " --loops 2"));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(played(stops, r) == rendered(stops));

    // A subsong the song does not have is reported as render reports it.
    sound = played(a + " " + b + " --subsong 1", r);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find(b + ": no subsong 1 (the song has 0)"), std::string::npos) << r.err;
    EXPECT_TRUE(sound == rendered(a + " --subsong 1"));

    // Shuffled, each song plays once.
    const std::string ra = rendered(a), rb = rendered(b), rc = rendered(c);
    sound = played(a + " " + b + " " + c + " --shuffle", r);
    const std::vector<std::string> orders = {ra + rb + rc, ra + rc + rb, rb + ra + rc,
                                             rb + rc + ra, rc + ra + rb, rc + rb + ra};
    EXPECT_NE(std::find(orders.begin(), orders.end(), sound), orders.end());

    // --loop-list starts again after the last song, until interrupted.
    sound = played(a + " " + b + " --loop-list", r, "timeout --preserve-status -s INT 2 ");
    EXPECT_EQ(r.code, 0) << r.err;
    const std::string round = ra + rb;
    ASSERT_GT(sound.size(), round.size() + ra.size());
    for (size_t at = 0; at < sound.size(); at += round.size()) {
        const size_t n = std::min(round.size(), sound.size() - at);
        ASSERT_TRUE(sound.compare(at, n, round, 0, n) == 0) << at;
    }
}

TEST_F(AhxPlayList, TheKeysMoveThroughTheListAndTheSubsongs) {
    using std::chrono::milliseconds;
    const std::string sound = path("keys.raw");
    const std::string a = path("list_a.ahx"), b = path("list_b.ahx"), c = path("list_c.ahx");
    OnTerminal how;
    how.columns = 120;
    // Next twice (n, Right), previous early (back to B) and late (B from
    // its start), previous by Left (A), the next subsong, quit.
    how.events = {{milliseconds(800), "n", {}},       {milliseconds(1600), "\033[C", {}},
                  {milliseconds(2400), "p", {}},      {milliseconds(5800), "p", {}},
                  {milliseconds(6600), "\033[D", {}}, {milliseconds(7400), "s", {}},
                  {milliseconds(8200), "q", {}}};
    Result r = runOnTerminal({"play", a, b, c, "--loops", "3"}, "VELTRANE_WAVEOUT_FILE=" + sound, how);
    EXPECT_EQ(r.code, 0) << r.out;
    const std::string ra = rendered(a + " --loops 3"), rb = rendered(b + " --loops 3");
    EXPECT_TRUE(piecesInTurn(readText(sound), {ra, rb, rendered(c + " --loops 3"), rb, rb, ra,
                                               rendered(a + " --loops 3 --subsong 1")}));
    const std::vector<std::string> updates = statusUpdates(r.out);
    ASSERT_FALSE(updates.empty()) << r.out;
    EXPECT_EQ(updates.front().rfind("1/3 subsong 0/1  busy 11  position   0/2  step ", 0), 0u)
        << updates.front();
    EXPECT_NE(updates.front().find(" / 0:11.5  1["), std::string::npos) << updates.front();
    EXPECT_EQ(updates.back().rfind("1/3 subsong 1/1  busy 11  position   1/2", 0), 0u) << updates.back();
}

TEST_F(AhxPlayList, AWatchedTextPlaysOnFromTheSamePlaceWhenSavedAndShowsItsMistakes) {
    using std::chrono::milliseconds;
    // Four times the speed: a position every 0.96 s.
    ahx::Song before = synthetic::busySong(21, 4, 8);
    ahx::Song after = synthetic::busySong(22, 4, 8);
    after.title = "edited";
    ahx::Song shorter = synthetic::busySong(23, 4, 1);
    shorter.title = "shorter";
    const std::string text = path("watched.ahxt");
    // As editors save: whole, under another name first.
    auto save = [&](const std::string& content) {
        writeBytes("watched.tmp", content);
        fs::rename(path("watched.tmp"), text);
    };
    save(tools::printSongText(ahx::imageOf(before)));
    const std::string sound = path("watched.raw");
    OnTerminal how;
    how.columns = 200;
    how.events = {{milliseconds(1000), "", [&] { save(readText(path("mistake.ahxt"))); }},
                  {milliseconds(2500), "", [&] { save(tools::printSongText(ahx::imageOf(after))); }},
                  {milliseconds(4000), "", [&] { save(tools::printSongText(ahx::imageOf(shorter))); }},
                  {milliseconds(4800), "q", {}}};
    Result r = runOnTerminal({"play", text, "--watch"}, "VELTRANE_WAVEOUT_FILE=" + sound, how);
    EXPECT_EQ(r.code, 0) << r.out;
    const std::vector<std::string> updates = statusUpdates(r.out);
    const auto shown = [&](const std::string& part) {
        return std::find_if(updates.begin(), updates.end(),
                            [&](const std::string& u) { return u.find(part) != std::string::npos; });
    };
    // The mistake in front of the title of the version still playing.
    const auto mistake = shown(text + ":3: channel 3 track must be a number, not 'zero'  busy 21  position");
    ASSERT_NE(mistake, updates.end()) << r.out;
    const auto edited = shown("edited  position");
    ASSERT_NE(edited, updates.end()) << r.out;
    EXPECT_LT(mistake, edited);
    EXPECT_EQ(edited->find(":3:"), std::string::npos) << *edited;
    // Saved past position 0, the one-position version starts over.
    const auto restarted = shown("shorter  position   0/1");
    ASSERT_NE(restarted, updates.end()) << r.out;
    EXPECT_LT(edited, restarted);
    EXPECT_NE(restarted->find("  0:00."), std::string::npos) << *restarted;

    // The sound: the first version unbroken through the mistake, then the
    // edit from a step heard about when it was saved, then the shorter
    // version from its start.
    const std::string played = readText(sound);
    const ahx::Song first = loaded(before), second = loaded(after);
    const std::string third = soundFrom(loaded(shorter), {}, int64_t(played.size() / 2));
    const size_t unbroken = samePrefix(played, soundFrom(first, {}, int64_t(played.size() / 2)));
    EXPECT_GT(unbroken, size_t(44100 * 3)) << "the mistake cut the sound";
    tools::HeardSound heard(first, test_support::sharedBank(), {}, {true, true, true, true});
    std::set<std::tuple<int32_t, int32_t, int32_t>> tried;
    bool found = false;
    for (int64_t frame = int64_t(unbroken / 2) - 22050; frame < int64_t(unbroken / 2) + 22050 && !found;
         frame += 441) {
        heard.advanceTo(frame);
        const ahx::Player& at = heard.player();
        if (!tried.insert({at.position, at.stepIndex, at.tempo}).second) continue;
        const std::string edit =
            soundFrom(second, {0, at.position, at.stepIndex, at.tempo}, int64_t(played.size() / 2));
        const std::optional<size_t> cut = cutBefore(played, 0, unbroken, edit);
        if (!cut) continue;
        const std::optional<size_t> next =
            cutBefore(played, *cut, samePrefix(played.substr(*cut), edit), third);
        found =
            next && *next > *cut + 44100 && samePrefix(played.substr(*next), third) == played.size() - *next;
    }
    EXPECT_TRUE(found) << "the edit did not go on from a step heard when it was saved (" << tried.size()
                       << " tried)";
}

TEST_F(AhxListening, OnATerminalABatchShowsOneProgressLinePerFileAndNoSoundIsPrinted) {
    // Songs go in the order given, tunes of the musicdisk among them.
    Result r = runOnTerminal({"render", path("busy.ahx"), "--track", "2", path("empty.ahx"), "--seconds", "1",
                              "-o", path("shown/")},
                             "", {});
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("ahx render: [1/3] 1.0 s written to " + path("shown/busy.wav")), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("ahx render: [2/3] 1.0 s written to " + path("shown/track02.wav")),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("ahx render: [3/3] 1.0 s written to " + path("shown/empty.wav")), std::string::npos)
        << r.out;
    // Sound written onto the terminal itself would only scramble it.
    r = runOnTerminal({"render", path("busy.ahx"), "--seconds", "1", "-o", "-"}, "", {});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("standard output is a terminal"), std::string::npos) << r.out;
}

TEST_F(AhxListening, MixOptionsOutOfRangeOrAtOddsAreUsageErrors) {
    const std::string song = path("busy.ahx");
    const std::string wav = " -o " + path("usage.wav");
    for (const std::string& args : {
             "render " + song + wav + " --mute 5",
             "render " + song + wav + " --mute 2,,3",
             "render " + song + wav + " --solo 0",
             "render " + song + wav + " --mute 1,2,3,4",
             "render " + song + wav + " --solo 2 --mute 2",
             "render " + song + wav + " --stereo --separation 101",
             "render " + song + wav + " --separation 50",
             "render " + song + wav + " --fade",
             "render " + song + wav + " --raw --format flac",
             "render " + song + wav + " --format flac",
             "render " + song + " " + song + wav,
             "render " + song + " " + song + " -o -",
             "render " + song + " --stems -o -",
             "render " + song + " --format flac -o -",
             "trace " + song + " --ticks 3 --mute 7",
             "trace " + song + " --ticks 3 --stereo",
             "play " + song + " --solo 9",
             "play " + song + " --separation 10",
             "play " + song + " --loops 0",
             "play " + song + " --fade",
             "play " + song + " --subsong 256",
             std::string("play --loop-list"),
         }) {
        Result r = run(args);
        EXPECT_EQ(r.code, 1) << args;
        EXPECT_EQ(r.err.rfind("ahx ", 0), 0u) << args << "\n" << r.err;
    }
    EXPECT_FALSE(fs::exists(path("usage.wav")));
    Result r = run("play --help");
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("--separation P"), std::string::npos);
}

}  // namespace
