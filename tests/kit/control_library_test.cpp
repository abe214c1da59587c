// Hosts TestPort the way the program hosts its controls: registration, creation by ProgID,
// dual and late-bound calls, events, error info, persistence, class info and unloading.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "controls/kit/control_base.h"
#include "platform/com/com_library.h"
#include "platform/com/error_info.h"
#include "platform/com/ole_interfaces.h"
#include "platform/registry/registry.h"
#include "tests/kit/test_port.h"
#include "tests/support/temp_directory.h"

namespace quenda::testing {
namespace {

constexpr char kLibrary[] = QUENDA_TEST_PORT_LIBRARY;

// Calls one exported entry point of the test library, loaded for just this call.
template <typename Function, typename... Args>
HRESULT CallExport(const char* name, Args... args) {
    void* handle = ::dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return E_FAIL;
    auto function = reinterpret_cast<Function>(::dlsym(handle, name));
    HRESULT hr = function ? function(args...) : E_FAIL;
    ::dlclose(handle);
    return hr;
}

struct ErrorSeen {
    HRESULT hr;
    std::u16string description;
    std::u16string source;
    uint32_t helpContext = 0;
};

ErrorSeen TakeError(HRESULT hr) {
    ErrorSeen seen{hr, u"<none>", u"", 0};
    ComPtr<IErrorInfo> error;
    if (GetErrorInfo(0, error.Out()) == S_OK) {
        Bstr text, source;
        error->GetDescription(text.Out());
        error->GetSource(source.Out());
        error->GetHelpContext(&seen.helpContext);
        seen.description = text.View();
        seen.source = source.View();
    }
    return seen;
}

// An event sink recording every DataIn with the values as it found them.
class Sink final : public IDispatch {
  public:
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID_ITestPortEvents) {
            *object = static_cast<IDispatch*>(this);
            ++refs;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                   UINT*) override {
        if (id != kEventDataIn || params->cArgs != 3) return S_OK;
        const VARIANT* args = params->rgvarg;
        byReference = byReference && (args[0].vt == (VT_BYREF | VT_I2)) &&
                      (args[2].vt == (VT_BYREF | VT_BSTR));
        datagrams.emplace_back(BstrView(*args[2].pbstrVal));
        sources.emplace_back(BstrView(*args[1].pbstrVal));
        ports.push_back(*args[0].piVal);
        if (overwrite) SysReAllocString(args[2].pbstrVal, u"changed by a sink");
        return S_OK;
    }

    ULONG refs = 1;
    bool overwrite = false;
    bool byReference = true;
    std::vector<std::u16string> datagrams;
    std::vector<std::u16string> sources;
    std::vector<int16_t> ports;
};

class ControlLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override { Registry::SetProcessPath(dir_ / "registry"); }
    void TearDown() override {
        CoFreeUnusedLibraries();
        ::unsetenv(kRegistryPathVariable);
    }

    void RegisterLibrary() {
        ASSERT_EQ(CallExport<DllRegisterServerFunction>("DllRegisterServer"), S_OK);
    }

    ComPtr<ITestPort> Create() {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(kTestPortProgId, &clsid), S_OK);
        ComPtr<ITestPort> port;
        EXPECT_EQ(
            CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ITestPort, port.OutVoid()),
            S_OK);
        return port;
    }

    static HRESULT Put(IDispatch* d, DISPID id, VARIANT value, EXCEPINFO* excep = nullptr) {
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{&value, &named, 1, 1};
        HRESULT hr =
            d->Invoke(id, IID_NULL, 0x400, DISPATCH_PROPERTYPUT, &params, nullptr, excep, nullptr);
        VariantClear(&value);
        return hr;
    }
    static HRESULT Get(IDispatch* d, DISPID id, VARIANT* value) {
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        return d->Invoke(id, IID_NULL, 0x400, DISPATCH_PROPERTYGET, &none, value, nullptr, nullptr);
    }

    test::TempDirectory dir_;
};

