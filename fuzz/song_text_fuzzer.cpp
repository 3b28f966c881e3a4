// libFuzzer target: the song compiler on any text. It must answer without a
// crash, a hang or memory out of proportion to the text; a text it accepts
// must make bytes the loader accepts, and those bytes must print as a text
// that compiles to the very same bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ahx/player.h"
#include "ahx/song_image.h"
#include "song_text/song_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Texts far beyond any song's are only slower, not new.
    if (size > 256 * 1024) return 0;
    // An exact-size copy, so that AddressSanitizer sees any read past the end.
    const std::vector<char> text(data, data + size);
    const std::string_view source(text.data(), text.size());

    ahx::SongImage image;
    tools::SongTextError error;
    std::vector<tools::SongTextError> warnings;
    if (!tools::parseSongText(source, image, error, &warnings)) {
        // A refusal says why.
        if (error.message.empty()) __builtin_trap();
        return 0;
    }
    std::string why;
    const std::vector<uint8_t> bytes = ahx::writeSongImage(image, &why);
    if (bytes.empty()) {
        // `ahx compile` reports this as a mistake: it must say what.
        if (why.empty()) __builtin_trap();
        return 0;
    }

    ahx::Song song;
    if (ahx::loadSong(song, bytes.data(), int32_t(bytes.size())) != 1) __builtin_trap();
    ahx::SongImage read;
    if (!ahx::readSongImage(bytes.data(), bytes.size(), read)) __builtin_trap();
    if (ahx::writeSongImage(read) != bytes) __builtin_trap();

    ahx::SongImage again;
    if (!tools::parseSongText(tools::printSongText(read), again, error)) __builtin_trap();
    if (ahx::writeSongImage(again) != bytes) __builtin_trap();
    return 0;
}
