// ahx compile: the song compiler, from the text form to an AHX file.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "tools/ahx/command_line.h"
#include "tools/ahx/commands.h"
#include "tools/song_text/song_text.h"

namespace tools {

namespace {

constexpr std::string_view kHelp =
    "usage: ahx compile SRC -o SONG.ahx\n"
    "Compiles a song's text form (see `ahx decompile`) into an AHX file.\n";

}  // namespace

int runCompile(Args args) {
    std::string source, output;
    if (auto done = parseInputAndOutput("compile", kHelp, args, "source file", source, output)) return *done;
    if (output.empty()) return usageError("compile", kHelp, "no output file given (-o SONG.ahx)");

    std::ifstream in(source, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "%s: cannot open\n", source.c_str());
        return kExitBadInput;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    SongFile file;
    SongTextError textError;
    if (!parseSongText(text, file, textError)) {
        std::fprintf(stderr, "%s\n", describeSongTextError(source, textError).c_str());
        return kExitBadInput;
    }
    std::string error;
    const std::vector<uint8_t> bytes = encodeSongFile(file, error);
    if (bytes.empty()) {
        std::fprintf(stderr, "%s: %s\n", source.c_str(), error.c_str());
        return kExitBadInput;
    }

    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "%s: cannot write\n", output.c_str());
        return kExitBadInput;
    }
    return kExitOk;
}

}  // namespace tools