TEST_F(ControlLibraryTest, CreationFailsCleanlyUntilRegisteredAndWorksAfter) {
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(kTestPortProgId, &clsid), CO_E_CLASSSTRING);
    void* object = nullptr;
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestPort, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
        REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);

    RegisterLibrary();
    ASSERT_EQ(CLSIDFromProgID(kTestPortIndependentProgId, &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_TestPort);
    ComPtr<ITestPort> port = Create();
    ASSERT_TRUE(port);
    int32_t number = 0;
    ASSERT_EQ(port->get_Number(&number), S_OK);
    EXPECT_EQ(number, 7);

    // Every interface a container asks for is there, with one identity.
    const IID wanted[] = {IID_IDispatch,
                          IID_ITestPort,
                          IID_IConnectionPointContainer,
                          IID_IProvideClassInfo,
                          IID_IProvideClassInfo2,
                          IID_ISupportErrorInfo,
                          IID_IObjectSafety,
                          IID_IPersist,
                          IID_IPersistStreamInit,
                          IID_IPersistStorage,
                          IID_IPersistPropertyBag,
                          IID_IOleObject,
                          IID_IOleControl,
                          IID_IOleWindow,
                          IID_IOleInPlaceObject,
                          IID_IOleInPlaceObjectWindowless,
                          IID_IOleInPlaceActiveObject,
                          IID_IViewObject,
                          IID_IViewObject2,
                          IID_IViewObjectEx};
    ComPtr<IUnknown> identity;
    ASSERT_EQ(port->QueryInterface(IID_IUnknown, identity.OutVoid()), S_OK);
    for (const IID& iid : wanted) {
        ComPtr<IUnknown> itf;
        ASSERT_EQ(port->QueryInterface(iid, itf.OutVoid()), S_OK) << GuidToString(iid);
        ComPtr<IUnknown> back;
        ASSERT_EQ(itf->QueryInterface(IID_IUnknown, back.OutVoid()), S_OK);
        EXPECT_EQ(back.Get(), identity.Get()) << GuidToString(iid);
    }
    ComPtr<IUnknown> none;
    EXPECT_EQ(port->QueryInterface(IID_IClassFactory, none.OutVoid()), E_NOINTERFACE);
}

