// The Winsock layer as one control library sees it: loaded on demand by path, started, and
// described by the six Winsock properties.
#include "controls/socketbase/winsock_state.h"

#include <dlfcn.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "controls/socketbase/socket_window.h"

namespace quenda {
namespace {

constexpr WORD kVersion11 = 0x0101;

void* ModuleBase(const void* address) {
    Dl_info info{};
    return ::dladdr(address, &info) != 0 ? info.dli_fbase : nullptr;
}

std::string FullName(const char* name) {
    char resolved[PATH_MAX];
    return ::realpath(name, resolved) != nullptr ? std::string(resolved) : std::string(name);
}

}  // namespace

WinsockState::WinsockState(std::string defaultPath)
    : defaultPath_(std::move(defaultPath)),
      windowInstance_(ModuleBase(reinterpret_cast<const void*>(&LibraryWinsockState))) {
    std::memset(&data_, 0, sizeof data_);
    std::strcpy(data_.szSystemStatus, "Down");
    SetPath("");
}

WinsockState::~WinsockState() {
    if (windowClassRegistered) UnregisterSocketWindowClass(windowInstance_);
}

bool WinsockState::Load() {
    WinsockApi loaded;
    std::string error;
    if (!LoadWinsockApi(path_, &loaded, &error)) {
        SetDescription(kWinsockNotLoadedText);
        return false;
    }
    Dl_info info{};
    if (::dladdr(reinterpret_cast<const void*>(loaded.WSAStartup), &info) != 0 &&
        info.dli_fname != nullptr) {
        modulePath_ = FullName(info.dli_fname);
    }
    if (loadCount_++ == 0) {
        api_ = loaded;
        resolved_ = true;
    }
    int result = api_.WSAStartup(kVersion11, &data_);
    if (result == WSAEINVAL || result == WSAVERNOTSUPPORTED) {
        SetDescription(kWinsockVersionText);
        return false;
    }
    if (result == WSASYSNOTREADY) {
        SetDescription(kWinsockNotReadyText);
        return false;
    }
    if ((data_.wVersion & 0xFF) == 1 && (data_.wVersion >> 8) == 1) return true;
    SetDescription(kWinsockIncompatibleText);
    return false;
}

std::string WinsockState::Description() const {
    return std::string(data_.szDescription,
                       ::strnlen(data_.szDescription, sizeof data_.szDescription));
}

std::string WinsockState::SystemStatus() const {
    return std::string(data_.szSystemStatus,
                       ::strnlen(data_.szSystemStatus, sizeof data_.szSystemStatus));
}

void WinsockState::SetPath(std::string_view path) {
    // The default is never cut: it names a real file wherever the library was installed.
    path_ = path.empty() ? defaultPath_ : std::string(path.substr(0, kMaxWinsockPath));
}

std::string WinsockState::ModulePath() const {
    std::string name = modulePath_.empty() ? path_ : modulePath_;
    return name.substr(0, kMaxWinsockPath);
}

void WinsockState::SetDescription(std::string_view text) {
    size_t length = std::min(text.size(), sizeof data_.szDescription - 1);
    std::memcpy(data_.szDescription, text.data(), length);
    data_.szDescription[length] = '\0';
}

WinsockState& LibraryWinsockState() {
    // Hidden inside each control library, so each library keeps its own.
    static WinsockState state(
        WinsockPathBeside(reinterpret_cast<const void*>(&LibraryWinsockState)));
    return state;
}

}  // namespace quenda
