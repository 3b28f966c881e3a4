// ahx compile: the song compiler, from the text form to an AHX file.
#include <cstdio>
#include <string>
#include <vector>

#include "shells/ahx/command_line.h"
#include "shells/ahx/commands.h"
#include "shells/ahx/input_output.h"
#include "shells/ahx/song_argument.h"

namespace tools {

namespace {

constexpr std::string_view kHelp =
    "usage: ahx compile SRC -o SONG.ahx\n"
    "\n"
    "Compiles a song's text form (see `ahx decompile`) into an AHX file.\n"
    "Mistakes are reported as SRC:LINE: and nothing is written. A song that\n"
    "the player would refuse (no positions, a track length of 0) is a mistake.\n"
    "A restart position or subsong start outside the position list compiles,\n"
    "with a warning: the player goes to position 0 instead.\n"
    "\n"
    "The other commands take a text form (.ahxt) wherever they take a song and\n"
    "compile it on the fly, with the same messages: `ahx play song.ahxt`.\n";

}  // namespace

int runCompile(Args args) {
    std::string source, output;
    CommandLine line("compile", std::string(kHelp));
    line.app().add_option("SRC", source);
    line.text("-o", output, "-o needs a file name");
    if (auto done = line.parse(args)) return *done;
    if (source.empty()) return line.usageError("no source file given");
    if (output.empty()) return line.usageError("no output file given (-o SONG.ahx)");
    if (const std::string input = inputReplacedBy(output, {source}); !input.empty())
        return refuseToReplaceInput("compile", output, input);

    std::vector<uint8_t> bytes;
    if (!compileSongSource("compile", source, bytes)) return kExitBadInput;
    if (!writeOutputFile("compile", output,
                         std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))) {
        return kExitCannotWrite;
    }
    return kExitOk;
}

}  // namespace tools