TEST_F(ControlLibraryTest, ClassObjectOnlyForItsOwnClass) {
    void* object = reinterpret_cast<void*>(1);
    CLSID other = CLSID_TestPort;
    other.Data1 ^= 1;
    EXPECT_EQ(CallExport<DllGetClassObjectFunction>("DllGetClassObject", other, IID_IClassFactory,
                                                    &object),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
}

TEST_F(ControlLibraryTest, RegistrationWritesTheClassAndUnregistrationKeepsTheParent) {
    Registry registry;
    ASSERT_EQ(registry.SetString(RegRoot::kClassesRoot,
                                 "CLSID\\{00000000-0000-0000-0000-00000000BEEF}", "", "other"),
              RegStatus::kOk);
    RegisterLibrary();
    RegisterLibrary();  // registering twice is harmless
    std::string cls = "CLSID\\" + GuidToString(CLSID_TestPort);
    auto value = [&](const std::string& key, const std::string& name = "") {
        std::string v;
        return registry.QueryString(RegRoot::kClassesRoot, key, name, &v) == RegStatus::kOk
                   ? v
                   : "<missing>";
    };
    char real[PATH_MAX];
    ASSERT_NE(::realpath(kLibrary, real), nullptr);
    EXPECT_EQ(value(cls + "\\InprocServer32"), real);
    EXPECT_EQ(value(cls + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(value(cls + "\\ProgID"), "QuendaTest.TestPort.1");
    EXPECT_EQ(value(cls + "\\VersionIndependentProgID"), "QuendaTest.TestPort");
    EXPECT_EQ(value(cls + "\\MiscStatus"), "0");
    EXPECT_EQ(value(cls + "\\MiscStatus\\1"), "132497");
    EXPECT_EQ(value(cls + "\\ToolboxBitmap32"), std::string(real) + ", 101");
    EXPECT_EQ(value(cls + "\\TypeLib"), GuidToString(LIBID_TestPortLib));
    EXPECT_EQ(value(cls + "\\Version"), "1.0");
    EXPECT_EQ(value("QuendaTest.TestPort\\CurVer"), "QuendaTest.TestPort.1");
    RegistryTree tree;
    ASSERT_EQ(registry.Read(&tree), RegStatus::kOk);
    for (const char* sub : {"Control", "Insertable", "Programmable", "Windows CE Control",
                            "Implemented Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}",
                            "Implemented Categories\\{7DD95802-9882-11CF-9FA9-00AA006C42C4}"}) {
        EXPECT_NE(tree.Find(RegRoot::kClassesRoot, cls + "\\" + sub), nullptr) << sub;
    }
    EXPECT_NE(tree.Find(RegRoot::kClassesRoot, "QuendaTest.TestPort.1\\Insertable"), nullptr);
    EXPECT_EQ(value("TypeLib\\" + GuidToString(LIBID_TestPortLib) + "\\1.0\\0\\linux"), real);

    ASSERT_EQ(CallExport<DllUnregisterServerFunction>("DllUnregisterServer"), S_OK);
    ASSERT_EQ(registry.Read(&tree), RegStatus::kOk);
    EXPECT_NE(tree.Find(RegRoot::kClassesRoot, "CLSID"), nullptr);
    EXPECT_NE(tree.Find(RegRoot::kClassesRoot, "CLSID\\{00000000-0000-0000-0000-00000000BEEF}"),
              nullptr);
    EXPECT_EQ(tree.Find(RegRoot::kClassesRoot, cls), nullptr);
    EXPECT_EQ(tree.Find(RegRoot::kClassesRoot, "QuendaTest.TestPort.1"), nullptr);
    EXPECT_EQ(tree.Find(RegRoot::kClassesRoot, "QuendaTest.TestPort"), nullptr);
    EXPECT_EQ(tree.Find(RegRoot::kClassesRoot, "TypeLib\\" + GuidToString(LIBID_TestPortLib)),
              nullptr);
    EXPECT_EQ(tree.Find(RegRoot::kClassesRoot, "Interface\\" + GuidToString(IID_ITestPort)),
              nullptr);
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(kTestPortProgId, &clsid), CO_E_CLASSSTRING);
}

TEST_F(ControlLibraryTest, DamagedRegistryStopsRegistrationWithoutTouchingTheFile) {
    const std::string garbage = "QUENDA REGISTRY 1\n[HKEY_CLASSES_ROOT\\A\n";
    test::TempDirectory::WriteText(dir_ / "registry", garbage);
    ErrorSeen seen = TakeError(CallExport<DllRegisterServerFunction>("DllRegisterServer"));
    EXPECT_EQ(seen.hr, REGDB_E_WRITEREGDB);
    EXPECT_NE(seen.description.find(u"damaged"), std::u16string::npos);
    EXPECT_EQ(test::TempDirectory::ReadText(dir_ / "registry"), garbage);
}

TEST_F(ControlLibraryTest, PropertiesThroughTheDualInterfaceAndLateBinding) {
    RegisterLibrary();
    ComPtr<ITestPort> port = Create();
    ASSERT_TRUE(port);
    ASSERT_EQ(port->put_Number(1234), S_OK);
    Variant number;
    ASSERT_EQ(Get(port.Get(), kDispNumber, number.Get()), S_OK);
    EXPECT_EQ(number->vt, VT_I4);
    EXPECT_EQ(number->lVal, 1234);

    LPOLESTR name = const_cast<LPOLESTR>(u"text");
    DISPID id = 0;
    ASSERT_EQ(port->GetIDsOfNames(IID_NULL, &name, 1, 0x400, &id), S_OK);
    ASSERT_EQ(Put(port.Get(), id, MakeVariantBstr(SysAllocString(u"late bound"))), S_OK);
    Bstr text;
    ASSERT_EQ(port->get_Text(text.Out()), S_OK);
    EXPECT_EQ(text.View(), u"late bound");

    ASSERT_EQ(Put(port.Get(), kDispFlag, MakeVariantI4(0)), S_OK);
    int16_t flag = 1;
    ASSERT_EQ(port->get_Flag(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_FALSE);
    Variant flagValue;
    ASSERT_EQ(Get(port.Get(), kDispFlag, flagValue.Get()), S_OK);
    EXPECT_EQ(flagValue->vt, VT_BOOL);

    // Ports keep their low 16 bits.
    ASSERT_EQ(Put(port.Get(), kDispPort, MakeVariantI4(65536 + 80)), S_OK);
    int32_t portNumber = 0;
    port->get_Port(&portNumber);
    EXPECT_EQ(portNumber, 80);
}

TEST_F(ControlLibraryTest, FailedPutsReportNumberAndDescriptionAsTheHostSeesThem) {
    RegisterLibrary();
    ComPtr<ITestPort> port = Create();
    ASSERT_TRUE(port);
    ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(port.As(IID_ISupportErrorInfo, &support), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_ITestPort), S_OK);

    ErrorSeen negative = TakeError(port->put_Number(-5));
    EXPECT_EQ(negative.hr, MakeHresult(0x800A4E89));
    EXPECT_EQ(negative.hr & 0xFFFF, 20105);
    EXPECT_EQ(negative.description, u"TestPort refuses negative numbers.");
    EXPECT_EQ(negative.source, kTestPortProgId);
    EXPECT_EQ(negative.helpContext, kHelpNumber);
    int32_t number = 0;
    port->get_Number(&number);
    EXPECT_EQ(number, 7);

    EXCEPINFO excep{};
    EXPECT_EQ(Put(port.Get(), kDispPort, MakeVariantI4(53), &excep), DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode & 0xFFFF, 25049);
    EXPECT_EQ(BstrView(excep.bstrDescription), u"[10048] Address already in use");
    EXPECT_EQ(excep.dwHelpContext, kHelpPort);
    ClearExcepInfo(&excep);

    struct Case {
        int32_t code;
        uint32_t hr;
        const char16_t* text;
    } cases[] = {
        {301, 0x800A4F4E, u"Interrupted."},
        {200, 0x800A0007, u"Out of memory."},
        {150, 0x800A4EB7, u"[150] (no description available)"},
        {10035, 0x800A61CC, u"[10035] Operation would block"},
        {11001, 0x800A6592, u"[11001] Host not found"},
    };
    for (const Case& c : cases) {
        ErrorSeen seen = TakeError(port->Fail(c.code));
        EXPECT_EQ(seen.hr, MakeHresult(c.hr)) << c.code;
        EXPECT_EQ(seen.description, c.text) << c.code;
        EXPECT_EQ(seen.helpContext, c.code == 200 ? 0u : kHelpFail) << c.code;
    }
    EXPECT_EQ(port->Fail(0), S_OK);
}

TEST_F(ControlLibraryTest, GuardsFollowTheHostsUserMode) {
    RegisterLibrary();
    ComPtr<ITestPort> port = Create();
    ASSERT_TRUE(port);
    ErrorSeen readOnly = TakeError(port->put_Counter(3));
    EXPECT_EQ(readOnly.hr, MakeHresult(0x800A017F));
    EXPECT_EQ(readOnly.description, u"Property is read-only.");
    EXPECT_EQ(readOnly.helpContext, kHelpCounter);

    int32_t secret = 0;
    EXPECT_EQ(port->get_Secret(&secret), S_OK);  // no site: run time
    ComPtr<IOleObject> ole;
    ASSERT_EQ(port.As(IID_IOleObject, &ole), S_OK);
    ComPtr<IOleClientSite> site;
    HostAmbients design;
    design.userMode = false;
    ASSERT_EQ(CreateHostSite(design, site.Out()), S_OK);
    ASSERT_EQ(ole->SetClientSite(site.Get()), S_OK);
    ErrorSeen runtimeOnly = TakeError(port->get_Secret(&secret));
    EXPECT_EQ(runtimeOnly.hr, MakeHresult(0x800A018A));
    EXPECT_EQ(runtimeOnly.description, u"Property is runtime only (no supported in design time).");
    SetHostSiteUserMode(site.Get(), true);
    EXPECT_EQ(port->get_Secret(&secret), S_OK);
    EXPECT_EQ(secret, 99);
    ole->SetClientSite(nullptr);

    uint32_t status = 0;
    ole->GetMiscStatus(DVASPECT_CONTENT, &status);
    EXPECT_EQ(status, 132497u);
    SIZEL extent{};
    ole->GetExtent(DVASPECT_CONTENT, &extent);
    EXPECT_EQ(extent.cx, 741);  // 28 pixels at 96 per inch
    EXPECT_EQ(extent.cy, 741);
}

TEST_F(ControlLibraryTest, EventsReachEverySinkWithArgumentsByReference) {
    RegisterLibrary();
    ComPtr<ITestPort> port = Create();
    ASSERT_TRUE(port);
    ComPtr<IProvideClassInfo2> classInfo;
    ASSERT_EQ(port.As(IID_IProvideClassInfo2, &classInfo), S_OK);
    IID events{};
    ASSERT_EQ(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events), S_OK);
    EXPECT_EQ(events, DIID_ITestPortEvents);

    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(port.As(IID_IConnectionPointContainer, &container), S_OK);
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(events, point.Out()), S_OK);
    ComPtr<IConnectionPoint> wrong;
    EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, wrong.Out()), CONNECT_E_NOCONNECTION);

    Sink first, second;
    first.overwrite = true;
    uint32_t c1 = 0, c2 = 0;
    ASSERT_EQ(point->Advise(&first, &c1), S_OK);
    ASSERT_EQ(point->Advise(&second, &c2), S_OK);
    Bstr datagram(u"\u00FFquery");
    ASSERT_EQ(port->Send(datagram.Get(), static_cast<int16_t>(53000 - 65536)), S_OK);
    ASSERT_EQ(first.datagrams.size(), 1u);
    ASSERT_EQ(second.datagrams.size(), 1u);
    EXPECT_TRUE(first.byReference);
    EXPECT_EQ(first.datagrams[0], u"\u00FFquery");
    EXPECT_EQ(second.datagrams[0], u"changed by a sink");
    EXPECT_EQ(first.sources[0], u"127.0.0.1");
    EXPECT_EQ(second.ports[0], -12536);
    EXPECT_EQ(datagram.View(), u"\u00FFquery");  // the caller's text is not the event's

    // A method found by name and called late-bound raises the event too.
    LPOLESTR name = const_cast<LPOLESTR>(u"SEND");
    DISPID send = 0;
    ASSERT_EQ(port->GetIDsOfNames(IID_NULL, &name, 1, 0x400, &send), S_OK);
    EXPECT_EQ(send, kDispSend);
    VARIANT args[2] = {MakeVariantI4(7), MakeVariantBstr(SysAllocString(u"late"))};
    DISPPARAMS params{args, nullptr, 2, 0};
    ASSERT_EQ(
        port->Invoke(send, IID_NULL, 0x400, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
        S_OK);
    VariantClear(&args[1]);
    EXPECT_EQ(first.datagrams.back(), u"late");
    EXPECT_EQ(second.ports.back(), 7);

    ASSERT_EQ(point->Unadvise(c1), S_OK);
    port->Send(datagram.Get(), 1);
    EXPECT_EQ(first.datagrams.size(), 2u);
    EXPECT_EQ(second.datagrams.size(), 3u);
    point.Reset();
    container.Reset();
    classInfo.Reset();
    port.Reset();  // the control goes and lets its sinks go
    EXPECT_EQ(second.refs, 1u);
    EXPECT_EQ(first.refs, 1u);
}

