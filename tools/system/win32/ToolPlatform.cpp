#include "system/ToolPlatform.h"

// GetFinalPathNameByHandleA came with Windows Vista.
#if !defined(_WIN32_WINNT) || _WIN32_WINNT < 0x0600
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

namespace chatsieve::tools {

long Cp936CharToCodePoint(const unsigned char* bytes, int count) {
    if (count < 1 || count > 2) return -1;
    wchar_t wide[4] = {};
    // MB_ERR_INVALID_CHARS: an unassigned code gives 0 instead of a default
    // character, so it is told apart from a real one.
    const int n = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes), count, wide, 4);
    if (n == 1) return static_cast<long>(wide[0]);
    if (n == 2 && wide[0] >= 0xD800 && wide[0] < 0xDC00 && wide[1] >= 0xDC00 && wide[1] < 0xE000)
        return 0x10000L + ((static_cast<long>(wide[0]) - 0xD800) << 10) + (static_cast<long>(wide[1]) - 0xDC00);
    return -1;
}

// In the ANSI code page, like the paths the program gets on its command line.
std::string ExecutableFolder() {
    char path[MAX_PATH + 1];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    std::string file(path, n);
    const std::size_t slash = file.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : file.substr(0, slash);
}

namespace {

// Opens what `path` names, folders included, to ask about it; no access
// beyond that unless `read`.
HANDLE OpenHandle(const std::string& path, bool read) {
    return CreateFileA(path.c_str(), read ? GENERIC_READ : 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

std::FILE* OpenRegularFile(const std::string& path, FileKind* kind, unsigned long long* size) {
    *kind = FileKind::kMissing;
    *size = 0;
    // Opening never waits here; reading a device (CON) or a pipe could, so
    // anything but a file on disk is refused before a byte is read.
    HANDLE handle = OpenHandle(path, true);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) *kind = FileKind::kRegular;
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info = {};
    const DWORD type = GetFileType(handle);
    if (type == FILE_TYPE_CHAR)
        *kind = FileKind::kDevice;
    else if (type == FILE_TYPE_PIPE)
        *kind = FileKind::kNamedPipe;
    else if (type != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info))
        *kind = FileKind::kOther;
    else
        *kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::kFolder : FileKind::kRegular;
    if (*kind != FileKind::kRegular) {
        CloseHandle(handle);
        return nullptr;
    }
    *size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* stream = _fdopen(fd, "rb");
    if (!stream) _close(fd);
    return stream;
}

std::string ResolvedPath(const std::string& path) {
    HANDLE handle = OpenHandle(path, false);
    if (handle == INVALID_HANDLE_VALUE) return {};
    char resolved[4 * MAX_PATH];
    const DWORD n = GetFinalPathNameByHandleA(handle, resolved, sizeof resolved, FILE_NAME_NORMALIZED);
    CloseHandle(handle);
    if (n == 0 || n >= sizeof resolved) return {};
    std::string text(resolved, n);
    // "\\?\C:\rules": the prefix says only that the path is long-form.
    if (text.compare(0, 4, "\\\\?\\") == 0) text.erase(0, 4);
    return text;
}

void UseBinaryStandardStreams() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

bool SeekTo(std::FILE* stream, long long offset) { return _fseeki64(stream, offset, SEEK_SET) == 0; }

// cmd.exe passes the line to the program, whose runtime splits it: quotes
// around each word, backslashes doubled before a quote.
std::string QuoteArgument(const std::string& word) {
    std::string quoted = "\"";
    std::size_t slashes = 0;
    for (char c : word) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        quoted.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
        slashes = 0;
        quoted += c;
    }
    return quoted.append(slashes * 2, '\\') + "\"";
}

// cmd /c strips one pair of quotes around the whole line.
std::FILE* StartCommand(const std::string& command) { return _popen(("\"" + command + "\"").c_str(), "rb"); }

int WaitCommand(std::FILE* stream) { return _pclose(stream); }

}  // namespace chatsieve::tools
