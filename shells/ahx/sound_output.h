// Where `ahx render` writes: a sound file whose container follows its
// extension, among those this machine's libsndfile can write, or standard
// output. Every failure leaves one line naming the file for the caller to
// print; a file appears only once it is finished (see OutputFile).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "shells/ahx/input_output.h"

struct sf_private_tag;

namespace tools {

struct SoundFormat {
    std::string_view extension;  // lower case, without the dot
    int sndfileFormat;           // container and encoding
    // Whether a file of no sound at all reads back as such. FLAC's header
    // takes a length of 0 for "unknown", so an empty FLAC file reads back as
    // one of endless length (or, as libsndfile writes it, not at all).
    bool canBeEmpty;
};

// The formats this machine writes, in a fixed order (wav, flac, ogg, mp3,
// aiff), each tried once by opening a writer for it in memory: a libsndfile
// built without an encoder lists the container and still cannot write it.
const std::vector<SoundFormat>& writableFormats();
// ".wav, .flac, ..." for messages and help.
std::string writableFormatList();
// The format for `extension` (without the dot, in any case); null when this
// machine cannot write it.
const SoundFormat* findWritableFormat(std::string_view extension);
// The extension of the file name at the end of `path`, without the dot;
// empty when it has none.
std::string extensionOf(std::string_view path);

class SoundWriter {
public:
    SoundWriter() = default;
    // A file not committed is removed.
    ~SoundWriter();
    SoundWriter(const SoundWriter&) = delete;
    SoundWriter& operator=(const SoundWriter&) = delete;

    // Opens `path` for 16-bit PCM at 44100 Hz in `channels` channels: in
    // `format`, or headerless little-endian samples when `raw`. "-" is
    // standard output, where the WAV header (unless raw) is written here and
    // needs the length in `frames`. On failure answers false, with
    // "ahx COMMAND: PATH: cannot write: why" in error() (empty for standard
    // output, which the tool reports as it ends).
    bool open(std::string_view command, const std::string& path, const SoundFormat* format, bool raw,
              int32_t channels, int64_t frames);
    // `frames` frames of interleaved samples. On failure removes the file and
    // answers false, with the line in error().
    bool write(const int16_t* samples, int64_t frames);
    // Completes the file, still under its temporary name; on failure removes
    // it and answers false, with the line in error().
    bool finish();
    // Puts the finished file in place of `path`; on failure removes it and
    // answers false, with the line in error().
    bool commit();
    // Closes and removes a file that will not be committed.
    void abandon();

    const std::string& path() const { return path_; }
    const std::string& error() const { return error_; }
    bool toStandardOutput() const { return path_ == "-"; }

private:
    bool fail(const std::string& why);

    std::string command_;
    std::string path_;
    std::string error_;
    OutputFile output_;
    sf_private_tag* file_ = nullptr;
    bool open_ = false;
    bool headerWithFirstFrame_ = false;
    int64_t framesWritten_ = 0;
    int32_t channels_ = 1;
    std::vector<uint8_t> bytes_;
};

}  // namespace tools