TEST_F(ControlLibraryTest, ClassInfoDescribesInterfacesFromTheTables) {
    RegisterLibrary();
    ComPtr<ITestPort> port = Create();
    ASSERT_TRUE(port);
    ComPtr<IProvideClassInfo> provide;
    ASSERT_EQ(port.As(IID_IProvideClassInfo, &provide), S_OK);
    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(provide->GetClassInfo(coclass.Out()), S_OK);
    GUID guid{};
    coclass->GetGuid(&guid);
    EXPECT_EQ(guid, CLSID_TestPort);
    UINT count = 0;
    coclass->GetImplTypeCount(&count);
    ASSERT_EQ(count, 2u);
    int32_t flags = 0;
    ComPtr<ITypeInfo> source;
    ASSERT_EQ(coclass->GetImplType(1, &flags, source.Out()), S_OK);
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
    LPOLESTR name = const_cast<LPOLESTR>(u"ReadyToSend");
    DISPID id = 0;
    ASSERT_EQ(source->GetIDsOfNames(&name, 1, &id), S_OK);
    EXPECT_EQ(id, kEventReadyToSend);
    // The type info keeps the library loaded after the control is gone.
    port.Reset();
    provide.Reset();
    coclass.Reset();
    CoFreeUnusedLibraries();
    EXPECT_EQ(CoLoadedLibraryCount(), 1);
    Bstr sourceName;
    source->GetName(sourceName.Out());
    EXPECT_EQ(sourceName.View(), u"_ITestPortEvents");
    source.Reset();
    CoFreeUnusedLibraries();
    EXPECT_EQ(CoLoadedLibraryCount(), 0);
}

