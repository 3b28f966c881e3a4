#include "shells/ahx/command_line.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>

namespace tools {

bool isHelp(std::string_view arg) {
    return arg == "--help" || arg == "-h";
}

bool isOption(std::string_view arg) {
    return arg.size() > 1 && arg[0] == '-';
}

bool endsWithNoCase(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size()) return false;
    text = text.substr(text.size() - suffix.size());
    for (size_t i = 0; i < suffix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

bool matchOption(Args args, size_t& i, std::string_view name, std::string_view& value, bool& missing) {
    std::string_view arg = args[i];
    missing = false;
    value = {};
    if (arg == name) {
        if (i + 1 >= args.size()) {
            missing = true;
            return true;
        }
        value = args[++i];
        return true;
    }
    if (name.starts_with("--") && arg.size() > name.size() && arg.starts_with(name) &&
        arg[name.size()] == '=') {
        value = arg.substr(name.size() + 1);
        missing = value.empty();
        return true;
    }
    return false;
}

std::optional<int> parseInputAndOutput(std::string_view command, std::string_view help, Args args,
                                       std::string_view inputName, std::string& input, std::string& output) {
    for (size_t i = 0; i < args.size(); ++i) {
        std::string_view value;
        bool missing = false;
        if (isHelp(args[i])) {
            std::fwrite(help.data(), 1, help.size(), stdout);
            return kExitOk;
        }
        if (matchOption(args, i, "-o", value, missing)) {
            if (missing) return usageError(command, help, "-o needs a file name");
            output = value;
        } else if (isOption(args[i]) || !input.empty()) {
            return usageError(command, help, "unexpected argument '" + std::string(args[i]) + "'");
        } else {
            input = args[i];
        }
    }
    if (input.empty()) return usageError(command, help, "no " + std::string(inputName) + " given");
    return std::nullopt;
}

std::optional<int64_t> parseInteger(std::string_view text, int64_t min, int64_t max) {
    int64_t v = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (text.empty() || ec != std::errc() || ptr != end || v < min || v > max) return std::nullopt;
    return v;
}

std::optional<double> parseNumber(std::string_view text, double min, double max) {
    // strtod rather than from_chars: the latter's floating-point form is
    // missing from some of the standard libraries this builds with.
    std::string s(text);
    if (s.empty() || s.find_first_not_of("0123456789.+-eE") != std::string::npos) return std::nullopt;
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || !std::isfinite(v) || v < min || v > max) return std::nullopt;
    return v;
}

int runGuarded(std::string_view command, int (*run)(Args), Args args) {
    const int length = int(command.size());
    try {
        return run(args);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "ahx %.*s: out of memory\n", length, command.data());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ahx %.*s: %s\n", length, command.data(), e.what());
    } catch (...) {
        std::fprintf(stderr, "ahx %.*s: failed for an unknown reason\n", length, command.data());
    }
    return kExitFailure;
}

int usageError(std::string_view command, std::string_view help, std::string_view message) {
    std::fprintf(stderr, "ahx %.*s: %.*s\n\n%.*s", int(command.size()), command.data(), int(message.size()),
                 message.data(), int(help.size()), help.data());
    return kExitUsage;
}

}  // namespace tools
