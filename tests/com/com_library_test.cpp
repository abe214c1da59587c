// Checks class lookup through the registry and clean failures before anything is registered.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/com/com_library.h"
#include "platform/com/error_info.h"
#include "platform/com/registration.h"
#include "platform/registry/registry.h"
#include "tests/support/temp_directory.h"

namespace quenda {
namespace {

using test::TempDirectory;

constexpr CLSID kClass = {0x12345678, 0x1234, 0x5678, {0x9A, 0xBC, 0xDE, 0xF0, 0x12, 0x34, 0x56, 0x78}};

class ComLibraryTest : public ::testing::Test {
protected:
    void SetUp() override { Registry::SetProcessPath(dir_ / "registry"); }
    void TearDown() override { ::unsetenv(kRegistryPathVariable); }

    std::string LastError() {
        ComPtr<IErrorInfo> error;
        if (GetErrorInfo(0, error.Out()) != S_OK) return "<none>";
        Bstr text;
        error->GetDescription(text.Out());
        return text.Utf8();
    }

    TempDirectory dir_;
};

TEST_F(ComLibraryTest, ProgIdsResolveDirectlyAndThroughCurVer) {
    const char script[] = R"(HKCR {
        Sample.Thing.1 = s 'Thing' { CLSID = s '{12345678-1234-5678-9ABC-DEF012345678}' }
        Sample.Thing = s 'Thing' { CurVer = s 'Sample.Thing.1' }
        Broken.Thing = s 'x' { CLSID = s 'not a guid' }
        NoRemove CLSID { ForceRemove {12345678-1234-5678-9ABC-DEF012345678} = s 'Thing' {
            ProgID = s 'Sample.Thing.1'
            InprocServer32 = s '%MODULE%' } }
    })";
    std::u16string wide(script, script + sizeof script - 1);
    ASSERT_EQ(RunRegistrationScript(wide.c_str(), u"/nonexistent/libthing.so", 1), S_OK);

    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"Sample.Thing.1", &clsid), S_OK);
    EXPECT_EQ(clsid, kClass);
    clsid = GUID_NULL;
    ASSERT_EQ(CLSIDFromProgID(u"sample.thing", &clsid), S_OK);
    EXPECT_EQ(clsid, kClass);
    ASSERT_EQ(CLSIDFromString(u"{12345678-1234-5678-9abc-def012345678}", &clsid), S_OK);
    EXPECT_EQ(CLSIDFromProgID(u"Broken.Thing", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(u"Missing.Thing", &clsid), CO_E_CLASSSTRING);
    EXPECT_NE(LastError().find("Missing.Thing"), std::string::npos);
    Bstr progId;
    ASSERT_EQ(ProgIDFromCLSID(kClass, progId.Out()), S_OK);
    EXPECT_EQ(progId.View(), u"Sample.Thing.1");

    // Registered, but the library is not there: a clean failure naming the file.
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), CO_E_DLLNOTFOUND);
    EXPECT_EQ(object, nullptr);
    EXPECT_NE(LastError().find("/nonexistent/libthing.so"), std::string::npos);
    EXPECT_EQ(CoLoadedLibraryCount(), 0);
}

TEST_F(ComLibraryTest, NothingRegisteredFailsCleanly) {
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(u"UDPPort.UDPPort.1", &clsid), CO_E_CLASSSTRING);
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    Bstr progId;
    EXPECT_EQ(ProgIDFromCLSID(kClass, progId.Out()), REGDB_E_CLASSNOTREG);
}

TEST_F(ComLibraryTest, DamagedRegistryIsReportedNotRewritten) {
    const std::string garbage = "this is not a registry\n";
    TempDirectory::WriteText(dir_ / "registry", garbage);
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(u"Sample.Thing.1", &clsid), REGDB_E_READREGDB);
    EXPECT_NE(LastError().find("damaged"), std::string::npos);
    EXPECT_EQ(RunRegistrationScript(u"HKCR { A = s 'b' }", u"/x.so", 1), REGDB_E_WRITEREGDB);
    EXPECT_NE(LastError().find("damaged"), std::string::npos);
    EXPECT_EQ(TempDirectory::ReadText(dir_ / "registry"), garbage);
    // A broken script is the script's fault, whatever the registry holds.
    EXPECT_EQ(RunRegistrationScript(u"HKCR { A = s }", u"/x.so", 1), E_INVALIDARG);
}

TEST_F(ComLibraryTest, TypeLibraryKeysComeAndGo) {
    static constexpr DispMember members[] = {DispEvent(u"Ping", 1, {})};
    static constexpr DispInterface events = {{0xE1, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}}, u"_IEvents", kDispSource, members, 1};
    static constexpr DispInterface dual = {{0xD1, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}}, u"IThing", kDispDual, members, 0};
    static constexpr CoclassInfo coclass = {kClass, u"Thing", &dual, &events};
    static constexpr TypeLibInfo library = {{0x11B, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}}, u"THINGLib", 1, 0, &coclass};
    ASSERT_EQ(RegisterTypeLib(&library, u"/opt/quenda/libthing.so"), S_OK);
    Bstr path;
    ASSERT_EQ(QueryTypeLibPath(library.libid, 1, 0, path.Out()), S_OK);
    EXPECT_EQ(path.View(), u"/opt/quenda/libthing.so");
    Registry registry;
    std::string value;
    ASSERT_EQ(registry.QueryString(RegRoot::kClassesRoot, "Interface\\" + GuidToString(dual.iid) + "\\TypeLib", "",
                                   &value),
              RegStatus::kOk);
    EXPECT_EQ(value, GuidToString(library.libid));

    ASSERT_EQ(UnRegisterTypeLib(&library), S_OK);
    EXPECT_EQ(QueryTypeLibPath(library.libid, 1, 0, path.Out()), TYPE_E_LIBNOTREGISTERED);
    RegistryTree tree;
    ASSERT_EQ(registry.Read(&tree), RegStatus::kOk);
    EXPECT_EQ(tree.Find(RegRoot::kClassesRoot, "TypeLib\\" + GuidToString(library.libid)), nullptr);
    EXPECT_EQ(tree.Find(RegRoot::kClassesRoot, "Interface\\" + GuidToString(events.iid)), nullptr);
    EXPECT_EQ(UnRegisterTypeLib(&library), S_OK);
}

}  // namespace
}  // namespace quenda
