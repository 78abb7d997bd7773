#include "InstructionCount.h"

#include <linux/perf_event.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <valgrind/callgrind.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

namespace chatsieve::bench {

namespace {

// Callgrind writes dump k of process p to callgrind.out.p.k in the folder the
// program started in (the benchmark changes folder to find its packages).
std::string& StartFolder() {
    static std::string folder = [] {
        char path[4096];
        return getcwd(path, sizeof path) ? std::string(path) : std::string(".");
    }();
    return folder;
}
int g_dumps = 0;

// The instructions of dump k: its "summary", the count of what ran between
// the zeroing and the dump. Its "totals" sums the cost lines instead, and
// with callgrind's default --skip-plt=yes those also hold costs of calls
// through the PLT made before the zeroing (the benchmark's own string work
// while it compiles the lists: 16 M on the shared list's creation, which
// counts 147 M). Older callgrinds without the line give their totals.
long long DumpTotal(int dump) {
    std::ifstream in(StartFolder() + "/callgrind.out." + std::to_string(getpid()) + "." + std::to_string(dump));
    std::string line;
    long long totals = -1;
    while (std::getline(in, line)) {
        if (line.rfind("summary:", 0) == 0) return std::stoll(line.substr(8));
        if (line.rfind("totals:", 0) == 0) totals = std::stoll(line.substr(7));
    }
    return totals;
}

}  // namespace

InstructionCount::InstructionCount() {
    StartFolder();
    if (RUNNING_ON_VALGRIND) return;
    perf_event_attr attr;
    std::memset(&attr, 0, sizeof attr);
    attr.size = sizeof attr;
    attr.type = PERF_TYPE_HARDWARE;
    attr.config = PERF_COUNT_HW_INSTRUCTIONS;
    attr.disabled = 1;
    attr.exclude_kernel = 1;
    attr.exclude_hv = 1;
    m_perf = static_cast<int>(syscall(SYS_perf_event_open, &attr, 0, -1, -1, 0));
}

InstructionCount::~InstructionCount() {
    if (m_perf >= 0) close(m_perf);
}

const char* InstructionCount::Source() const {
    if (RUNNING_ON_VALGRIND) return "callgrind";
    return m_perf >= 0 ? "perf" : "none";
}

void InstructionCount::Start() {
    if (RUNNING_ON_VALGRIND) {
        CALLGRIND_ZERO_STATS;
    } else if (m_perf >= 0) {
        ioctl(m_perf, PERF_EVENT_IOC_RESET, 0);
        ioctl(m_perf, PERF_EVENT_IOC_ENABLE, 0);
    }
}

long long InstructionCount::Stop(const std::string& label) {
    if (RUNNING_ON_VALGRIND) {
        CALLGRIND_DUMP_STATS_AT(label.c_str());
        return DumpTotal(++g_dumps);
    }
    if (m_perf < 0) return -1;
    ioctl(m_perf, PERF_EVENT_IOC_DISABLE, 0);
    std::uint64_t count = 0;
    if (read(m_perf, &count, sizeof count) != static_cast<ssize_t>(sizeof count)) return -1;
    return static_cast<long long>(count);
}

}  // namespace chatsieve::bench
