#include "tools/ahx/input_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace tools {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

bool fail(std::string_view command, const std::string& path, const std::string& why) {
    std::fprintf(stderr, "ahx %.*s: %s: %s\n", int(command.size()), command.data(), path.c_str(), why.c_str());
    return false;
}

std::string lastError(const char* otherwise) {
    return errno != 0 ? std::strerror(errno) : otherwise;
}

}  // namespace

bool readInputFile(std::string_view command, const std::string& path, size_t maxBytes,
                   std::vector<uint8_t>& bytes) {
    bytes.clear();
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return fail(command, path, lastError("cannot open"));
    uint8_t chunk[65536];
    for (;;) {
        errno = 0;
        const size_t n = std::fread(chunk, 1, sizeof chunk, file.get());
        if (n > maxBytes - bytes.size()) return fail(command, path, "too large (more than " + std::to_string(maxBytes >> 20) + " MiB)");
        bytes.insert(bytes.end(), chunk, chunk + n);
        if (n < sizeof chunk) break;
    }
    if (std::ferror(file.get())) return fail(command, path, lastError("read error"));
    if (bytes.empty()) return fail(command, path, "empty file");
    return true;
}

bool writeOutputFile(std::string_view command, const std::string& path, std::string_view data) {
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return fail(command, path, "cannot write: " + lastError("cannot open"));
    errno = 0;
    const bool written = std::fwrite(data.data(), 1, data.size(), file) == data.size() && std::fflush(file) == 0;
    const std::string why = lastError("write error");
    const bool closed = std::fclose(file) == 0;
    if (written && closed) return true;
    removePartialOutput(path);
    return fail(command, path, "cannot write: " + why);
}

void removePartialOutput(const std::string& path) {
    // Only a file of our own making: the output may be a device such as /dev/full.
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error)) std::filesystem::remove(path, error);
}

bool writeStandardOutput(std::string_view data) {
    return std::fwrite(data.data(), 1, data.size(), stdout) == data.size();
}

}  // namespace tools
