// ahx compile: the song compiler, from the text form to an AHX file.
#include <cstdio>
#include <string>
#include <vector>

#include "ahx/song_image.h"
#include "tools/ahx/command_line.h"
#include "tools/ahx/commands.h"
#include "tools/ahx/input_output.h"
#include "tools/song_text/song_text.h"

namespace tools {

namespace {

constexpr std::string_view kHelp =
    "usage: ahx compile SRC -o SONG.ahx\n"
    "\n"
    "Compiles a song's text form (see `ahx decompile`) into an AHX file.\n"
    "Mistakes are reported as SRC:LINE: and nothing is written. A song that\n"
    "the player would refuse (no positions, a track length of 0) is a mistake.\n"
    "A restart position or subsong start outside the position list compiles,\n"
    "with a warning: the player goes to position 0 instead.\n";

void report(const std::string& source, const SongTextError& message) {
    std::fprintf(stderr, "ahx compile: %s\n", describeSongTextError(source, message).c_str());
}

}  // namespace

int runCompile(Args args) {
    std::string source, output;
    if (auto done = parseInputAndOutput("compile", kHelp, args, "source file", source, output)) return *done;
    if (output.empty()) return usageError("compile", kHelp, "no output file given (-o SONG.ahx)");

    std::vector<uint8_t> text;
    if (!readInputFile("compile", source, kMaxSourceBytes, text)) return kExitBadInput;

    ahx::SongImage image;
    SongTextError textError;
    std::vector<SongTextError> warnings;
    if (!parseSongText(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), image, textError,
                       &warnings)) {
        report(source, textError);
        return kExitBadInput;
    }
    std::string error;
    const std::vector<uint8_t> bytes = ahx::writeSongImage(image, &error);
    if (bytes.empty()) {
        report(source, {0, error});
        return kExitBadInput;
    }
    for (const SongTextError& warning : warnings) {
        // FILE:LINE: stays in front, where editors look for it.
        report(source, {warning.line, "warning: " + warning.message});
    }
    if (!writeOutputFile("compile", output, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))) {
        return kExitCannotWrite;
    }
    return kExitOk;
}

}  // namespace tools
