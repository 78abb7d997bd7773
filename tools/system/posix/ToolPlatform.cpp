#include "system/ToolPlatform.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace chatsieve::tools {

namespace {

// One conversion descriptor for the process; the tools are single-threaded.
iconv_t Cp936ToUtf32() {
    static iconv_t cd = iconv_open("UTF-32LE", "CP936");
    return cd;
}

}  // namespace

long Cp936CharToCodePoint(const unsigned char* bytes, int count) {
    iconv_t cd = Cp936ToUtf32();
    if (cd == reinterpret_cast<iconv_t>(-1) || count < 1 || count > 2) return -1;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char in[2] = {static_cast<char>(bytes[0]), count == 2 ? static_cast<char>(bytes[1]) : '\0'};
    unsigned char out[8] = {};
    char* inPtr = in;
    char* outPtr = reinterpret_cast<char*>(out);
    std::size_t inLeft = static_cast<std::size_t>(count);
    std::size_t outLeft = sizeof out;
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0 ||
        sizeof out - outLeft != 4)
        return -1;
    return static_cast<long>(out[0] | out[1] << 8 | out[2] << 16 | static_cast<unsigned long>(out[3]) << 24);
}

std::string ExecutableFolder() {
    char path[PATH_MAX + 1];
    const ssize_t n = readlink("/proc/self/exe", path, PATH_MAX);
    if (n <= 0) return {};
    std::string file(path, static_cast<std::size_t>(n));
    const std::size_t slash = file.rfind('/');
    return slash == std::string::npos ? std::string() : file.substr(0, slash == 0 ? 1 : slash);
}

namespace {

FileKind KindOf(mode_t mode) {
    if (S_ISREG(mode)) return FileKind::kRegular;
    if (S_ISDIR(mode)) return FileKind::kFolder;
    if (S_ISFIFO(mode)) return FileKind::kNamedPipe;
    if (S_ISCHR(mode) || S_ISBLK(mode)) return FileKind::kDevice;
    if (S_ISSOCK(mode)) return FileKind::kSocket;
    return FileKind::kOther;
}

}  // namespace

std::FILE* OpenRegularFile(const std::string& path, FileKind* kind, unsigned long long* size) {
    *kind = FileKind::kMissing;
    *size = 0;
    struct stat info {};
    // O_NONBLOCK: a named pipe opens at once instead of waiting for a writer,
    // and is then refused by what fstat says. O_NOCTTY: a terminal given as
    // a file does not become the program's.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        // Unreadable, or a socket, which cannot be opened at all.
        if (stat(path.c_str(), &info) == 0) *kind = KindOf(info.st_mode);
        return nullptr;
    }
    if (fstat(fd, &info) != 0 || (*kind = KindOf(info.st_mode)) != FileKind::kRegular) {
        close(fd);
        return nullptr;
    }
    *size = static_cast<unsigned long long>(info.st_size);
    std::FILE* stream = fdopen(fd, "rb");
    if (!stream) close(fd);
    return stream;
}

std::string ResolvedPath(const std::string& path) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved) return {};
    std::string text(resolved);
    std::free(resolved);
    return text;
}

void UseBinaryStandardStreams() {}

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

bool SeekTo(std::FILE* stream, long long offset) { return fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0; }

std::string QuoteArgument(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::FILE* StartCommand(const std::string& command) { return popen(command.c_str(), "r"); }

int WaitCommand(std::FILE* stream) {
    const int status = pclose(stream);
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace chatsieve::tools
