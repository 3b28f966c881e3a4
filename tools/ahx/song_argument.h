// The SONG argument of the sub-commands: recognised among the arguments and
// loaded in one place, so every command names and rejects songs alike.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ahx/song.h"
#include "tools/ahx/commands.h"

namespace tools {

// A song's text form goes by its extension, .ahxt.
bool isSongSource(std::string_view path);

// Compiles the text form in `path` to the bytes of an AHX file, as `ahx
// compile` does: a mistake is printed as "ahx COMMAND: PATH:LINE: message"
// and answers false; warnings are printed the same way and compiling goes on.
bool compileSongSource(std::string_view command, const std::string& path, std::vector<uint8_t>& bytes);

class SongArgument {
public:
    // Takes args[i] when it names the song (a file, a text form, or "--track N"); i moves
    // onto the last argument taken. Answers false for an argument that is not
    // the song's (another option, or a second song), which the caller reports.
    bool accept(Args args, size_t& i);
    bool given() const { return !path_.empty() || !track_.empty(); }
    // How messages name the song.
    const std::string& name() const { return path_; }
    // The file the song is read from; empty for a tune built in.
    std::string file() const { return track_.empty() ? path_ : std::string(); }
    // What an output named after the song is called: the file name without
    // its folder and extension, or trackNN.
    std::string outputStem() const;

    // Reads and parses the song into `song`, compiling a text form first. On
    // failure prints one line, "ahx COMMAND: NAME: why" (NAME:LINE: for a
    // mistake in a text form), and answers false.
    bool load(std::string_view command, ahx::Song& song);

private:
    bool loadTrack(std::string_view command, ahx::Song& song);

    std::string path_;
    std::string track_;
};

// The arguments of a command that takes the song and nothing else: answers
// nullopt when the song was given, else the exit code to leave with (help
// printed, or a usage error reported).
std::optional<int> parseSongOnly(std::string_view command, std::string_view help, Args args,
                                 SongArgument& song);

}  // namespace tools
