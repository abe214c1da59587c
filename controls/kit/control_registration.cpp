// The class object, self-registration and unload check every control library exports.
#include <cstdio>

#include "controls/kit/control_class.h"
#include "controls/kit/library_module.h"
#include "platform/com/com_library.h"
#include "platform/com/com_object.h"
#include "platform/com/ole_interfaces.h"
#include "platform/com/registration.h"

namespace quenda {
namespace {

// A quoted script text: quotes doubled, percent signs kept from looking like placeholders.
std::u16string Quote(std::u16string_view text) {
    std::u16string out = u"'";
    for (char16_t c : text) {
        if (c == u'\'')
            out += u"''";
        else if (c == u'%')
            out += u"%%";
        else
            out += c;
    }
    return out + u"'";
}

std::u16string GuidText(const GUID& guid) {
    return Utf16FromUtf8(GuidToString(guid));
}

class ControlClassFactory final : public ComObject<IClassFactory> {
  public:
    explicit ControlClassFactory(const ControlClassInfo& info) : info_(info) {
        LibraryObjectCreated();
    }

    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        return info_.create(iid, object);
    }
    HRESULT LockServer(int32_t lock) override {
        LibraryLock(lock != 0);
        return S_OK;
    }

  private:
    ~ControlClassFactory() override { LibraryObjectDestroyed(); }
    void* FindInterface(REFIID iid) override {
        return (iid == IID_IUnknown || iid == IID_IClassFactory) ? static_cast<IClassFactory*>(this)
                                                                 : nullptr;
    }

    const ControlClassInfo& info_;  // static description of the class
};

}  // namespace

std::u16string BuildRegistryScript(const ControlClassInfo& info) {
    std::u16string clsid = Quote(GuidText(info.Clsid()));
    std::u16string name = Quote(info.displayName);
    std::u16string progId = Quote(info.progId);
    std::u16string vip =
        info.versionIndependentProgId != nullptr ? Quote(info.versionIndependentProgId) : u"";
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "%u", static_cast<unsigned>(info.miscStatus));
    std::u16string misc = Quote(Utf16FromUtf8(numbers));
    std::snprintf(numbers, sizeof numbers, "%u.%u",
                  static_cast<unsigned>(info.typeLib->majorVersion),
                  static_cast<unsigned>(info.typeLib->minorVersion));
    std::u16string version = Quote(Utf16FromUtf8(numbers));

    std::u16string s = u"HKCR\n{\n";
    s += u"    " + progId + u" = s " + name + u"\n    {\n";
    s += u"        CLSID = s " + clsid + u"\n";
    s += u"        'Insertable'\n    }\n";
    if (info.versionIndependentProgId != nullptr) {
        s += u"    " + vip + u" = s " + name + u"\n    {\n";
        s += u"        CLSID = s " + clsid + u"\n";
        s += u"        CurVer = s " + progId + u"\n    }\n";
    }
    s += u"    NoRemove CLSID\n    {\n";
    s += u"        ForceRemove " + clsid + u" = s " + name + u"\n        {\n";
    s += u"            ProgID = s " + progId + u"\n";
    if (info.versionIndependentProgId != nullptr)
        s += u"            VersionIndependentProgID = s " + vip + u"\n";
    s += u"            ForceRemove 'Programmable'\n";
    s += u"            InprocServer32 = s '%MODULE%'\n            {\n";
    s += u"                val ThreadingModel = s 'Apartment'\n            }\n";
    s += u"            ForceRemove 'Control'\n";
    s += u"            ForceRemove 'Insertable'\n";
    s += u"            ForceRemove 'ToolboxBitmap32' = s '%MODULE%, 101'\n";
    s += u"            'MiscStatus' = s '0'\n            {\n";
    s += u"                '1' = s " + misc + u"\n            }\n";
    s += u"            'TypeLib' = s " + Quote(GuidText(info.typeLib->libid)) + u"\n";
    s += u"            'Version' = s " + version + u"\n";
    s += u"            'Windows CE Control'\n";
    s += u"            ForceRemove 'Implemented Categories'\n            {\n";
    s += u"                " + Quote(GuidText(CATID_SafeForScripting)) + u"\n";
    s += u"                " + Quote(GuidText(CATID_SafeForInitializing)) + u"\n            }\n";
    s += u"        }\n    }\n}\n";
    return s;
}

HRESULT ShellGetClassObject(const ControlClassInfo& info, REFCLSID clsid, REFIID iid,
                            void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!(clsid == info.Clsid())) return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new ControlClassFactory(info);
    HRESULT hr = factory->QueryInterface(iid, object);
    factory->Release();
    return hr;
}

HRESULT ShellCanUnloadNow() {
    return LibraryCanUnloadNow();
}

HRESULT ShellRegisterServer(const ControlClassInfo& info) {
    std::u16string path = LibraryModulePath();
    std::u16string script = BuildRegistryScript(info);
    HRESULT hr = RunRegistrationScript(script.c_str(), path.c_str(), 1);
    if (FAILED(hr)) return hr;
    return RegisterTypeLib(info.typeLib, path.c_str());
}

HRESULT ShellUnregisterServer(const ControlClassInfo& info) {
    std::u16string path = LibraryModulePath();
    std::u16string script = BuildRegistryScript(info);
    HRESULT keys = RunRegistrationScript(script.c_str(), path.c_str(), 0);
    HRESULT typeLib = UnRegisterTypeLib(info.typeLib);
    return FAILED(keys) ? keys : typeLib;
}

}  // namespace quenda
