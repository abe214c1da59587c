// The Winsock layer as one control library sees it: loaded on demand by path, started, and
// described by the six Winsock properties.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/winsock/winsock_api.h"

namespace quenda {

// Longest library path kept; longer paths are cut.
inline constexpr size_t kMaxWinsockPath = 200;

// Texts a failed load leaves as the description.
inline constexpr char kWinsockNotLoadedText[] = "Could not load Winsock DLL.";
inline constexpr char kWinsockVersionText[] = "Version not supported.";
inline constexpr char kWinsockNotReadyText[] = "Network subsystem not ready.";
inline constexpr char kWinsockIncompatibleText[] = "Incompatible Winsock version.";

// One per control library per process (LibraryWinsockState). The library file, once loaded,
// stays loaded and started: nothing ever calls WSACleanup or unloads it.
class WinsockState {
  public:
    // Nothing loaded: empty description, status "Down", path = defaultPath.
    explicit WinsockState(std::string defaultPath);
    ~WinsockState();
    WinsockState(const WinsockState&) = delete;
    WinsockState& operator=(const WinsockState&) = delete;

    // Loads the library at Path(), counts the load, resolves the entry points on the first
    // load that works, and starts Winsock asking for 1.1. Returns true when the caller now
    // holds a load (the library answered version 1.1); false with the reason as Description().
    bool Load();

    // The entry points, or nullptr while no load of the library has worked.
    const WinsockApi* Api() const { return resolved_ ? &api_ : nullptr; }

    // The start-up description, or the reason the last load failed (WinsockInfo).
    std::string Description() const;
    // The start-up system status, "Down" before any start (WinsockStatus).
    std::string SystemStatus() const;
    uint16_t MaxSockets() const { return data_.iMaxSockets; }
    uint16_t MaxDatagramSize() const { return data_.iMaxUdpDg; }
    uint16_t LoadCount() const { return loadCount_; }

    // The file to load next time, at most kMaxWinsockPath bytes; empty selects the default
    // (libwsock32.so beside the control library).
    void SetPath(std::string_view path);
    const std::string& Path() const { return path_; }
    // The full file name of the module the last working load found, or Path() before any.
    std::string ModulePath() const;

    // The hidden window class of this library, registered once and removed with the state.
    void* WindowInstance() const { return windowInstance_; }
    bool windowClassRegistered = false;

  private:
    void SetDescription(std::string_view text);

    std::string defaultPath_;  // libwsock32.so beside the library
    std::string path_;         // file loaded next time
    std::string modulePath_;   // full name of the module last loaded; empty before
    uint16_t loadCount_ = 0;   // successful loads of the file
    WSADATA data_;             // start-up record; its description doubles as the failure text
    WinsockApi api_;           // resolved at the first load
    bool resolved_ = false;
    void* windowInstance_;  // this library's module base, the instance of its window class
};

// The state of the control library this code is linked into, made on first use.
WinsockState& LibraryWinsockState();

}  // namespace quenda