class PersistenceTest : public ControlLibraryTest {
  protected:
    void SetUp() override {
        ControlLibraryTest::SetUp();
        RegisterLibrary();
        port_ = Create();
        ASSERT_TRUE(port_);
    }

    // Non-default values in every persisted property.
    void SetValues(ITestPort* port) {
        port->put_Number(4242);
        Bstr text(u"r\u00E9mote");
        port->put_Text(text.Get());
        port->put_Flag(VARIANT_FALSE);
        port->put_Small(-300);
        port->put_Real(2.25);
        VARIANT cy;
        VariantInit(&cy);
        cy.vt = VT_CY;
        cy.cyVal.int64 = 123456;
        port->put_Anything(cy);
    }

    void ExpectValues(ITestPort* port) {
        int32_t number = 0;
        port->get_Number(&number);
        EXPECT_EQ(number, 4242);
        Bstr text;
        port->get_Text(text.Out());
        EXPECT_EQ(text.View(), u"r\u00E9mote");
        int16_t flag = 1, small = 0;
        port->get_Flag(&flag);
        port->get_Small(&small);
        EXPECT_EQ(flag, VARIANT_FALSE);
        EXPECT_EQ(small, -300);
        double real = 0;
        port->get_Real(&real);
        EXPECT_EQ(real, 2.25);
        Variant any;
        port->get_Anything(any.Get());
        EXPECT_EQ(any->vt, VT_CY);
        EXPECT_EQ(any->cyVal.int64, 123456);
    }

