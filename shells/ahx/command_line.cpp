#include "shells/ahx/command_line.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>
#include <vector>

namespace tools {

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

CommandLine::CommandLine(std::string_view command, std::string help)
    : command_(command), help_(std::move(help)), app_("", "ahx " + command_) {
    // Help is answered where it stands, before anything after it is read:
    // its own flag, run as it is met, not CLI11's, which waits for the end.
    app_.set_help_flag();
    app_.add_flag_callback("-h,--help", [] { throw CLI::CallForHelp(); })->trigger_on_parse();
}

CLI::Option* CommandLine::value(const std::string& names, std::function<bool(const std::string&)> take,
                                std::string needs) {
    // Each value is taken as it is met, so that mistakes are reported in
    // the order they were made and a repeated option's last value counts.
    CLI::Option* option = app_.add_option_function<std::string>(
        names, [take = std::move(take), needs](const std::string& value) {
            if (!take(value)) throw UsageError(needs);
        });
    option->trigger_on_parse();
    needs_.emplace(option, std::move(needs));
    return option;
}

CLI::Option* CommandLine::text(const std::string& names, std::string& target, std::string needs) {
    return value(
        names,
        [&target](const std::string& text) {
            target = text;
            return !text.empty();
        },
        std::move(needs));
}

CLI::Option* CommandLine::flag(const std::string& name, bool& target) {
    // Not CLI11's flag, which takes "--raw=no" for off and reports
    // "--raw=x" as a failed conversion: a flag is given no value. CLI11
    // hands an option that takes none "true" when it was given none.
    CLI::Option* option =
        app_.add_option_function<std::string>(name, [name, &target](const std::string& value) {
            if (value != "true") throw UsageError("unexpected argument '" + name + "=" + value + "'");
            target = true;
        });
    return option->expected(0)->trigger_on_parse();
}

std::optional<int> CommandLine::parse(Args args) {
    // "-o=FILE" is no form of a short option; taken as it stands, it would
    // write to a file named "=FILE". Help met first still wins.
    for (std::string_view arg : args) {
        if (arg == "--help" || arg == "-h" || arg == "--") break;
        if (arg.size() > 2 && arg[0] == '-' && arg[1] != '-' && arg[2] == '=')
            return usageError("unexpected argument '" + std::string(arg) + "'");
    }
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app_.parse(reversed);
        return std::nullopt;
    } catch (const CLI::CallForHelp&) {
        std::fwrite(help_.data(), 1, help_.size(), stdout);
        return kExitOk;
    } catch (const UsageError& e) {
        return usageError(e.what());
    } catch (const CLI::ExtrasError&) {
        const std::vector<std::string> extras = app_.remaining();
        return usageError("unexpected argument '" + (extras.empty() ? std::string() : extras.front()) + "'");
    } catch (const CLI::ArgumentMismatch&) {
        // An option ran out of arguments, so it is the last one: it was
        // given no value, which its own message says.
        const std::string last(args.empty() ? std::string_view() : args.back());
        const auto needs = needs_.find(app_.get_option_no_throw(last.substr(0, last.find('='))));
        return usageError(needs != needs_.end() ? needs->second : "unexpected argument '" + last + "'");
    } catch (const CLI::ParseError& e) {
        return usageError(e.what());
    }
}

int CommandLine::usageError(std::string_view message) const {
    std::fprintf(stderr, "ahx %s: %.*s\n\n%s", command_.c_str(), int(message.size()), message.data(),
                 help_.c_str());
    return kExitUsage;
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

}  // namespace tools
