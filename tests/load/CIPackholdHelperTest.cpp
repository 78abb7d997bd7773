#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "fakes/FakePackhold.h"
#include "load/CIPackholdHelper.h"

namespace chatsieve {
namespace {

// Keeps a stand-in library loaded for the test's life so its counters can be
// read; the helper's own load and unload then only change the reference count.
class Fake {
public:
    explicit Fake(const char* file) : m_handle(dlopen((BinFolder() + file).c_str(), RTLD_NOW)) {
        EXPECT_NE(nullptr, m_handle) << dlerror();
    }
    ~Fake() {
        if (m_handle) dlclose(m_handle);
    }
    FakeState* State() { return reinterpret_cast<FakePackholdStateFn>(dlsym(m_handle, "FakePackholdState"))(); }
    static std::string BinFolder() {
        Dl_info info;
        dladdr(reinterpret_cast<void*>(&BinFolder), &info);
        std::string path = info.dli_fname;
        return path.substr(0, path.rfind('/') + 1);
    }
    static bool IsLoaded(const char* file) {
        void* handle = dlopen((BinFolder() + file).c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (handle) dlclose(handle);
        return handle != nullptr;
    }

private:
    void* m_handle;
};

std::string CreateAndCaptureDebugOutput(CIPackholdHelper& helper, IPackhold** root) {
    testing::internal::CaptureStderr();
    *root = helper.Create(0);
    return testing::internal::GetCapturedStderr();
}

TEST(CIPackholdHelper, MissingLibraryIsReportedAndLeavesNothingHeld) {
    CIPackholdHelper helper("NoSuchPackhold.dll");
    IPackhold* root = nullptr;
    EXPECT_EQ("Can not load Packhold.dll\r\n", CreateAndCaptureDebugOutput(helper, &root));
    EXPECT_EQ(nullptr, root);
    EXPECT_EQ(nullptr, helper.Module());
}

TEST(CIPackholdHelper, LibraryWithoutTheExportStaysLoadedUntilRelease) {
    CIPackholdHelper helper("FakeNoExport.dll");
    IPackhold* root = nullptr;
    EXPECT_EQ("Can not GetProcAddress('CreatePackhold')\r\n", CreateAndCaptureDebugOutput(helper, &root));
    EXPECT_EQ(nullptr, root);
    EXPECT_NE(nullptr, helper.Module());
    EXPECT_TRUE(Fake::IsLoaded("libFakeNoExport.so"));
    helper.Release();
    EXPECT_FALSE(Fake::IsLoaded("libFakeNoExport.so"));
    helper.Release();  // a second time does nothing
}

TEST(CIPackholdHelper, FactoryFailuresAndThrows) {
    struct Case {
        const char* library;
        const char* output;
    };
    for (Case c : {Case{"FakeFactoryFails.dll", "CreatePackhold() error\r\n"}, Case{"FakeNoRoot.dll", ""},
                   Case{"FakeThrowsText.dll", "Packhold: licence expired\r\n"},
                   Case{"FakeThrowsOther.dll", "CIPackholdHelper::Create() : catch error\r\n"}}) {
        CIPackholdHelper helper(c.library);
        IPackhold* root = reinterpret_cast<IPackhold*>(1);
        EXPECT_EQ(c.output, CreateAndCaptureDebugOutput(helper, &root)) << c.library;
        EXPECT_EQ(nullptr, root) << c.library;
    }
}

TEST(CIPackholdHelper, FactoryArgumentsAndOneReleaseBeforeUnloading) {
    Fake fake("libFakeCounting.so");
    FakeState* state = fake.State();
    *state = FakeState{};
    {
        CIPackholdHelper helper("FakeCounting.dll");
        ASSERT_NE(nullptr, helper.Create(0));
        EXPECT_EQ(5, state->version);
        EXPECT_EQ(0, state->reserved);
        EXPECT_EQ(static_cast<void*>(&helper), state->rootAddress);  // its root-object field
        // A second Create gives the first root object back before loading again.
        ASSERT_NE(nullptr, helper.Create(0));
        EXPECT_EQ(1, state->releases);
        EXPECT_EQ(2, state->factoryCalls);
        helper.Release();
        EXPECT_EQ(2, state->releases);
        helper.Release();
    }
    EXPECT_EQ(2, state->releases);
}

}  // namespace
}  // namespace chatsieve
