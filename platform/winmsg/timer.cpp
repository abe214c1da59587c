// Keeps one QTimer per window timer and turns its ticks into WM_TIMER messages.
#include "platform/winmsg/timer.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <map>
#include <memory>
#include <utility>

#include "platform/winmsg/last_error.h"
#include "platform/winmsg/message_queue.h"
#include "platform/winmsg/window.h"
#include "platform/winmsg/winmsg_internal.h"

namespace quenda {

namespace {

struct WindowTimer {
    std::unique_ptr<QTimer> timer;
    TIMERPROC procedure = nullptr;
};

using TimerKey = std::pair<uintptr_t, UINT_PTR>;  // (window handle, timer id)

struct TimerTable {
    std::map<TimerKey, WindowTimer> timers;
    UINT_PTR nextThreadTimerId = 0x7FF0;  // thread timers get ids of their own, as on Windows
};

TimerTable& Timers() {
    static auto* table = new TimerTable;
    return *table;
}

void Tick(HWND hwnd, UINT_PTR id) {
    auto it = Timers().timers.find({reinterpret_cast<uintptr_t>(hwnd), id});
    if (it == Timers().timers.end()) return;
    if (winmsg_detail::IsQueued(hwnd, WM_TIMER, id)) return;
    PostMessageA(hwnd, WM_TIMER, id, reinterpret_cast<LPARAM>(it->second.procedure));
}

}  // namespace

namespace winmsg_detail {

TIMERPROC TimerProcedure(HWND hwnd, UINT_PTR idEvent) {
    auto it = Timers().timers.find({reinterpret_cast<uintptr_t>(hwnd), idEvent});
    return it == Timers().timers.end() ? nullptr : it->second.procedure;
}

void KillTimersOf(HWND hwnd) {
    std::erase_if(Timers().timers, [hwnd](const auto& entry) {
        return entry.first.first == reinterpret_cast<uintptr_t>(hwnd);
    });
}

}  // namespace winmsg_detail

UINT_PTR SetTimer(HWND hwnd, UINT_PTR idEvent, UINT elapseMs, TIMERPROC procedure) {
    if (hwnd != nullptr && !IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (!HasMessageLoop()) {
        SetLastError(ERROR_NO_SYSTEM_RESOURCES);
        return 0;
    }
    TimerTable& table = Timers();
    UINT_PTR id = idEvent;
    if (hwnd == nullptr && (idEvent == 0 || !table.timers.contains({0, idEvent}))) {
        id = table.nextThreadTimerId++;
    }
    elapseMs = std::clamp(elapseMs, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);

    WindowTimer& entry = table.timers[{reinterpret_cast<uintptr_t>(hwnd), id}];
    entry.procedure = procedure;
    if (!entry.timer) {
        entry.timer = std::make_unique<QTimer>();
        QObject::connect(entry.timer.get(), &QTimer::timeout, [hwnd, id] { Tick(hwnd, id); });
    }
    entry.timer->start(static_cast<int>(elapseMs));
    return (hwnd != nullptr && id == 0) ? 1 : id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR idEvent) {
    return Timers().timers.erase({reinterpret_cast<uintptr_t>(hwnd), idEvent}) > 0 ? 1 : 0;
}

}  // namespace quenda
