// The SONG argument of the sub-commands: recognised among the arguments and
// loaded in one place, so every command names and rejects songs alike.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ahx/song.h"
#include "shells/ahx/command_line.h"

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
    // The song in the file `path`.
    static SongArgument ofFile(std::string path);
    // Tune `number` of the musicdisk, as given to --track.
    static SongArgument ofTrack(std::string number);
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

// Adds the SONG arguments to `line`: files, text forms (and folders, which
// play takes) and --track N, gathered into `songs` in the order given.
// Without `several`, a second song is a usage error.
void addSongArguments(CommandLine& line, std::vector<SongArgument>& songs, bool several);

}  // namespace tools
