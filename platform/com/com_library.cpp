// Creating objects by class: ProgID and CLSID lookup in the registry, loading the library that
// serves a class, and letting unused libraries go.
#include "platform/com/com_library.h"

#include <dlfcn.h>

#include <map>
#include <mutex>
#include <string>

#include "platform/com/error_info.h"
#include "platform/com/guid.h"
#include "platform/registry/registry.h"

namespace quenda {
namespace {

struct LoadedLibrary {
    void* handle = nullptr;
    DllGetClassObjectFunction getClassObject = nullptr;
    DllCanUnloadNowFunction canUnloadNow = nullptr;
};

std::mutex& LibraryMutex() {
    static std::mutex m;
    return m;
}

// Loaded libraries by path; each is opened once and kept until it agrees to go.
std::map<std::string, LoadedLibrary>& Libraries() {
    static auto* libraries = new std::map<std::string, LoadedLibrary>();
    return *libraries;
}

HRESULT Fail(HRESULT hr, const std::string& why) {
    std::u16string text = Utf16FromUtf8(why);
    PublishErrorInfo(GUID_NULL, u"quenda.com", text.c_str(), nullptr, 0);
    return hr;
}

// Reads a value of HKCR; S_FALSE when missing, REGDB_E_READREGDB when the registry is unreadable.
HRESULT ReadClassesRoot(const std::string& path, const std::string& valueName, std::string* value) {
    std::string error;
    RegStatus status = Registry().QueryString(RegRoot::kClassesRoot, path, valueName, value, &error);
    if (status == RegStatus::kOk) return S_OK;
    if (status == RegStatus::kNotFound || status == RegStatus::kInvalidArgument) return S_FALSE;
    return Fail(REGDB_E_READREGDB, error);
}

}  // namespace

HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) {
    if (progId == nullptr || clsid == nullptr) return E_INVALIDARG;
    std::string name = Utf8FromUtf16(std::u16string_view(progId));
    // A version-independent ProgID may carry no CLSID of its own, only CurVer.
    for (int hop = 0; hop < 2; ++hop) {
        std::string text;
        HRESULT hr = ReadClassesRoot(name + "\\CLSID", "", &text);
        if (FAILED(hr)) return hr;
        if (hr == S_OK) {
            if (!GuidFromString(text, clsid)) return Fail(CO_E_CLASSSTRING, "ProgID " + name + " has an invalid CLSID");
            return S_OK;
        }
        std::string next;
        hr = ReadClassesRoot(name + "\\CurVer", "", &next);
        if (FAILED(hr)) return hr;
        if (hr != S_OK || next.empty()) break;
        name = next;
    }
    return Fail(CO_E_CLASSSTRING, "ProgID " + Utf8FromUtf16(std::u16string_view(progId)) + " is not registered");
}

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) {
    if (text == nullptr || clsid == nullptr) return E_INVALIDARG;
    std::string s = Utf8FromUtf16(std::u16string_view(text));
    if (!s.empty() && s.front() == '{') return GuidFromString(s, clsid) ? S_OK : CO_E_CLASSSTRING;
    return CLSIDFromProgID(text, clsid);
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, BSTR* progId) {
    if (progId == nullptr) return E_INVALIDARG;
    *progId = nullptr;
    std::string text;
    HRESULT hr = ReadClassesRoot("CLSID\\" + GuidToString(clsid) + "\\ProgID", "", &text);
    if (FAILED(hr)) return hr;
    if (hr != S_OK) return REGDB_E_CLASSNOTREG;
    *progId = BstrFromUtf8(text);
    return *progId ? S_OK : E_OUTOFMEMORY;
}

HRESULT CoGetClassObject(REFCLSID clsid, uint32_t context, void* reserved, REFIID iid, void** object) {
    if (object == nullptr) return E_INVALIDARG;
    *object = nullptr;
    if (reserved != nullptr || !(context & CLSCTX_INPROC_SERVER)) return E_INVALIDARG;
    std::string path;
    std::string classKey = "CLSID\\" + GuidToString(clsid);
    HRESULT hr = ReadClassesRoot(classKey + "\\InprocServer32", "", &path);
    if (FAILED(hr)) return hr;
    if (hr != S_OK || path.empty()) return Fail(REGDB_E_CLASSNOTREG, "class " + GuidToString(clsid) + " is not registered");

    DllGetClassObjectFunction getClassObject = nullptr;
    {
        std::lock_guard<std::mutex> lock(LibraryMutex());
        auto& libraries = Libraries();
        auto it = libraries.find(path);
        if (it == libraries.end()) {
            void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (handle == nullptr) {
                const char* why = ::dlerror();
                return Fail(CO_E_DLLNOTFOUND, "cannot load " + path + ": " + (why ? why : "unknown error"));
            }
            LoadedLibrary library;
            library.handle = handle;
            library.getClassObject = reinterpret_cast<DllGetClassObjectFunction>(::dlsym(handle, "DllGetClassObject"));
            library.canUnloadNow = reinterpret_cast<DllCanUnloadNowFunction>(::dlsym(handle, "DllCanUnloadNow"));
            if (library.getClassObject == nullptr) {
                ::dlclose(handle);
                return Fail(CO_E_ERRORINDLL, path + " does not export DllGetClassObject");
            }
            it = libraries.emplace(path, library).first;
        }
        getClassObject = it->second.getClassObject;
    }
    return getClassObject(clsid, iid, object);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, uint32_t context, REFIID iid, void** object) {
    if (object == nullptr) return E_INVALIDARG;
    *object = nullptr;
    ComPtr<IClassFactory> factory;
    HRESULT hr = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory, factory.OutVoid());
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(outer, iid, object);
    if (FAILED(hr)) *object = nullptr;
    return hr;
}

HRESULT CoRegisterServerLibrary(const char* path, int32_t registering) {
    if (path == nullptr) return E_INVALIDARG;
    void* handle = ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = ::dlerror();
        return Fail(CO_E_DLLNOTFOUND, std::string("cannot load ") + path + ": " + (why ? why : "unknown error"));
    }
    const char* entry = registering ? "DllRegisterServer" : "DllUnregisterServer";
    auto function = reinterpret_cast<DllRegisterServerFunction>(::dlsym(handle, entry));
    if (function == nullptr) {
        ::dlclose(handle);
        return Fail(CO_E_ERRORINDLL, std::string(path) + " is not a component library (it has no " + entry + ")");
    }
    SetErrorInfo(0, nullptr);
    HRESULT hr = function();
    // The library's error info stays valid: the runtime, not the library, owns the record.
    ::dlclose(handle);
    return hr;
}

void CoFreeUnusedLibraries() {
    std::lock_guard<std::mutex> lock(LibraryMutex());
    auto& libraries = Libraries();
    for (auto it = libraries.begin(); it != libraries.end();) {
        if (it->second.canUnloadNow != nullptr && it->second.canUnloadNow() == S_OK) {
            ::dlclose(it->second.handle);
            it = libraries.erase(it);
        } else {
            ++it;
        }
    }
}

int CoLoadedLibraryCount() {
    std::lock_guard<std::mutex> lock(LibraryMutex());
    return static_cast<int>(Libraries().size());
}

}  // namespace quenda
