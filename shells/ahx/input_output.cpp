#include "shells/ahx/input_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "shells/ahx/commands.h"

namespace tools {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

bool fail(std::string_view command, const std::string& path, const std::string& why) {
    std::fprintf(stderr, "ahx %.*s: %s: %s\n", int(command.size()), command.data(), path.c_str(),
                 why.c_str());
    return false;
}

std::string lastError(const char* otherwise) {
    return errno != 0 ? std::strerror(errno) : otherwise;
}

std::string inputMatching(const struct stat& output, const std::vector<std::string>& inputs) {
    // Writing a device or a pipe destroys no file.
    if (!S_ISREG(output.st_mode)) return {};
    for (const std::string& input : inputs) {
        struct stat file {};
        if (!input.empty() && stat(input.c_str(), &file) == 0 && file.st_dev == output.st_dev &&
            file.st_ino == output.st_ino) {
            return input;
        }
    }
    return {};
}

// The temporary files being written, for a signal handler to remove: fixed
// storage, as a handler may neither allocate nor lock. A render writes at
// most four at once (its stems).
constexpr int kTemporarySlots = 8;
char temporaryNames[kTemporarySlots][PATH_MAX];
volatile std::sig_atomic_t temporaryInUse[kTemporarySlots];

void removeTemporariesAndEnd(int signal) {
    for (int i = 0; i < kTemporarySlots; ++i) {
        if (temporaryInUse[i] != 0) unlink(temporaryNames[i]);
    }
    // The handler was reset on entry: the process ends as the signal would
    // have ended it, and whoever waits for it sees that.
    raise(signal);
}

void removeTemporariesOnSignals() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    // Past a file size limit (ulimit -f) a write then fails and is reported
    // like a full disk, instead of the process dying halfway.
    struct sigaction sizeLimit {};
    sigaction(SIGXFSZ, nullptr, &sizeLimit);
    if (sizeLimit.sa_handler == SIG_DFL) std::signal(SIGXFSZ, SIG_IGN);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction previous {};
        sigaction(signal, nullptr, &previous);
        // A signal ignored on purpose (nohup) stays ignored.
        if (previous.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = removeTemporariesAndEnd;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
}

int holdTemporary(const std::string& name) {
    if (name.size() >= PATH_MAX) return -1;
    removeTemporariesOnSignals();
    for (int i = 0; i < kTemporarySlots; ++i) {
        if (temporaryInUse[i] != 0) continue;
        std::memcpy(temporaryNames[i], name.c_str(), name.size() + 1);
        temporaryInUse[i] = 1;
        return i;
    }
    return -1;
}

void releaseTemporary(int slot) {
    if (slot >= 0) temporaryInUse[slot] = 0;
}

// The file a chain of links ends at, as a name to write through.
bool followLinks(std::string& path, std::string& why) {
    for (int hops = 0;; ++hops) {
        struct stat link {};
        if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return true;
        std::error_code error;
        const std::filesystem::path next = std::filesystem::read_symlink(path, error);
        if (error || hops == 40) {
            why = error ? error.message() : std::strerror(ELOOP);
            return false;
        }
        path =
            next.is_absolute() ? next.string() : (std::filesystem::path(path).parent_path() / next).string();
    }
}

mode_t newFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

}  // namespace

bool readInputFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& bytes, std::string& why) {
    bytes.clear();
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        why = lastError("cannot open");
        return false;
    }
    uint8_t chunk[65536];
    for (;;) {
        errno = 0;
        const size_t n = std::fread(chunk, 1, sizeof chunk, file.get());
        if (n > maxBytes - bytes.size()) {
            why = "too large (more than " + std::to_string(maxBytes >> 20) + " MiB)";
            return false;
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
        if (n < sizeof chunk) break;
    }
    if (std::ferror(file.get())) {
        why = lastError("read error");
        return false;
    }
    if (bytes.empty()) {
        why = "empty file";
        return false;
    }
    return true;
}

