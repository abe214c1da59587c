// A window class for tests whose procedure records every message it is given.
#pragma once

#include <string>
#include <vector>

#include "platform/winmsg/window.h"

namespace quenda::test {

struct Received {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Received&) const = default;
};

// Every message any recording window got, in order; a test clears it first.
inline std::vector<Received>& ReceivedLog() {
    static std::vector<Received> log;
    return log;
}

// Tags written into the log by Qt events, so their order against messages can be checked.
inline constexpr UINT kQtEventTag = 0xFFFF;

inline LRESULT RecordingProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE || message == WM_DESTROY || message == WM_NCDESTROY) return 0;
    ReceivedLog().push_back({hwnd, message, wParam, lParam});
    return static_cast<LRESULT>(message) + 1000;
}

// Registers the recording class for the lifetime of the object, under its own instance tag.
class RecordingClass {
  public:
    explicit RecordingClass(const char* name = "recording", int extraBytes = 12) : name_(name) {
        WNDCLASSA windowClass;
        windowClass.lpfnWndProc = &RecordingProcedure;
        windowClass.cbWndExtra = extraBytes;
        windowClass.hInstance = Instance();
        windowClass.lpszClassName = name;
        atom_ = RegisterClassA(&windowClass);
        ReceivedLog().clear();
    }
    ~RecordingClass() {
        for (HWND hwnd : windows_) DestroyWindow(hwnd);
        UnregisterClassA(name_.c_str(), Instance());
    }
    RecordingClass(const RecordingClass&) = delete;
    RecordingClass& operator=(const RecordingClass&) = delete;

    HWND Create() {
        HWND hwnd = CreateWindowA(name_.c_str(), "", Instance(), nullptr);
        windows_.push_back(hwnd);
        return hwnd;
    }
    ATOM Atom() const { return atom_; }
    HINSTANCE Instance() { return &instanceTag_; }

  private:
    std::string name_;
    ATOM atom_ = 0;
    std::vector<HWND> windows_;
    int instanceTag_ = 0;
};

}  // namespace quenda::test
