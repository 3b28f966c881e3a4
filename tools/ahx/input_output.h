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

// Replaces `path` with `data`. On failure prints
// "ahx COMMAND: PATH: cannot write: why", removes what was written and
// answers false.
bool writeOutputFile(std::string_view command, const std::string& path, std::string_view data);

// Removes a partly written output file; anything but a regular file stays.
void removePartialOutput(const std::string& path);

// Writes `data` to standard output; standard output is checked once more
// when the command ends. Answers false when the write failed.
bool writeStandardOutput(std::string_view data);

}  // namespace tools