bool readInputFile(std::string_view command, const std::string& path, size_t maxBytes,
                   std::vector<uint8_t>& bytes) {
    std::string why;
    return readInputFile(path, maxBytes, bytes, why) || fail(command, path, why);
}

std::string inputReplacedBy(const std::string& output, const std::vector<std::string>& inputs) {
    struct stat file {};
    if (stat(output.c_str(), &file) != 0) return {};
    return inputMatching(file, inputs);
}

std::string inputReplacedByStandardOutput(const std::vector<std::string>& inputs) {
    struct stat file {};
    if (fstat(STDOUT_FILENO, &file) != 0) return {};
    return inputMatching(file, inputs);
}

int refuseToReplaceInput(std::string_view command, const std::string& output, const std::string& input) {
    std::fprintf(stderr, "ahx %.*s: %s: is the input %s itself; nothing written\n", int(command.size()),
                 command.data(), output.c_str(), input.c_str());
    return kExitUsage;
}

OutputFile::~OutputFile() {
    discard();
}

bool OutputFile::open(const std::string& path, std::string& why) {
    discard();
    std::string target = path;
    if (!followLinks(target, why)) return false;
    const std::filesystem::path where(target);
    struct stat existing {};
    const bool exists = stat(target.c_str(), &existing) == 0;
    if (where.filename().empty() || (exists && S_ISDIR(existing.st_mode))) {
        why = std::strerror(EISDIR);
        return false;
    }
    if (exists && !S_ISREG(existing.st_mode)) {
        descriptor_ = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (descriptor_ < 0) {
            why = std::strerror(errno);
            return false;
        }
        target_ = target;
        return true;
    }
    // A file that could not be written in place is not replaced either.
    if (exists && access(target.c_str(), W_OK) != 0) {
        why = std::strerror(errno);
        return false;
    }
    // Kept short of the longest file name, whatever the output is called.
    std::string name = "." + where.filename().string().substr(0, 200) + ".XXXXXX";
    std::string temporary = (where.parent_path() / name).string();
    descriptor_ = mkostemp(temporary.data(), O_CLOEXEC);
    if (descriptor_ < 0) {
        why = std::strerror(errno);
        return false;
    }
    temporary_ = temporary;
    target_ = target;
    slot_ = holdTemporary(temporary_);
    // The file keeps the mode of the one it replaces; a new one gets what
    // the umask gives, not the temporary file's owner-only mode.
    if (fchmod(descriptor_, exists ? existing.st_mode & 07777 : newFileMode()) != 0) {
        why = std::strerror(errno);
        discard();
        return false;
    }
    return true;
}

bool OutputFile::commit(std::string& why) {
    if (descriptor_ < 0) {
        why = "not open";
        return false;
    }
    const int descriptor = descriptor_;
    descriptor_ = -1;
    if (::close(descriptor) != 0 ||
        (!temporary_.empty() && std::rename(temporary_.c_str(), target_.c_str()) != 0)) {
        why = std::strerror(errno);
        discard();
        return false;
    }
    releaseTemporary(slot_);
    slot_ = -1;
    temporary_.clear();
    return true;
}

void OutputFile::discard() {
    if (descriptor_ >= 0) ::close(descriptor_);
    descriptor_ = -1;
    if (!temporary_.empty()) unlink(temporary_.c_str());
    releaseTemporary(slot_);
    slot_ = -1;
    temporary_.clear();
}

bool writeOutputFile(std::string_view command, const std::string& path, std::string_view data) {
    OutputFile file;
    std::string why;
    if (!file.open(path, why)) return fail(command, path, "cannot write: " + why);
    while (!data.empty()) {
        const ssize_t n = ::write(file.descriptor(), data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            why = n < 0 ? std::strerror(errno) : "write error";
            file.discard();
            return fail(command, path, "cannot write: " + why);
        }
        data.remove_prefix(size_t(n));
    }
    if (!file.commit(why)) return fail(command, path, "cannot write: " + why);
    return true;
}

bool writeStandardOutput(std::string_view data) {
    return std::fwrite(data.data(), 1, data.size(), stdout) == data.size();
}

}  // namespace tools
