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
inline constexpr int kExitBadInput = 2;
inline constexpr int kExitNoDevice = 3;

}  // namespace tools
