// The queue of posted messages and the Qt events that carry them into the Qt loop.
#include "platform/winmsg/message_queue.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <climits>
#include <deque>

#include "platform/winmsg/last_error.h"
#include "platform/winmsg/timer.h"
#include "platform/winmsg/window.h"
#include "platform/winmsg/winmsg_internal.h"

namespace quenda {

namespace {

struct QueuedMessage {
    uint64_t sequence;  // posting order; the carrier event names it
    MSG msg;            // the message as posted
    bool carrierPending;  // its Qt event has not been delivered yet
};

const QEvent::Type kCarrierType = static_cast<QEvent::Type>(QEvent::registerEventType());

// The Qt event that stands for one posted message in Qt's queue.
class CarrierEvent final : public QEvent {
  public:
    explicit CarrierEvent(uint64_t sequence) : QEvent(kCarrierType), sequence_(sequence) {}
    uint64_t Sequence() const { return sequence_; }

  private:
    uint64_t sequence_;
};

void DeliverFromLoop(uint64_t sequence);

// Receives the carrier events on the loop's thread.
class CarrierReceiver final : public QObject {
  protected:
    void customEvent(QEvent* event) override {
        if (event->type() == kCarrierType) {
            DeliverFromLoop(static_cast<CarrierEvent*>(event)->Sequence());
        }
    }
};

struct MessageQueue {
    std::deque<QueuedMessage> messages;  // ascending sequence
    uint64_t nextSequence = 1;
    uint64_t lookedAtUpTo = 0;           // PeekMessageA has seen every message up to this one
    int waitDepth = 0;                   // inside WaitForInput: carriers must not dispatch
    CarrierReceiver* receiver = nullptr;
};

// Leaked on purpose: the receiver must outlive every event still in Qt's queue.
MessageQueue& Queue() {
    static auto* queue = new MessageQueue;
    if (queue->receiver == nullptr) queue->receiver = new CarrierReceiver;
    return *queue;
}

std::deque<QueuedMessage>::iterator FindQueued(uint64_t sequence) {
    auto& messages = Queue().messages;
    auto it = std::lower_bound(
        messages.begin(), messages.end(), sequence,
        [](const QueuedMessage& queued, uint64_t wanted) { return queued.sequence < wanted; });
    return (it != messages.end() && it->sequence == sequence) ? it : messages.end();
}

void PostCarrier(QueuedMessage& queued) {
    queued.carrierPending = true;
    QCoreApplication::postEvent(Queue().receiver, new CarrierEvent(queued.sequence));
}

// Messages whose carrier arrived while WaitForInput held them back get a new carrier.
void RepostHeldBackCarriers() {
    for (QueuedMessage& queued : Queue().messages) {
        if (!queued.carrierPending) PostCarrier(queued);
    }
}

void DeliverMessage(const MSG& msg) {
    if (msg.hwnd == nullptr && msg.message == WM_QUIT) {
        QCoreApplication::exit(static_cast<int>(msg.wParam));
        return;
    }
    DispatchMessageA(&msg);
}

void DeliverFromLoop(uint64_t sequence) {
    MessageQueue& queue = Queue();
    auto it = FindQueued(sequence);
    if (it == queue.messages.end()) return;  // already taken by PeekMessageA
    it->carrierPending = false;
    if (queue.waitDepth > 0) return;
    MSG msg = it->msg;
    queue.messages.erase(it);
    DeliverMessage(msg);
}

bool Passes(const MSG& msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    if (msg.message == WM_QUIT) return true;
    if (hwnd == kThreadMessagesOnly) {
        if (msg.hwnd != nullptr) return false;
    } else if (hwnd != nullptr && msg.hwnd != hwnd) {
        return false;
    }
    if (filterMin == 0 && filterMax == 0) return true;
    return msg.message >= filterMin && msg.message <= filterMax;
}

// Whether a message came after the last PeekMessageA looked at the queue.
bool HasUnseenMessage() {
    const MessageQueue& queue = Queue();
    return !queue.messages.empty() && queue.messages.back().sequence > queue.lookedAtUpTo;
}

}  // namespace

namespace winmsg_detail {

void FlushMessagesOf(HWND hwnd) {
    std::erase_if(Queue().messages,
                  [hwnd](const QueuedMessage& queued) { return queued.msg.hwnd == hwnd; });
}

bool IsQueued(HWND hwnd, UINT message, WPARAM wParam) {
    for (const QueuedMessage& queued : Queue().messages) {
        if (queued.msg.hwnd == hwnd && queued.msg.message == message &&
            queued.msg.wParam == wParam) {
            return true;
        }
    }
    return false;
}

DWORD MessageTime() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // namespace winmsg_detail

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (hwnd != nullptr && !IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    MessageQueue& queue = Queue();
    queue.messages.push_back(QueuedMessage{
        queue.nextSequence++, MSG{hwnd, message, wParam, lParam, winmsg_detail::MessageTime()},
        false});
    PostCarrier(queue.messages.back());
    return 1;
}

BOOL PostNotificationMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const MessageQueue& queue = Queue();
    if (!queue.messages.empty() || queue.waitDepth > 0 || !HasMessageLoop()) {
        return PostMessageA(hwnd, message, wParam, lParam);
    }
    if (hwnd != nullptr && !IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    DeliverMessage(MSG{hwnd, message, wParam, lParam, winmsg_detail::MessageTime()});
    return 1;
}

bool WithdrawPostedMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto& messages = Queue().messages;
    for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
        const MSG& queued = it->msg;
        if (queued.hwnd == hwnd && queued.message == message && queued.wParam == wParam &&
            queued.lParam == lParam) {
            // Its carrier, still in Qt's queue, will find nothing and do nothing.
            messages.erase(std::next(it).base());
            return true;
        }
    }
    return false;
}

