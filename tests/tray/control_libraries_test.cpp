// What every control library shares, checked on all three: exactly the four exported entry
// points, registration by regsvr and its undoing, and a class object only for its own class.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <set>
#include <string>

#include "controls/icmpport/icmpport_interface.h"
#include "controls/tray/pindletray_interface.h"
#include "controls/udpport/udpport_interface.h"
#include "platform/com/com_library.h"
#include "platform/registry/registry.h"
#include "tests/support/temp_directory.h"

namespace quenda::test {
namespace {

struct Tarnel {
    static constexpr const char* kLibrary = QUENDA_TARNEL_LIBRARY;
    static constexpr const char* kProgIdKey = "UDPPort.UDPPort.1\\CLSID";
    static constexpr const CLSID& kClsid = CLSID_UDPPort;
};
struct Pellin {
    static constexpr const char* kLibrary = QUENDA_PELLIN_LIBRARY;
    static constexpr const char* kProgIdKey = "ICMPPort.ICMPPort.1\\CLSID";
    static constexpr const CLSID& kClsid = CLSID_ICMPPort;
};
struct PindleTray2 {
    static constexpr const char* kLibrary = QUENDA_PINDLETRAY_LIBRARY;
    static constexpr const char* kProgIdKey = "PindleTrayIcon.PindleTray\\CLSID";
    static constexpr const CLSID& kClsid = CLSID_PindleTray;
};

// Standard output and error of a command, and its exit status.
int Run(const std::string& command, std::string* output) {
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return -1;
    char buffer[512];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output->append(buffer, n);
    int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

template <class Library>
class ControlLibraryTest : public ::testing::Test {};

using Libraries = ::testing::Types<Tarnel, Pellin, PindleTray2>;
TYPED_TEST_SUITE(ControlLibraryTest, Libraries);

TYPED_TEST(ControlLibraryTest, ExportsExactlyTheFourEntryPoints) {
    std::string symbols;
    ASSERT_EQ(Run(std::string("nm -D --defined-only ") + TypeParam::kLibrary, &symbols), 0)
        << symbols;
    std::set<std::string> exported;
    size_t start = 0;
    while (start < symbols.size()) {
        size_t end = symbols.find('\n', start);
        if (end == std::string::npos) end = symbols.size();
        std::string line = symbols.substr(start, end - start);
        start = end + 1;
        // "address kind name"; the linker's section markers are no entry points.
        size_t kind = line.find(' ');
        if (kind == std::string::npos || kind + 3 >= line.size()) continue;
        std::string name = line.substr(kind + 3);
        if (name != "__bss_start" && name != "_edata" && name != "_end") exported.insert(name);
    }
    EXPECT_EQ(exported, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject",
                                               "DllRegisterServer", "DllUnregisterServer"}));

    void* handle = ::dlopen(TypeParam::kLibrary, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << ::dlerror();
    auto getClassObject = reinterpret_cast<HRESULT (*)(REFCLSID, REFIID, void**)>(
        ::dlsym(handle, "DllGetClassObject"));
    ASSERT_NE(getClassObject, nullptr);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject(IID_IUnknown, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    ASSERT_EQ(getClassObject(TypeParam::kClsid, IID_IClassFactory, &object), S_OK);
    static_cast<IUnknown*>(object)->Release();
    ::dlclose(handle);
}

TYPED_TEST(ControlLibraryTest, RegsvrRegistersAndUnregisters) {
    TempDirectory dir;
    std::string registry = (dir / "registry").string();
    std::string output;
    ASSERT_EQ(
        Run(std::string(QUENDA_REGSVR) + " --registry " + registry + " " + TypeParam::kLibrary,
            &output),
        0)
        << output;
    std::string clsid;
    ASSERT_EQ(
        Registry(registry).QueryString(RegRoot::kClassesRoot, TypeParam::kProgIdKey, "", &clsid),
        RegStatus::kOk);
    std::string server;
    EXPECT_EQ(Registry(registry).QueryString(RegRoot::kClassesRoot,
                                             "CLSID\\" + clsid + "\\InprocServer32", "", &server),
              RegStatus::kOk);
    EXPECT_EQ(server, TypeParam::kLibrary);

    output.clear();
    ASSERT_EQ(
        Run(std::string(QUENDA_REGSVR) + " -u --registry " + registry + " " + TypeParam::kLibrary,
            &output),
        0)
        << output;
    EXPECT_EQ(
        Registry(registry).QueryString(RegRoot::kClassesRoot, TypeParam::kProgIdKey, "", &clsid),
        RegStatus::kNotFound);
    EXPECT_EQ(Registry(registry).QueryString(RegRoot::kClassesRoot, "CLSID\\" + clsid, "", &server),
              RegStatus::kNotFound);
}

}  // namespace
}  // namespace quenda::test
