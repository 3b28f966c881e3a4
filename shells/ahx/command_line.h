// Small pieces shared by the sub-commands' argument parsing: options with
// values, numbers with ranges, and usage errors reported the same way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "shells/ahx/commands.h"

namespace tools {

// True for "--help" and "-h".
bool isHelp(std::string_view arg);

// An argument that starts with '-' and is more than "-" itself.
bool isOption(std::string_view arg);

// `text` ends with the lower-case `suffix`, in either case.
bool endsWithNoCase(std::string_view text, std::string_view suffix);

// Matches args[i] against the option `name` (e.g. "--ticks", or "-o") in the
// forms "NAME VALUE" and, for long names, "NAME=VALUE". On a match, `value`
// receives the value (or stays empty and `missing` is set when there is
// none) and i moves onto the last argument taken.
bool matchOption(Args args, size_t& i, std::string_view name, std::string_view& value, bool& missing);

// Whole-text decimal numbers within [min, max]; anything else is nullopt.
std::optional<int64_t> parseInteger(std::string_view text, int64_t min, int64_t max);
std::optional<double> parseNumber(std::string_view text, double min, double max);

// The arguments of a command that takes one input file and `-o OUTPUT`:
// answers nullopt when they were read, else the exit code to leave with
// (help printed, or a usage error reported). `inputName` names the input
// in the message when it is missing.
std::optional<int> parseInputAndOutput(std::string_view command, std::string_view help, Args args,
                                       std::string_view inputName, std::string& input, std::string& output);

// Runs a command and answers its exit code. An exception that escapes it
// (out of memory, or a fault of the tool) is reported as one line,
// "ahx COMMAND: why", and answered with kExitFailure instead of an abort.
int runGuarded(std::string_view command, int (*run)(Args), Args args);

// Prints "ahx COMMAND: MESSAGE" and the command's help to stderr; answers kExitUsage.
int usageError(std::string_view command, std::string_view help, std::string_view message);

}  // namespace tools
