// Instructions spent between Start and Stop, counted the repeatable way: under
// callgrind (`valgrind --tool=callgrind`) from its own counters, which it dumps
// to a file the counter reads back; elsewhere from the processor's counter
// where the kernel lets a process read it (perf_event_open). Times on shared
// machines vary from run to run; these counts do not.
//
// Create after the work that should not be counted has been set up; one
// counter at a time.
#ifndef CHATSIEVE_BENCH_INSTRUCTIONCOUNT_H
#define CHATSIEVE_BENCH_INSTRUCTIONCOUNT_H

#include <string>

namespace chatsieve::bench {

class InstructionCount {
public:
    InstructionCount();
    ~InstructionCount();
    InstructionCount(const InstructionCount&) = delete;
    InstructionCount& operator=(const InstructionCount&) = delete;

    // "callgrind", "perf", or "none" when nothing can count.
    const char* Source() const;
    void Start();
    // The instructions since Start, or -1 when they cannot be counted;
    // `label` names the callgrind dump.
    long long Stop(const std::string& label);

private:
    int m_perf = -1;
};

}  // namespace chatsieve::bench

#endif