void PostQuitMessage(int exitCode) {
    PostMessageA(nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0);
}

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags) {
    if (msg == nullptr) return 0;
    MessageQueue& queue = Queue();
    queue.lookedAtUpTo = queue.nextSequence - 1;
    auto& messages = queue.messages;
    for (auto it = messages.begin(); it != messages.end(); ++it) {
        if (!Passes(it->msg, hwnd, filterMin, filterMax)) continue;
        *msg = it->msg;
        // Its carrier, still in Qt's queue, will find nothing and do nothing.
        if ((removeFlags & PM_REMOVE) != 0) messages.erase(it);
        return 1;
    }
    return 0;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (msg == nullptr || msg->hwnd == nullptr) return 0;
    if (msg->message == WM_TIMER && msg->lParam != 0) {
        TIMERPROC procedure = winmsg_detail::TimerProcedure(msg->hwnd, msg->wParam);
        // Only the procedure of a live timer is called, never an address someone posted.
        if (procedure == nullptr || reinterpret_cast<LPARAM>(procedure) != msg->lParam) return 0;
        procedure(msg->hwnd, WM_TIMER, msg->wParam, winmsg_detail::MessageTime());
        return 0;
    }
    WNDPROC procedure = winmsg_detail::WindowProcedure(msg->hwnd);
    if (procedure == nullptr) return 0;
    return procedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL WaitForInput(DWORD timeoutMs) {
    MessageQueue& queue = Queue();
    if (HasUnseenMessage()) return 1;
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (dispatcher == nullptr || !HasMessageLoop()) return 0;

    QTimer wake;
    if (timeoutMs != INFINITE) {
        wake.setSingleShot(true);
        wake.setTimerType(Qt::PreciseTimer);
        wake.start(static_cast<int>(std::min<DWORD>(timeoutMs, INT_MAX)));
    }
    ++queue.waitDepth;
    dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    --queue.waitDepth;
    if (queue.waitDepth == 0) RepostHeldBackCarriers();
    return HasUnseenMessage() ? 1 : 0;
}

void ProcessPendingMessages() {
    MessageQueue& queue = Queue();
    if (!HasMessageLoop()) {
        // No Qt loop to carry them: dispatch what is queued now, in order.
        size_t pending = queue.messages.size();
        MSG msg;
        while (pending-- > 0 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
        }
        return;
    }
    if (queue.waitDepth == 0) RepostHeldBackCarriers();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    // Sockets and timers seen ready in that pass posted their messages just now.
    QCoreApplication::sendPostedEvents();
}

bool HasMessageLoop() {
    return QCoreApplication::instance() != nullptr;
}

}  // namespace quenda
