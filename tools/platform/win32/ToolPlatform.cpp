#include "platform/ToolPlatform.h"

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
