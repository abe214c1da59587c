// Self-registration services for component libraries: registry scripts and type libraries.
#include "platform/com/registration.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/com/error_info.h"
#include "platform/registry/registry.h"
#include "platform/registry/registry_script.h"

namespace quenda {
namespace {

// Interfaces of type libraries are marshalled by the automation marshaller.
constexpr char kAutomationProxy[] = "{00020424-0000-0000-C000-000000000046}";

HRESULT Fail(HRESULT hr, const std::string& why) {
    std::u16string text = Utf16FromUtf8(why);
    PublishErrorInfo(GUID_NULL, u"quenda.registration", text.c_str(), nullptr, 0);
    return hr;
}

std::string VersionText(uint16_t major, uint16_t minor) {
    char text[16];
    std::snprintf(text, sizeof text, "%x.%x", major, minor);
    return text;
}

std::string Utf8(const char16_t* text) { return text ? Utf8FromUtf16(std::u16string_view(text)) : std::string(); }

HRESULT Update(const std::function<bool(RegistryTree&)>& change) {
    std::string error;
    RegStatus status = Registry().Update(change, &error);
    if (status != RegStatus::kOk) return Fail(REGDB_E_WRITEREGDB, error);
    return S_OK;
}

std::vector<const DispInterface*> InterfacesOf(const TypeLibInfo& library) {
    std::vector<const DispInterface*> list;
    if (library.coclass == nullptr) return list;
    if (library.coclass->defaultInterface) list.push_back(library.coclass->defaultInterface);
    if (library.coclass->eventInterface) list.push_back(library.coclass->eventInterface);
    return list;
}

}  // namespace

HRESULT RunRegistrationScript(LPCOLESTR script, LPCOLESTR modulePath, int32_t registering) {
    if (script == nullptr || modulePath == nullptr) return E_INVALIDARG;
    std::string text = Utf8(script);
    std::vector<ScriptReplacement> replacements = {{"MODULE", Utf8(modulePath)}};
    ScriptMode mode = registering ? ScriptMode::kRegister : ScriptMode::kUnregister;
    // Parse once against a scratch tree first: a broken script must not count as a registry failure.
    RegistryTree scratch;
    std::string error;
    if (!RunRegistryScript(text, replacements, mode, &scratch, &error)) return Fail(E_INVALIDARG, error);
    return Update([&](RegistryTree& tree) { return RunRegistryScript(text, replacements, mode, &tree, &error); });
}

HRESULT RegisterTypeLib(const TypeLibInfo* library, LPCOLESTR modulePath) {
    if (library == nullptr || modulePath == nullptr) return E_INVALIDARG;
    std::string libid = GuidToString(library->libid);
    std::string version = VersionText(library->majorVersion, library->minorVersion);
    std::string path = Utf8(modulePath);
    std::string helpDir = std::filesystem::path(path).parent_path().string();
    std::vector<const DispInterface*> interfaces = InterfacesOf(*library);
    return Update([&](RegistryTree& tree) {
        std::string base = "TypeLib\\" + libid + "\\" + version;
        RegistryKey* key = tree.Create(RegRoot::kClassesRoot, base);
        if (key == nullptr) return false;
        key->SetValue("", Utf8(library->name));
        tree.Create(RegRoot::kClassesRoot, base + "\\0\\linux")->SetValue("", path);
        tree.Create(RegRoot::kClassesRoot, base + "\\FLAGS")->SetValue("", "0");
        tree.Create(RegRoot::kClassesRoot, base + "\\HELPDIR")->SetValue("", helpDir);
        for (const DispInterface* itf : interfaces) {
            std::string ikey = "Interface\\" + GuidToString(itf->iid);
            tree.Create(RegRoot::kClassesRoot, ikey)->SetValue("", Utf8(itf->name));
            tree.Create(RegRoot::kClassesRoot, ikey + "\\ProxyStubClsid32")->SetValue("", kAutomationProxy);
            RegistryKey* lib = tree.Create(RegRoot::kClassesRoot, ikey + "\\TypeLib");
            lib->SetValue("", libid);
            lib->SetValue("Version", version);
        }
        return true;
    });
}

HRESULT UnRegisterTypeLib(const TypeLibInfo* library) {
    if (library == nullptr) return E_INVALIDARG;
    std::string libid = GuidToString(library->libid);
    std::string version = VersionText(library->majorVersion, library->minorVersion);
    std::vector<const DispInterface*> interfaces = InterfacesOf(*library);
    return Update([&](RegistryTree& tree) {
        bool changed = tree.Delete(RegRoot::kClassesRoot, "TypeLib\\" + libid + "\\" + version);
        RegistryKey* libKey = tree.Find(RegRoot::kClassesRoot, "TypeLib\\" + libid);
        if (libKey != nullptr && libKey->SubkeyMap().empty() && libKey->ValueMap().empty()) {
            changed = tree.Delete(RegRoot::kClassesRoot, "TypeLib\\" + libid) || changed;
        }
        for (const DispInterface* itf : interfaces) {
            std::string ikey = "Interface\\" + GuidToString(itf->iid);
            const RegistryKey* lib = tree.Find(RegRoot::kClassesRoot, ikey + "\\TypeLib");
            const std::string* owner = lib ? lib->FindValue("") : nullptr;
            if (owner != nullptr && RegNamesEqual(*owner, libid)) changed = tree.Delete(RegRoot::kClassesRoot, ikey) || changed;
        }
        return changed;
    });
}

HRESULT QueryTypeLibPath(REFGUID libid, uint16_t major, uint16_t minor, BSTR* path) {
    if (path == nullptr) return E_INVALIDARG;
    *path = nullptr;
    std::string text;
    std::string error;
    RegStatus status = Registry().QueryString(
        RegRoot::kClassesRoot, "TypeLib\\" + GuidToString(libid) + "\\" + VersionText(major, minor) + "\\0\\linux", "",
        &text, &error);
    if (status == RegStatus::kNotFound) return TYPE_E_LIBNOTREGISTERED;
    if (status != RegStatus::kOk) return Fail(TYPE_E_REGISTRYACCESS, error);
    *path = BstrFromUtf8(text);
    return *path ? S_OK : E_OUTOFMEMORY;
}

}  // namespace quenda
