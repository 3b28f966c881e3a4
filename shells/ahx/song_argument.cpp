#include "shells/ahx/song_argument.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "ahx/song_image.h"
#include "core/track_list.h"
#include "resources/embedded_resources.h"
#include "shells/ahx/command_line.h"
#include "shells/ahx/input_output.h"
#include "song_text/song_text.h"

namespace tools {

namespace {

void report(std::string_view command, const std::string& line) {
    std::fprintf(stderr, "ahx %.*s: %s\n", int(command.size()), command.data(), line.c_str());
}

}  // namespace

bool isSongSource(std::string_view path) {
    return endsWithNoCase(path, ".ahxt");
}

bool compileSongSource(const std::string& path, std::vector<uint8_t>& bytes, std::string& message,
                       std::vector<std::string>* warnings) {
    bytes.clear();
    std::vector<uint8_t> text;
    if (!readInputFile(path, kMaxSourceBytes, text, message)) {
        message = path + ": " + message;
        return false;
    }
    ahx::SongImage image;
    SongTextError textError;
    std::vector<SongTextError> found;
    if (!parseSongText(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), image,
                       textError, &found)) {
        message = describeSongTextError(path, textError);
        return false;
    }
    std::string error;
    bytes = ahx::writeSongImage(image, &error);
    if (bytes.empty()) {
        message = describeSongTextError(path, {0, error});
        return false;
    }
    for (const SongTextError& warning : found) {
        // FILE:LINE: stays in front, where editors look for it.
        if (warnings != nullptr)
            warnings->push_back(describeSongTextError(path, {warning.line, "warning: " + warning.message}));
    }
    return true;
}

bool compileSongSource(std::string_view command, const std::string& path, std::vector<uint8_t>& bytes) {
    std::string message;
    std::vector<std::string> warnings;
    const bool compiled = compileSongSource(path, bytes, message, &warnings);
    if (!compiled) warnings = {message};
    for (const std::string& line : warnings) report(command, line);
    return compiled;
}

std::string SongArgument::outputStem() const {
    if (!track_.empty()) {
        char name[32];
        std::snprintf(name, sizeof name, "track%02d", std::atoi(track_.c_str()));
        return name;
    }
    return std::filesystem::path(path_).stem().string();
}

SongArgument SongArgument::ofFile(std::string path) {
    SongArgument song;
    song.path_ = std::move(path);
    return song;
}

SongArgument SongArgument::ofTrack(std::string number) {
    SongArgument song;
    song.track_ = std::move(number);
    return song;
}

bool SongArgument::loadTrack(ahx::Song& song, std::string& message) {
    path_ = "--track " + track_;
    const std::optional<int64_t> number = parseInteger(track_, 1, core::trackCount);
    if (!number) {
        message =
            path_ + ": no such track; the musicdisk has tracks 1 to " + std::to_string(core::trackCount);
        return false;
    }
    const auto index = size_t(*number - 1);
    path_ = "track " + track_ + " (" + core::trackTitles[index] + ")";
    size_t size = 0;
    const uint8_t* bytes = resources::findResource("AHX", core::trackResourceIds[index], &size);
    message = path_ + ": ";
    if (bytes == nullptr) {
        message += "this build carries no song for it";
        return false;
    }
    if (ahx::loadSong(song, bytes, int32_t(size)) == 0) {
        message += "damaged AHX song";
        return false;
    }
    message.clear();
    return true;
}

bool SongArgument::load(ahx::Song& song, std::string& message, std::vector<std::string>* warnings) {
    message.clear();
    if (!track_.empty()) return loadTrack(song, message);
    std::vector<uint8_t> bytes;
    if (isSongSource(path_)) {
        if (!compileSongSource(path_, bytes, message, warnings)) return false;
    } else if (!readInputFile(path_, kMaxSongBytes, bytes, message)) {
        message = path_ + ": " + message;
        return false;
    }
    if (bytes.size() < 3 || std::memcmp(bytes.data(), "THX", 3) != 0) {
        message = path_ + ": not an AHX song (no THX header)";
        return false;
    }
    if (bytes.size() > 3 && bytes[3] >= 2) {
        message = path_ + ": unsupported AHX format revision " + std::to_string(bytes[3]);
        return false;
    }
    if (ahx::loadSong(song, bytes.data(), int32_t(bytes.size())) == 0) {
        message = path_ + ": damaged AHX song (truncated or inconsistent data)";
        return false;
    }
    return true;
}

bool SongArgument::load(std::string_view command, ahx::Song& song) {
    std::string message;
    std::vector<std::string> warnings;
    const bool loaded = load(song, message, &warnings);
    for (const std::string& line : warnings) report(command, line);
    if (!loaded) report(command, message);
    return loaded;
}

bool songsInFolder(const std::string& folder, std::vector<SongArgument>& songs, std::string& message) {
    std::error_code error;
    std::vector<std::filesystem::path> found;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::filesystem::path& file = it->path();
        if (!it->is_regular_file(error)) continue;
        // Folders of songs hold covers and notes too, and Amiga songs go by
        // "AHX.name" as often as by "name.ahx": the first bytes decide.
        if (isSongSource(file.string())) {
            found.push_back(file);
            continue;
        }
        char head[3] = {};
        std::FILE* f = std::fopen(file.c_str(), "rb");
        if (f == nullptr) continue;
        const bool song = std::fread(head, 1, 3, f) == 3 && std::memcmp(head, "THX", 3) == 0;
        std::fclose(f);
        if (song) found.push_back(file);
    }
    if (error) {
        message = folder + ": " + error.message();
        return false;
    }
    if (found.empty()) {
        message = folder + ": no songs in this folder (.ahx files or .ahxt texts)";
        return false;
    }
    std::sort(found.begin(), found.end());
    for (const std::filesystem::path& file : found) songs.push_back(SongArgument::ofFile(file.string()));
    return true;
}

void addSongArguments(CommandLine& line, std::vector<SongArgument>& songs, bool several) {
    CLI::App& app = line.app();
    CLI::Option* files = app.add_option("SONG")->expected(0, -1)->allow_extra_args();
    CLI::Option* tracks = app.add_option("--track")->take_all();
    // A list plays in the order given, files and tracks mixed: CLI11 keeps
    // each option's values apart, and only its parse order has them together.
    app.callback([&songs, &app, files, tracks, several] {
        size_t file = 0;
        size_t track = 0;
        for (const CLI::Option* option : app.parse_order()) {
            std::string given;
            if (option == files) {
                given = files->results().at(file++);
                songs.push_back(SongArgument::ofFile(given));
            } else if (option == tracks) {
                given = "--track";
                songs.push_back(SongArgument::ofTrack(tracks->results().at(track++)));
            } else {
                continue;
            }
            if (!songs.back().given() || (!several && songs.size() > 1))
                throw UsageError("unexpected argument '" + given + "'");
        }
    });
}

}  // namespace tools
