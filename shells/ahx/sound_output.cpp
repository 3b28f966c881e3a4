#include "shells/ahx/sound_output.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "audio/sample_conversion.h"
#include "audio/stream_format.h"

namespace tools {

namespace {

constexpr SoundFormat kCandidates[] = {
    {"wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, true},
    {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, false},
    {"ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, true},
    {"mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, true},
    {"aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, true},
};

// A write-only file in memory that keeps nothing: enough for libsndfile to
// open a writer, write its header and start an encoder.
struct NullFile {
    sf_count_t position = 0;
    sf_count_t length = 0;
};

sf_count_t nullLength(void* data) {
    return static_cast<NullFile*>(data)->length;
}
sf_count_t nullSeek(sf_count_t offset, int whence, void* data) {
    auto* f = static_cast<NullFile*>(data);
    const sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f->position : f->length;
    f->position = std::max<sf_count_t>(0, base + offset);
    return f->position;
}
sf_count_t nullRead(void*, sf_count_t, void*) {
    return 0;
}
sf_count_t nullWrite(const void*, sf_count_t count, void* data) {
    auto* f = static_cast<NullFile*>(data);
    f->position += count;
    f->length = std::max(f->length, f->position);
    return count;
}
sf_count_t nullTell(void* data) {
    return static_cast<NullFile*>(data)->position;
}

bool canWrite(int format) {
    SF_INFO info{};
    info.samplerate = audio::kSampleRate;
    info.channels = 2;
    info.format = format;
    if (sf_format_check(&info) == 0) return false;
    SF_VIRTUAL_IO io{nullLength, nullSeek, nullRead, nullWrite, nullTell};
    NullFile sink;
    SNDFILE* file = sf_open_virtual(&io, SFM_WRITE, &info, &sink);
    if (file == nullptr) return false;
    sf_close(file);
    return true;
}

void putLittleEndian(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

// The 44-byte header of a WAV file of 16-bit PCM whose length is known.
std::vector<uint8_t> wavHeader(int32_t channels, int64_t frames) {
    const int64_t dataBytes = std::min<int64_t>(frames * channels * 2, 0xFFFFFFFF - 36);
    std::vector<uint8_t> h;
    h.insert(h.end(), {'R', 'I', 'F', 'F'});
    putLittleEndian(h, uint32_t(36 + dataBytes), 4);
    h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    putLittleEndian(h, 16, 4);
    putLittleEndian(h, 1, 2);  // PCM
    putLittleEndian(h, uint32_t(channels), 2);
    putLittleEndian(h, audio::kSampleRate, 4);
    putLittleEndian(h, uint32_t(audio::kSampleRate * channels * 2), 4);
    putLittleEndian(h, uint32_t(channels * 2), 2);
    putLittleEndian(h, 16, 2);
    h.insert(h.end(), {'d', 'a', 't', 'a'});
    putLittleEndian(h, uint32_t(dataBytes), 4);
    return h;
}

}  // namespace

const std::vector<SoundFormat>& writableFormats() {
    static const std::vector<SoundFormat> formats = [] {
        std::vector<SoundFormat> found;
        for (const SoundFormat& f : kCandidates) {
            if (canWrite(f.sndfileFormat)) found.push_back(f);
        }
        return found;
    }();
    return formats;
}

std::string writableFormatList() {
    std::string list;
    for (const SoundFormat& f : writableFormats()) {
        if (!list.empty()) list += ", ";
        list += "." + std::string(f.extension);
    }
    return list;
}

const SoundFormat* findWritableFormat(std::string_view extension) {
    std::string lower(extension);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    for (const SoundFormat& f : writableFormats()) {
        if (f.extension == lower) return &f;
    }
    return nullptr;
}

std::string extensionOf(std::string_view path) {
    const size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    // ".wav" alone is a hidden file's name, not an extension.
    if (dot == std::string_view::npos || dot == 0) return {};
    return std::string(name.substr(dot + 1));
}

SoundWriter::~SoundWriter() {
    abandon();
}

bool SoundWriter::fail(const std::string& why) {
    // A failed standard output is reported once, by the check every command
    // ends with.
    if (!toStandardOutput()) error_ = "ahx " + command_ + ": " + path_ + ": cannot write: " + why;
    abandon();
    return false;
}

bool SoundWriter::open(std::string_view command, const std::string& path, const SoundFormat* format, bool raw,
                       int32_t channels, int64_t frames) {
    abandon();
    command_ = std::string(command);
    path_ = path;
    error_.clear();
    channels_ = channels;
    if (toStandardOutput()) {
        open_ = true;
        bytes_.reserve(size_t(16384) * size_t(channels) * 2);
        if (raw) return true;
        const std::vector<uint8_t> header = wavHeader(channels, frames);
        errno = 0;
        if (!writeStandardOutput(
                std::string_view(reinterpret_cast<const char*>(header.data()), header.size()))) {
            return fail(errno != 0 ? std::strerror(errno) : "write error");
        }
        return true;
    }
    SF_INFO info{};
    info.samplerate = audio::kSampleRate;
    info.channels = channels;
    info.format = raw ? (SF_FORMAT_RAW | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE) : format->sndfileFormat;
    // LAME writes the MP3 header with the first frame; a render of no sound
    // asks for it, else the file would be empty and no MP3 at all.
    headerWithFirstFrame_ = (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG;
    framesWritten_ = 0;
    std::string why;
    if (!output_.open(path, why)) return fail(why);
    file_ = sf_open_fd(output_.descriptor(), SFM_WRITE, &info, SF_FALSE);
    if (file_ == nullptr) return fail(sf_strerror(nullptr));
    open_ = true;
    return true;
}

bool SoundWriter::write(const int16_t* samples, int64_t frames) {
    if (!open_) return false;
    const int64_t count = frames * channels_;
    if (file_ != nullptr) {
        if (sf_write_short(file_, samples, sf_count_t(count)) != sf_count_t(count))
            return fail(sf_strerror(file_));
        framesWritten_ += frames;
        return true;
    }
    bytes_.resize(size_t(count) * 2);
    audio::packPcm(samples, int32_t(count), 16, bytes_.data());
    errno = 0;
    if (!writeStandardOutput(std::string_view(reinterpret_cast<const char*>(bytes_.data()), bytes_.size()))) {
        return fail(errno != 0 ? std::strerror(errno) : "write error");
    }
    return true;
}

bool SoundWriter::finish() {
    if (!open_) return false;
    open_ = false;
    if (file_ == nullptr) {
        errno = 0;
        if (std::fflush(stdout) != 0) return fail(errno != 0 ? std::strerror(errno) : "write error");
        return true;
    }
    if (framesWritten_ == 0 && headerWithFirstFrame_) sf_command(file_, SFC_UPDATE_HEADER_NOW, nullptr, 0);
    SNDFILE* file = file_;
    file_ = nullptr;
    if (sf_close(file) != 0) return fail("closing the file failed");
    return true;
}

bool SoundWriter::commit() {
    std::string why;
    if (toStandardOutput() || output_.commit(why)) return true;
    return fail(why);
}

void SoundWriter::abandon() {
    open_ = false;
    if (file_ != nullptr) sf_close(file_);
    file_ = nullptr;
    output_.discard();
}

}  // namespace tools
