// What the stand-in package libraries record, read by the tests through the
// export FakePackholdState.
#ifndef CHATSIEVE_TESTS_FAKEPACKHOLD_H
#define CHATSIEVE_TESTS_FAKEPACKHOLD_H

#include <string>

struct FakeState {
    int scenario;
    int factoryCalls, version, reserved;
    void* rootAddress;
    int opens, closes, releases;
    std::string lastPath, lastKey;
};

// What the counting stand-in serves.
enum FakeScenario { kComplete, kNoFile, kNoTableSet, kThreeTables, kMissingPinyin, kMissingRow, kThrowsInRowCount };

extern "C" FakeState* FakePackholdState();
using FakePackholdStateFn = decltype(&FakePackholdState);

#endif
