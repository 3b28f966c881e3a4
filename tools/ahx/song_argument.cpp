#include "tools/ahx/song_argument.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "ahx/song_image.h"
#include "app/track_list.h"
#include "resources/embedded_resources.h"
#include "tools/ahx/command_line.h"
#include "tools/ahx/input_output.h"
#include "tools/song_text/song_text.h"

namespace tools {

namespace {

bool fail(std::string_view command, const std::string& name, const std::string& why) {
    std::fprintf(stderr, "ahx %.*s: %s: %s\n", int(command.size()), command.data(), name.c_str(),
                 why.c_str());
    return false;
}

void report(std::string_view command, const std::string& path, const SongTextError& message) {
    std::fprintf(stderr, "ahx %.*s: %s\n", int(command.size()), command.data(),
                 describeSongTextError(path, message).c_str());
}

}  // namespace

bool isSongSource(std::string_view path) {
    return endsWithNoCase(path, ".ahxt");
}

bool compileSongSource(std::string_view command, const std::string& path, std::vector<uint8_t>& bytes) {
    bytes.clear();
    std::vector<uint8_t> text;
    if (!readInputFile(command, path, kMaxSourceBytes, text)) return false;
    ahx::SongImage image;
    SongTextError textError;
    std::vector<SongTextError> warnings;
    if (!parseSongText(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), image,
                       textError, &warnings)) {
        report(command, path, textError);
        return false;
    }
    std::string error;
    bytes = ahx::writeSongImage(image, &error);
    if (bytes.empty()) {
        report(command, path, {0, error});
        return false;
    }
    for (const SongTextError& warning : warnings) {
        // FILE:LINE: stays in front, where editors look for it.
        report(command, path, {warning.line, "warning: " + warning.message});
    }
    return true;
}

std::string SongArgument::outputStem() const {
    if (!track_.empty()) {
        char name[32];
        std::snprintf(name, sizeof name, "track%02d", std::atoi(track_.c_str()));
        return name;
    }
    return std::filesystem::path(path_).stem().string();
}

bool SongArgument::accept(Args args, size_t& i) {
    std::string_view arg = args[i];
    std::string_view track;
    bool missing = false;
    if (matchOption(args, i, "--track", track, missing)) {
        if (given() || missing) return false;
        track_ = std::string(track);
        return true;
    }
    if (isOption(arg) || given() || arg.empty()) return false;
    path_ = std::string(arg);
    return true;
}

bool SongArgument::loadTrack(std::string_view command, ahx::Song& song) {
    path_ = "--track " + track_;
    const std::optional<int64_t> number = parseInteger(track_, 1, app::trackCount);
    if (!number) {
        return fail(command, path_,
                    "no such track; the musicdisk has tracks 1 to " + std::to_string(app::trackCount));
    }
    const auto index = size_t(*number - 1);
    path_ = "track " + track_ + " (" + app::trackTitles[index] + ")";
    size_t size = 0;
    const uint8_t* bytes = resources::findResource("AHX", app::trackResourceIds[index], &size);
    if (bytes == nullptr) return fail(command, path_, "this build carries no song for it");
    if (ahx::loadSong(song, bytes, int32_t(size)) == 0) return fail(command, path_, "damaged AHX song");
    return true;
}

bool SongArgument::load(std::string_view command, ahx::Song& song) {
    if (!track_.empty()) return loadTrack(command, song);
    std::vector<uint8_t> bytes;
    if (isSongSource(path_)) {
        if (!compileSongSource(command, path_, bytes)) return false;
    } else if (!readInputFile(command, path_, kMaxSongBytes, bytes)) {
        return false;
    }
    if (bytes.size() < 3 || std::memcmp(bytes.data(), "THX", 3) != 0) {
        return fail(command, path_, "not an AHX song (no THX header)");
    }
    if (bytes.size() > 3 && bytes[3] >= 2) {
        return fail(command, path_, "unsupported AHX format revision " + std::to_string(bytes[3]));
    }
    if (ahx::loadSong(song, bytes.data(), int32_t(bytes.size())) == 0) {
        return fail(command, path_, "damaged AHX song (truncated or inconsistent data)");
    }
    return true;
}

std::optional<int> parseSongOnly(std::string_view command, std::string_view help, Args args,
                                 SongArgument& song) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (isHelp(args[i])) {
            std::fwrite(help.data(), 1, help.size(), stdout);
            return kExitOk;
        }
        if (!song.accept(args, i)) {
            return usageError(command, help, "unexpected argument '" + std::string(args[i]) + "'");
        }
    }
    if (!song.given()) return usageError(command, help, "no SONG given");
    return std::nullopt;
}

}  // namespace tools
