// ahx decompile: an AHX file back to the text form that `ahx compile` reads.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/ahx/command_line.h"
#include "tools/ahx/commands.h"
#include "tools/song_text/song_text.h"

namespace tools {

namespace {

constexpr std::string_view kHelp =
    "usage: ahx decompile SONG.ahx [-o SRC]\n"
    "Writes the song's text form to SRC, or to standard output.\n"
    "Compiling it again gives back the same bytes.\n";

}  // namespace

int runDecompile(Args args) {
    std::string song, output;
    if (auto done = parseInputAndOutput("decompile", kHelp, args, "song file", song, output)) return *done;

    std::ifstream in(song, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "%s: cannot open\n", song.c_str());
        return kExitBadInput;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SongFile file;
    std::string error;
    if (!decodeSongFile(bytes, file, error)) {
        std::fprintf(stderr, "%s: %s\n", song.c_str(), error.c_str());
        return kExitBadInput;
    }
    const std::string text = printSongText(file);

    if (output.empty()) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return kExitOk;
    }
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::fprintf(stderr, "%s: cannot write\n", output.c_str());
        return kExitBadInput;
    }
    return kExitOk;
}

}  // namespace tools
