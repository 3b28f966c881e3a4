// The sub-commands' arguments, read by CLI11 but answered in the tool's own
// words: every mistake is one line, "ahx COMMAND: what is wrong", followed by
// the command's help, and exit code 1; --help prints that help alone.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "shells/ahx/commands.h"

namespace tools {

// `text` ends with the lower-case `suffix`, in either case.
bool endsWithNoCase(std::string_view text, std::string_view suffix);

// Whole-text decimal numbers within [min, max]; anything else is nullopt.
// Ours rather than CLI11's conversions, which also take hex, octal and
// "inf", none of which a tick count or a length in seconds should be.
std::optional<int64_t> parseInteger(std::string_view text, int64_t min, int64_t max);
std::optional<double> parseNumber(std::string_view text, double min, double max);

// Thrown while the arguments are read to end with this usage error.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class CommandLine {
public:
    // `help` is printed whole for --help and after every usage error.
    CommandLine(std::string_view command, std::string help);
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    // An option that takes a value, as "NAME VALUE" or "--NAME=VALUE".
    // `take` answers false for a value that is no fit; that, and no value
    // at all, is the usage error `needs`. Given twice, the last one counts.
    CLI::Option* value(const std::string& names, std::function<bool(const std::string&)> take,
                       std::string needs);
    // A number within [min, max]; a whole one for an integer `target`.
    template <class Number>
    CLI::Option* number(const std::string& names, Number& target, std::type_identity_t<Number> min,
                        std::type_identity_t<Number> max, std::string needs) {
        auto take = [&target, min, max](const std::string& text) {
            std::optional<Number> n;
            if constexpr (std::is_integral_v<Number>)
                n = parseInteger(text, min, max);
            else
                n = parseNumber(text, min, max);
            if (n) target = *n;
            return n.has_value();
        };
        return value(names, take, std::move(needs));
    }
    // A value that must not be empty.
    CLI::Option* text(const std::string& names, std::string& target, std::string needs);
    // An option that takes no value, "--NAME".
    CLI::Option* flag(const std::string& name, bool& target);
    CLI::App& app() { return app_; }

    // Reads `args`: nullopt when they were read, else the exit code to
    // leave with, the help printed or the usage error reported.
    std::optional<int> parse(Args args);

    // Prints "ahx COMMAND: MESSAGE" and the help to stderr; answers kExitUsage.
    int usageError(std::string_view message) const;

private:
    std::string command_;
    std::string help_;
    CLI::App app_;
    std::map<const CLI::Option*, std::string> needs_;
};

// Runs a command and answers its exit code. An exception that escapes it
// (out of memory, or a fault of the tool) is reported as one line,
// "ahx COMMAND: why", and answered with kExitFailure instead of an abort.
int runGuarded(std::string_view command, int (*run)(Args), Args args);

}  // namespace tools
