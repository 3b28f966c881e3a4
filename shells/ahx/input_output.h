// Reading a command's input file and writing its output file, the same way
// for every command: bounded, every failure reported on one line naming
// the file, and no half-written output left behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

// Far above anything the format can describe; keeps a mistaken argument
// (a disc image, a device) from being read whole.
inline constexpr size_t kMaxSongBytes = size_t(16) << 20;
// A song's text form: room for the largest song file printed in full.
inline constexpr size_t kMaxSourceBytes = size_t(64) << 20;

// Reads all of `path` into `bytes`. On failure (missing, unreadable, a
// directory, more than `maxBytes`, empty) prints
// "ahx COMMAND: PATH: why" and answers false.
bool readInputFile(std::string_view command, const std::string& path, size_t maxBytes,
                   std::vector<uint8_t>& bytes);
// The same, answering why in `why` instead of printing it.
bool readInputFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& bytes, std::string& why);

// The input among `inputs` that writing `output` would replace: the same
// file (device and inode) once links are followed, hard links included.
// Answers its name, or empty when there is none.
std::string inputReplacedBy(const std::string& output, const std::vector<std::string>& inputs);
// The same for standard output redirected into a file (`>> song`).
std::string inputReplacedByStandardOutput(const std::vector<std::string>& inputs);
// Prints "ahx COMMAND: OUTPUT: is the input INPUT itself; nothing written"
// and answers kExitUsage.
int refuseToReplaceInput(std::string_view command, const std::string& output, const std::string& input);

// An output file that appears whole or not at all: written under a hidden
// temporary name beside it and renamed over it once complete, so a failed or
// interrupted run leaves whatever was there before. The temporary file is
// removed on failure, and by Ctrl-C, hang-up or termination too. A link is
// followed and the file it names replaced; a device or a pipe (/dev/null, a
// FIFO) is written directly, having no file to replace.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // On failure answers false with the reason in `why`.
    bool open(const std::string& path, std::string& why);
    // Open for writing until commit() or discard().
    int descriptor() const { return descriptor_; }
    // Closes the file and puts it in place. On failure removes it and
    // answers false with the reason in `why`.
    bool commit(std::string& why);
    // Closes the file and removes what was written.
    void discard();

private:
    std::string target_;
    std::string temporary_;  // empty when written directly
    int descriptor_ = -1;
    int slot_ = -1;
};

// Replaces `path` with `data` as an OutputFile. On failure prints
// "ahx COMMAND: PATH: cannot write: why" and answers false.
bool writeOutputFile(std::string_view command, const std::string& path, std::string_view data);

// Writes `data` to standard output; standard output is checked once more
// when the command ends. Answers false when the write failed.
bool writeStandardOutput(std::string_view data);

}  // namespace tools
