// ahx decompile: an AHX file back to the text form that `ahx compile` reads.
#include <cstdio>
#include <string>
#include <vector>

#include "ahx/song_image.h"
#include "shells/ahx/command_line.h"
#include "shells/ahx/commands.h"
#include "shells/ahx/input_output.h"
#include "shells/ahx/song_argument.h"
#include "song_text/song_text.h"

namespace tools {

namespace {

constexpr std::string_view kHelp =
    "usage: ahx decompile SONG.ahx [-o SRC]\n"
    "\n"
    "Writes the song's text form to SRC, or to standard output. Every song\n"
    "the player loads has one, and compiling it gives back the same bytes.\n"
    "A text form (.ahxt) as SONG is compiled and printed again, laid out anew.\n";

bool fail(const std::string& song, const std::string& why) {
    std::fprintf(stderr, "ahx decompile: %s: %s\n", song.c_str(), why.c_str());
    return false;
}

}  // namespace

int runDecompile(Args args) {
    std::string song, output;
    CommandLine line("decompile", std::string(kHelp));
    line.app().add_option("SONG", song);
    line.text("-o", output, "-o needs a file name");
    if (auto done = line.parse(args)) return *done;
    if (song.empty()) return line.usageError("no song file given");
    const std::string input =
        output.empty() ? inputReplacedByStandardOutput({song}) : inputReplacedBy(output, {song});
    if (!input.empty())
        return refuseToReplaceInput("decompile", output.empty() ? "standard output" : output, input);

    std::vector<uint8_t> bytes;
    if (isSongSource(song)) {
        // A text form comes back in the layout decompile prints.
        if (!compileSongSource("decompile", song, bytes)) return kExitBadInput;
    } else if (!readInputFile("decompile", song, kMaxSongBytes, bytes)) {
        return kExitBadInput;
    }
    ahx::SongImage image;
    std::string error;
    if (!ahx::readSongImage(bytes.data(), bytes.size(), image, &error)) {
        fail(song, error);
        return kExitBadInput;
    }
    // What cannot be written back is what the player refuses (no positions,
    // no steps): such a file has no text that compiles.
    if (ahx::writeSongImage(image, &error) != bytes) {
        fail(song, error.empty() ? "the song does not write back to the same bytes" : error);
        return kExitBadInput;
    }
    const std::string text = printSongText(image);

    if (output.empty()) return writeStandardOutput(text) ? kExitOk : kExitCannotWrite;
    return writeOutputFile("decompile", output, text) ? kExitOk : kExitCannotWrite;
}

}  // namespace tools