    void ExpectDefaults(ITestPort* port) {
        int32_t number = 0;
        port->get_Number(&number);
        EXPECT_EQ(number, 7);
        Bstr text;
        port->get_Text(text.Out());
        EXPECT_EQ(text.View(), u"default");
    }

    std::string SavedStream() {
        ComPtr<IPersistStreamInit> persist;
        EXPECT_EQ(port_.As(IID_IPersistStreamInit, &persist), S_OK);
        ComPtr<IStream> stream;
        CreateMemoryStream(nullptr, 0, stream.Out());
        EXPECT_EQ(persist->Save(stream.Get(), 1), S_OK);
        std::string bytes;
        GetMemoryStreamBytes(stream.Get(), &bytes);
        return bytes;
    }

    HRESULT LoadStream(ITestPort* port, const std::string& bytes) {
        ComPtr<IPersistStreamInit> persist;
        EXPECT_EQ(ComPtr<ITestPort>(port).As(IID_IPersistStreamInit, &persist), S_OK);
        ComPtr<IStream> stream;
        CreateMemoryStream(bytes.data(), bytes.size(), stream.Out());
        return persist->Load(stream.Get());
    }

    ComPtr<ITestPort> port_;
};

TEST_F(PersistenceTest, StreamHasTheDocumentedLayoutAndRoundTrips) {
    std::string defaults = SavedStream();
    std::string expected("\x00\x03\x00\x00", 4);
    expected += std::string("\x03\x00\x07\x00\x00\x00", 6);  // Number 7
    expected += std::string(
        "\x08\x00\x10\x00\x00\x00"
        "d\0e\0f\0a\0u\0l\0t\0\0\0",
        22);                                                                  // Text
    expected += std::string("\x0B\x00\xFF\xFF", 4);                           // Flag True
    expected += std::string("\x02\x00\xFE\xFF", 4);                           // Small -2
    expected += std::string("\x05\x00\x00\x00\x00\x00\x00\x00\xE0\x3F", 10);  // Real 0.5
    expected += std::string("\x08\x00\x02\x00\x00\x00\x00\x00", 8);  // Anything: empty as ""
    EXPECT_EQ(defaults, expected);

    SetValues(port_.Get());
    std::string saved = SavedStream();
    ComPtr<ITestPort> other = Create();
    ASSERT_EQ(LoadStream(other.Get(), saved), S_OK);
    ExpectValues(other.Get());

    ComPtr<IPersistStreamInit> persist;
    ASSERT_EQ(port_.As(IID_IPersistStreamInit, &persist), S_OK);
    uint64_t size = 0;
    ASSERT_EQ(persist->GetSizeMax(&size), S_OK);
    EXPECT_EQ(size, saved.size());
    CLSID clsid{};
    persist->GetClassID(&clsid);
    EXPECT_EQ(clsid, CLSID_TestPort);
}

