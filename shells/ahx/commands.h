// The sub-commands of the `ahx` tool. Each takes the arguments after its own
// name and answers the process exit code.
#pragma once

#include <span>
#include <string_view>

namespace tools {

using Args = std::span<const std::string_view>;

int runInfo(Args args);
int runTrace(Args args);
int runRender(Args args);
int runPlay(Args args);
int runCompile(Args args);
int runDecompile(Args args);

// Exit codes shared by the sub-commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitBadInput = 2;     // the input cannot be read or is no usable song
inline constexpr int kExitNoDevice = 3;     // no sound device, or it stopped while playing
inline constexpr int kExitCannotWrite = 4;  // an output file or standard output cannot be written
inline constexpr int kExitFailure = 5;      // the tool itself failed (out of memory, an internal error)

}  // namespace tools
