// ahx: render, play, inspect, trace and compile AHX songs.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "shells/ahx/command_line.h"
#include "shells/ahx/commands.h"

namespace {

struct Command {
    std::string_view name;
    int (*run)(tools::Args);
    std::string_view synopsis;
};

constexpr Command kCommands[] = {
    {"info", tools::runInfo, "info SONG                      show the song's header, instruments and length"},
    {"trace", tools::runTrace, "trace SONG --ticks N           print each voice's output after every tick"},
    {"render", tools::runRender,
     "render SONG... -o OUT [...]    render to sound files, a folder or standard output"},
    {"play", tools::runPlay, "play SONG... [...]             play songs through the default sound device"},
    {"compile", tools::runCompile, "compile SRC -o SONG.ahx        compile a song's text form"},
    {"decompile", tools::runDecompile, "decompile SONG.ahx [-o SRC]    write a song's text form"},
};

void printUsage(std::FILE* to) {
    std::fprintf(to, "usage: ahx COMMAND [ARGS]\n\ncommands:\n");
    for (const Command& c : kCommands)
        std::fprintf(to, "  ahx %.*s\n", int(c.synopsis.size()), c.synopsis.data());
    std::fprintf(to,
                 "\nA SONG is an AHX file, its text form (.ahxt, compiled on the fly) or --track N.\n"
                 "'ahx COMMAND --help' describes one command.\n");
}

// A full disk or a closed pipe must not pass for success: everything the
// command printed is flushed and checked here.
int checkStandardOutput(std::string_view command, int code) {
    // After a failed write errno still says why; a flush that fails now says it anew.
    if (std::ferror(stdout) == 0) errno = 0;
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return code;
    const char* why = errno != 0 ? std::strerror(errno) : "write error";
    std::fprintf(stderr, "ahx%s%.*s: standard output: cannot write: %s\n", command.empty() ? "" : " ",
                 int(command.size()), command.data(), why);
    return code == tools::kExitOk ? tools::kExitCannotWrite : code;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        printUsage(args.empty() ? stderr : stdout);
        return checkStandardOutput("", args.empty() ? tools::kExitUsage : tools::kExitOk);
    }
    for (const Command& c : kCommands) {
        if (c.name == args[0])
            return checkStandardOutput(c.name,
                                       tools::runGuarded(c.name, c.run, tools::Args(args).subspan(1)));
    }
    std::fprintf(stderr, "ahx: unknown command '%.*s'\n\n", int(args[0].size()), args[0].data());
    printUsage(stderr);
    return tools::kExitUsage;
}
