// What the command-line tools need from the system and that differs between
// POSIX and Windows, behind one seam: the code page 936 character table (iconv
// on POSIX, MultiByteToWideChar on Windows), the folder of the running
// program, and opening rule files without waiting on them. Each platform
// folder implements it once; everything else in the tools is portable.
#ifndef CHATSIEVE_TOOLS_SYSTEM_TOOLPLATFORM_H
#define CHATSIEVE_TOOLS_SYSTEM_TOOLPLATFORM_H

#include <cstdio>
#include <string>

namespace chatsieve::tools {

// The Unicode code point of the code page 936 character held in `bytes`
// (`count` is 1 or 2), or -1 when the code page assigns no character to those
// bytes. Slow: callers build their tables from it once.
long Cp936CharToCodePoint(const unsigned char* bytes, int count);

// The folder that holds the running program (in the encoding command-line
// paths have), without a trailing separator;
// empty when the system cannot tell.
std::string ExecutableFolder();

// Puts standard input and output into binary mode where the system has a
// text mode, so that bytes of code page 936 and line ends pass unchanged.
void UseBinaryStandardStreams();

// Whether `stream` is a terminal (progress bars go only there).
bool IsTerminal(std::FILE* stream);

// What a path names, links followed.
enum class FileKind { kMissing, kRegular, kFolder, kNamedPipe, kDevice, kSocket, kOther };

// Opens `path` for reading in binary mode without ever waiting on it (an
// ordinary open of a named pipe waits for a writer) and sets `*kind`. Returns
// the stream only for a regular file, with `*size` its byte count; null for
// anything else, and for a regular file that cannot be opened.
std::FILE* OpenRegularFile(const std::string& path, FileKind* kind, unsigned long long* size);

// `path` made absolute with every link resolved, as the system spells it;
// empty when it names nothing (a link that leads nowhere included).
std::string ResolvedPath(const std::string& path);

// Moves `stream` to byte `offset` from its start, beyond 2 GiB too.
bool SeekTo(std::FILE* stream, long long offset);

// `word` quoted for the system's command interpreter.
std::string QuoteArgument(const std::string& word);

// Runs `command` (words quoted with QuoteArgument) and reads its standard
// output through the stream returned (null when it cannot start). Its
// standard error is the caller's. WaitCommand closes the stream and returns
// the command's exit status, -1 when it did not exit normally.
std::FILE* StartCommand(const std::string& command);
int WaitCommand(std::FILE* stream);

}  // namespace chatsieve::tools

#endif