TEST_F(PersistenceTest, NewerVersionsAndDamagedStreamsAreRefusedAndChangeNothing) {
    SetValues(port_.Get());
    std::string saved = SavedStream();
    ComPtr<ITestPort> other = Create();

    std::string newer = saved;
    newer[0] = '\x01';  // 0x0301
    EXPECT_EQ(LoadStream(other.Get(), newer), E_FAIL);
    ExpectDefaults(other.Get());
    std::string older = saved;
    older[1] = '\x02';  // 0x0200 is still read
    EXPECT_EQ(LoadStream(other.Get(), older), S_OK);

    ComPtr<ITestPort> fresh = Create();
    for (size_t cut = 0; cut < saved.size(); ++cut) {
        EXPECT_EQ(LoadStream(fresh.Get(), saved.substr(0, cut)), E_FAIL) << "cut at " << cut;
    }
    ExpectDefaults(fresh.Get());

    // Garbage: deterministic noise after a valid version word never reads out of bounds.
    uint32_t seed = 12345;
    for (int round = 0; round < 200; ++round) {
        std::string noise("\x00\x03\x00\x00", 4);
        for (int i = 0; i < 64; ++i) {
            seed = seed * 1103515245 + 12345;
            noise.push_back(static_cast<char>(seed >> 16));
        }
        LoadStream(fresh.Get(), noise);
    }
}

TEST_F(PersistenceTest, AFailingPutEndsLoadingWithEFail) {
    SetValues(port_.Get());
    std::string saved = SavedStream();
    saved[6] = '\xFF';  // Number becomes negative, which its put refuses
    saved[7] = '\xFF';
    saved[8] = '\xFF';
    saved[9] = '\xFF';
    ComPtr<ITestPort> other = Create();
    EXPECT_EQ(LoadStream(other.Get(), saved), E_FAIL);
}

TEST_F(PersistenceTest, StorageKeepsTheStreamContents) {
    SetValues(port_.Get());
    ComPtr<IPersistStorage> persist;
    ASSERT_EQ(port_.As(IID_IPersistStorage, &persist), S_OK);
    ComPtr<IStorage> storage;
    CreateMemoryStorage(storage.Out());
    ASSERT_EQ(persist->Save(storage.Get(), 0), S_OK);
    ComPtr<IStream> contents;
    ASSERT_EQ(storage->OpenStream(u"Contents", STGM_READ, contents.Out()), S_OK);
    uint32_t version = 0;
    ASSERT_EQ(ReadU32(contents.Get(), &version), S_OK);
    EXPECT_EQ(version, 0x0300u);

    ComPtr<ITestPort> other = Create();
    ComPtr<IPersistStorage> otherPersist;
    ASSERT_EQ(other.As(IID_IPersistStorage, &otherPersist), S_OK);
    ASSERT_EQ(otherPersist->Load(storage.Get()), S_OK);
    ExpectValues(other.Get());
    ComPtr<IStorage> empty;
    CreateMemoryStorage(empty.Out());
    EXPECT_EQ(otherPersist->Load(empty.Get()), STG_E_FILENOTFOUND);
}

TEST_F(PersistenceTest, PropertyBagByNameWithDefaultsForMissingNames) {
    SetValues(port_.Get());
    ComPtr<IPersistPropertyBag> persist;
    ASSERT_EQ(port_.As(IID_IPersistPropertyBag, &persist), S_OK);
    ComPtr<IPropertyBag> bag;
    CreateMemoryPropertyBag(bag.Out());
    ASSERT_EQ(persist->Save(bag.Get(), 1, 1), S_OK);
    EXPECT_EQ(MemoryPropertyBagCount(bag.Get()), 6);
    Variant number;
    ASSERT_EQ(bag->Read(u"Number", number.Get(), nullptr), S_OK);
    EXPECT_EQ(number->lVal, 4242);

    ComPtr<ITestPort> other = Create();
    ComPtr<IPersistPropertyBag> otherPersist;
    ASSERT_EQ(other.As(IID_IPersistPropertyBag, &otherPersist), S_OK);
    ASSERT_EQ(otherPersist->Load(bag.Get(), nullptr), S_OK);
    ExpectValues(other.Get());

    ComPtr<IPropertyBag> partial;
    CreateMemoryPropertyBag(partial.Out());
    VARIANT small = MakeVariantBstr(SysAllocString(u"12"));
    partial->Write(u"small", &small);
    VariantClear(&small);
    ComPtr<ITestPort> third = Create();
    ComPtr<IPersistPropertyBag> thirdPersist;
    ASSERT_EQ(third.As(IID_IPersistPropertyBag, &thirdPersist), S_OK);
    ASSERT_EQ(thirdPersist->Load(partial.Get(), nullptr), S_OK);
    int16_t value = 0;
    third->get_Small(&value);
    EXPECT_EQ(value, 12);
    ExpectDefaults(third.Get());
}

