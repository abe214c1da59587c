// The process's window classes and message windows, kept in two tables on the loop's thread.
#include "platform/winmsg/window.h"

#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/winmsg/last_error.h"
#include "platform/winmsg/winmsg_internal.h"

namespace quenda {

namespace {

struct WindowClass {
    std::string name;        // as registered
    HINSTANCE instance;      // owning module
    WNDPROC procedure;       // default procedure of its windows
    int extraBytes;          // size of each window's extra bytes
    UINT style;              // kept for completeness
    ATOM atom;               // returned by RegisterClassA
    int windowCount = 0;     // windows of this class that exist
};

struct Window {
    WindowClass* windowClass;               // never dangles: a class with windows stays
    WNDPROC procedure;                      // current procedure (subclassing may change it)
    std::vector<unsigned char> extraBytes;  // zeroed at creation
    LONG_PTR userData = 0;                  // GWLP_USERDATA
    bool destroying = false;                // inside DestroyWindow
};

struct WindowTables {
    std::vector<WindowClass*> classes;
    std::map<uintptr_t, Window> windows;
    uintptr_t nextHandle = 0x10000;  // handles grow and are never reused
    ATOM nextAtom = 0xC000;
};

// Leaked on purpose: windows may still be destroyed by static destructors of other modules.
WindowTables& Tables() {
    static auto* tables = new WindowTables;
    return *tables;
}

bool SameClassName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

WindowClass* FindClass(const char* name, HINSTANCE instance) {
    if (name == nullptr) return nullptr;
    for (WindowClass* c : Tables().classes) {
        if (c->instance == instance && SameClassName(c->name, name)) return c;
    }
    return nullptr;
}

Window* FindWindow(HWND hwnd) {
    auto& windows = Tables().windows;
    auto it = windows.find(reinterpret_cast<uintptr_t>(hwnd));
    return it == windows.end() ? nullptr : &it->second;
}

// The pointer-sized word at a byte offset of the extra bytes, or null when it is not inside.
unsigned char* ExtraWord(Window& window, int index) {
    if (index < 0) return nullptr;
    size_t offset = static_cast<size_t>(index);
    if (offset + sizeof(LONG_PTR) > window.extraBytes.size()) return nullptr;
    return window.extraBytes.data() + offset;
}

}  // namespace

namespace winmsg_detail {

WNDPROC WindowProcedure(HWND hwnd) {
    Window* window = FindWindow(hwnd);
    return window == nullptr ? nullptr : window->procedure;
}

}  // namespace winmsg_detail

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
    if (windowClass == nullptr || windowClass->lpfnWndProc == nullptr ||
        windowClass->lpszClassName == nullptr || windowClass->lpszClassName[0] == '\0' ||
        windowClass->cbWndExtra < 0 || windowClass->cbWndExtra > kMaxWindowExtraBytes) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (FindClass(windowClass->lpszClassName, windowClass->hInstance) != nullptr) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    WindowTables& tables = Tables();
    if (tables.nextAtom == 0) {  // 16 thousand registrations in one process: out of atoms
        SetLastError(ERROR_NO_SYSTEM_RESOURCES);
        return 0;
    }
    ATOM atom = tables.nextAtom++;
    tables.classes.push_back(new WindowClass{windowClass->lpszClassName, windowClass->hInstance,
                                             windowClass->lpfnWndProc, windowClass->cbWndExtra,
                                             windowClass->style, atom});
    return atom;
}

BOOL UnregisterClassA(const char* className, HINSTANCE instance) {
    WindowClass* found = FindClass(className, instance);
    if (found == nullptr) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return 0;
    }
    if (found->windowCount > 0) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return 0;
    }
    auto& classes = Tables().classes;
    std::erase(classes, found);
    delete found;
    return 1;
}

HWND CreateWindowA(const char* className, const char* windowName, HINSTANCE instance,
                   void* createParam) {
    if (className == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    WindowClass* windowClass = FindClass(className, instance);
    if (windowClass == nullptr) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return nullptr;
    }
    WindowTables& tables = Tables();
    uintptr_t handle = tables.nextHandle;
    tables.nextHandle += 4;
    Window window{windowClass, windowClass->procedure,
                  std::vector<unsigned char>(static_cast<size_t>(windowClass->extraBytes), 0)};
    tables.windows.emplace(handle, std::move(window));
    ++windowClass->windowCount;

    HWND hwnd = reinterpret_cast<HWND>(handle);
    CREATESTRUCTA create{createParam, instance, windowName != nullptr ? windowName : "",
                         windowClass->name.c_str()};
    if (SendMessageA(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(hwnd);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // The procedure may have destroyed the window while it was being created.
    return IsWindow(hwnd) ? hwnd : nullptr;
}

BOOL DestroyWindow(HWND hwnd) {
    Window* window = FindWindow(hwnd);
    if (window == nullptr || window->destroying) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    window->destroying = true;
    SendMessageA(hwnd, WM_DESTROY, 0, 0);
    SendMessageA(hwnd, WM_NCDESTROY, 0, 0);
    winmsg_detail::KillTimersOf(hwnd);
    winmsg_detail::FlushMessagesOf(hwnd);
    // The procedure ran meanwhile and may have grown the table; look the window up again.
    window = FindWindow(hwnd);
    --window->windowClass->windowCount;
    Tables().windows.erase(reinterpret_cast<uintptr_t>(hwnd));
    return 1;
}

BOOL IsWindow(HWND hwnd) {
    return FindWindow(hwnd) != nullptr ? 1 : 0;
}

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) {
    Window* window = FindWindow(hwnd);
    if (window == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LONG_PTR value = 0;
    if (index == GWLP_WNDPROC) {
        value = reinterpret_cast<LONG_PTR>(window->procedure);
    } else if (index == GWLP_USERDATA) {
        value = window->userData;
    } else if (unsigned char* word = ExtraWord(*window, index)) {
        std::memcpy(&value, word, sizeof value);
    } else {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    SetLastError(ERROR_SUCCESS);
    return value;
}

LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
    Window* window = FindWindow(hwnd);
    if (window == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LONG_PTR previous = 0;
    if (index == GWLP_WNDPROC) {
        if (value == 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        previous = reinterpret_cast<LONG_PTR>(window->procedure);
        window->procedure = reinterpret_cast<WNDPROC>(value);
    } else if (index == GWLP_USERDATA) {
        previous = window->userData;
        window->userData = value;
    } else if (unsigned char* word = ExtraWord(*window, index)) {
        std::memcpy(&previous, word, sizeof previous);
        std::memcpy(word, &value, sizeof value);
    } else {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    SetLastError(ERROR_SUCCESS);
    return previous;
}

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC procedure = winmsg_detail::WindowProcedure(hwnd);
    if (procedure == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return procedure(hwnd, message, wParam, lParam);
}

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM /*wParam*/, LPARAM /*lParam*/) {
    if (message == WM_CLOSE) DestroyWindow(hwnd);
    return 0;
}

}  // namespace quenda
