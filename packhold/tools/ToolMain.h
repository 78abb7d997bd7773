// What packhold-pack and packhold-dump share as command-line programs: their
// exit statuses and how they report wrong usage.
#ifndef PACKHOLD_TOOLS_TOOLMAIN_H
#define PACKHOLD_TOOLS_TOOLMAIN_H

#include <cstdio>
#include <string>

namespace packhold::tools {

constexpr int kExitOk = 0;
constexpr int kExitInput = 1;
constexpr int kExitUsage = 2;

// Prints "TOOL: TEXT" and a pointer to --help; returns kExitUsage.
inline int UsageError(const char* tool, const std::string& text) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", tool, text.c_str(), tool);
    return kExitUsage;
}

}  // namespace packhold::tools

#endif