TEST_F(ControlLibraryTest, LibraryUnloadsOnceNothingIsAlive) {
    RegisterLibrary();
    ComPtr<ITestPort> port = Create();
    ASSERT_TRUE(port);
    EXPECT_EQ(CoLoadedLibraryCount(), 1);
    CoFreeUnusedLibraries();
    EXPECT_EQ(CoLoadedLibraryCount(), 1);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_TestPort, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               factory.OutVoid()),
              S_OK);
    factory->LockServer(1);
    factory.Reset();
    port.Reset();
    CoFreeUnusedLibraries();
    EXPECT_EQ(CoLoadedLibraryCount(), 1);  // still locked
    ASSERT_EQ(CoGetClassObject(CLSID_TestPort, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               factory.OutVoid()),
              S_OK);
    factory->LockServer(0);
    void* object = nullptr;
    EXPECT_EQ(
        factory->CreateInstance(reinterpret_cast<IUnknown*>(factory.Get()), IID_IUnknown, &object),
        CLASS_E_NOAGGREGATION);
    factory.Reset();
    CoFreeUnusedLibraries();
    EXPECT_EQ(CoLoadedLibraryCount(), 0);
    // And it loads again on demand.
    port = Create();
    EXPECT_TRUE(port);
}

TEST_F(ControlLibraryTest, DesignFaceIsPaintedAndClipped) {
    RegisterLibrary();
    ComPtr<ITestPort> port = Create();
    ASSERT_TRUE(port);
    ComPtr<IViewObjectEx> view;
    ASSERT_EQ(port.As(IID_IViewObjectEx, &view), S_OK);
    std::vector<uint32_t> pixels(40 * 30, 0x12345678);
    PixelImage image{pixels.data(), 40, 30, 40};
    RECTL bounds{2, 1, 30, 29};
    ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, &image, &bounds, nullptr,
                         nullptr, 0),
              S_OK);
    auto at = [&](int x, int y) { return pixels[y * 40 + x]; };
    EXPECT_EQ(at(2, 1), kFrameColor);
    EXPECT_EQ(at(29, 28), kFrameColor);
    EXPECT_EQ(at(3, 2), kHighlightColor);
    EXPECT_EQ(at(28, 27), kShadowColor);
    EXPECT_EQ(at(25, 25), kFaceColor);
    EXPECT_EQ(at(2 + 6, 1 + 7), 0xFF0000FFu);      // bitmap (0,0): the blue diagonal
    EXPECT_EQ(at(2 + 6 + 1, 1 + 7), 0xFFFF0000u);  // bitmap (1,0)
    EXPECT_EQ(at(1, 1), 0x12345678u);
    EXPECT_EQ(at(30, 1), 0x12345678u);

    // Bounds reaching past every edge of the image are clipped, not written out of bounds.
    std::vector<uint32_t> small(10 * 10, 0);
    PixelImage tiny{small.data(), 10, 10, 10};
    RECTL wide{-20, -20, 1000, 1000};
    EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, &tiny, &wide, nullptr,
                         nullptr, 0),
              S_OK);
    EXPECT_EQ(small[5 * 10 + 5], kFaceColor);
    EXPECT_EQ(small[0], 0xFFFF0000u);  // bitmap pixel (14, 13)
    EXPECT_EQ(view->Draw(4, -1, nullptr, nullptr, nullptr, &tiny, &wide, nullptr, nullptr, 0),
              DV_E_DVASPECT);
    EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, nullptr, &wide, nullptr,
                         nullptr, 0),
              E_INVALIDARG);
    uint32_t hit = 9;
    view->QueryHitPoint(DVASPECT_CONTENT, &bounds, 5, 5, 0, &hit);
    EXPECT_EQ(hit, 3u);
    view->QueryHitPoint(DVASPECT_CONTENT, &bounds, 0, 0, 0, &hit);
    EXPECT_EQ(hit, 0u);
}

}  // namespace
}  // namespace quenda::testing
