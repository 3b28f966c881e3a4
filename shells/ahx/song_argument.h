// The SONG argument of the sub-commands: recognised among the arguments and
// loaded in one place, so every command names and rejects songs alike.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ahx/song.h"
#include "shells/ahx/commands.h"

namespace tools {

// A song's text form goes by its extension, .ahxt.
bool isSongSource(std::string_view path);

// Compiles the text form in `path` to the bytes of an AHX file, as `ahx
// compile` does: a mistake is printed as "ahx COMMAND: PATH:LINE: message"
// and answers false; warnings are printed the same way and compiling goes on.
bool compileSongSource(std::string_view command, const std::string& path, std::vector<uint8_t>& bytes);
// The same without printing: a mistake in `message` ("PATH:LINE: message",
// or "PATH: why"), warnings alike into `warnings` when given.
bool compileSongSource(const std::string& path, std::vector<uint8_t>& bytes, std::string& message,
                       std::vector<std::string>* warnings);

class SongArgument {
public:
    // Takes args[i] when it names the song (a file, a text form, or "--track N"); i moves
    // onto the last argument taken. Answers false for an argument that is not
    // the song's (another option, or a second song), which the caller reports.
    bool accept(Args args, size_t& i);
    // The song in the file `path`.
    static SongArgument ofFile(std::string path);
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
    // The same without printing: the line in `message` ("NAME: why", or
    // "PATH:LINE: message"), a text form's warnings into `warnings` when given.
    bool load(ahx::Song& song, std::string& message, std::vector<std::string>* warnings);

private:
    bool loadTrack(ahx::Song& song, std::string& message);

    std::string path_;
    std::string track_;
};

// Appends the songs of `folder` in name order: its text forms (.ahxt) and
// the files that begin as AHX songs do. Answers false with "FOLDER: why" in
// `message` when it cannot be read or holds no song.
bool songsInFolder(const std::string& folder, std::vector<SongArgument>& songs, std::string& message);

// The arguments of a command that takes the song and nothing else: answers
// nullopt when the song was given, else the exit code to leave with (help
// printed, or a usage error reported).
std::optional<int> parseSongOnly(std::string_view command, std::string_view help, Args args,
                                 SongArgument& song);

}  // namespace tools
