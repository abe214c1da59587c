// The per-instance socket engine of a socket control: hidden notification window, Winsock
// hold, socket handle, read notifications with deferred closing, local host, DoEvents.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "controls/socketbase/receive_buffer.h"
#include "controls/socketbase/winsock_state.h"

namespace quenda {

// Notification messages of the two socket controls.
inline constexpr UINT kUdpNotifyMessage = WM_USER + 102;
inline constexpr UINT kIcmpNotifyMessage = WM_USER + 103;
// A message to the hidden window that interrupts DoEvents.
inline constexpr UINT kInterruptMessage = WM_USER + 51;

enum class ReadMode {
    kNotification,  // from FD_READ: a close asked for meanwhile is carried out
    kDrain,         // from closing: deliver what is queued, then stop
};

// What the component does with its socket; the core calls it from notifications.
class SocketBehaviour {
  public:
    // Reads and delivers what is queued (the component's read loop).
    virtual void ReadLoop(ReadMode mode) = 0;
    // The component's closing, as Active = False does it; returns its code.
    virtual int CloseSocket() = 0;
    virtual void RaiseReadyToSend() = 0;
    // Keep the control alive while a notification runs; Unhold may destroy it.
    virtual void Hold() = 0;
    virtual void Unhold() = 0;

  protected:
    ~SocketBehaviour() = default;
};

class SocketCore {
  public:
    // Creates the hidden window, takes a hold of winsock (loading it) and a 2048-byte
    // receive buffer. behaviour and winsock must outlive the core.
    SocketCore(SocketBehaviour* behaviour, UINT notifyMessage, WinsockState& winsock);
    // Cancels a blocking call, closes an open socket without draining and without events,
    // and destroys the window.
    ~SocketCore();
    SocketCore(const SocketCore&) = delete;
    SocketCore& operator=(const SocketCore&) = delete;

    SocketBehaviour* Behaviour() const { return behaviour_; }
    WinsockState& Winsock() const { return winsock_; }
    // The entry points, or nullptr when the layer could not be loaded (callers answer 10093).
    const WinsockApi* Api() const { return winsock_.Api(); }
    // WSAGetLastError, or 10093 without a layer.
    int LastWinsockError() const;

    // This instance's hold of Winsock (WinsockLoaded): true loads when none is held (a failed
    // load leaves false, with the reason in the state's description); false only lets go.
    bool WinsockLoaded() const { return winsockLoaded_; }
    void SetWinsockLoaded(bool loaded);

    // The text of the last component error; cleared at the start of every property set.
    void ClearMessage() { message_.reset(); }
    void SetMessage(std::string text) { message_ = std::move(text); }
    // The message, or nullptr when none is set.
    const char* Message() const { return message_ ? message_->c_str() : nullptr; }

    HWND Window() const { return window_; }
    SOCKET Socket() const { return socket_; }
    bool IsOpen() const { return socket_ != INVALID_SOCKET; }
    void SetSocket(SOCKET socket) { socket_ = socket; }

    bool InEvent() const { return inEvent_; }
    void SetInEvent(bool inEvent) { inEvent_ = inEvent; }
    bool ClosePending() const { return closePending_; }
    void SetClosePending(bool pending) { closePending_ = pending; }
    bool AcceptData() const { return acceptData_; }
    // Stores the flag; turning it on with a socket open posts a read notification so what
    // queued meanwhile is read.
    void SetAcceptData(bool accept);

    ReceiveBuffer& Buffer() { return buffer_; }

    // Local address in network order; 0 = any interface.
    uint32_t LocalAddress() const { return localAddress_; }
    // Empty text: any interface. Otherwise a dotted address, or a name whose first address is
    // taken. Returns 0 or the resolver's Winsock error (10093 without a layer); when a loaded
    // layer answers 10093 the address stays 0 and the result is 0.
    int SetLocalHost(std::string_view text);
    // The local address dotted; with none, the computer's name; if that fails "[code] text".
    std::string LocalHostText() const;

    // Dotted address (network order) or a name's first address into *address. Cancels a
    // blocking call in progress first. Returns 0 or the Winsock error; *address is 0 then.
    int ResolveAddress(std::string_view text, uint32_t* address) const;
    // The dotted text of an address in network order, "" when it cannot be formed.
    std::string DottedAddress(uint32_t address) const;
    // A remote host as the controls take it: "" is none (0), "255.255.255.255" the limited
    // broadcast (all bits), anything else as ResolveAddress; a loaded layer's 10093 is ignored
    // (the address stays 0). Returns 0 or the Winsock error.
    int ResolveRemoteHost(std::string_view text, uint32_t* address) const;

    // setsockopt of a 4-byte value on the open socket: 0 without doing anything while none is
    // open, else 0 or the Winsock error (10093 without a layer).
    int SetOption(int level, int option, int32_t value);
    // getsockopt of a 4-byte value; false while no socket is open or when it cannot be read.
    bool GetOption(int level, int option, int32_t* value) const;

    // Closes the socket if one is open and marks it invalid. Returns 0 or the Winsock error.
    int CloseHandle();
    // CloseHandle, then clears in-event and close pending and turns AcceptData back on.
    void Reset();

    // FD_READ for the current socket: runs the read loop in notification mode unless
    // reception is off or a read loop is already raising events; carries out a close asked
    // for while it ran.
    void ReadNotification();
    // Posts (socket, FD_READ) to the hidden window when a socket is open.
    void PostRead();

    // The window procedure's work: claims the notification message for the current socket
    // (FD_READ: ReadNotification, FD_WRITE: ReadyToSend). False for everything else.
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

    // One step of the thread's message loop: no message waits at most 10 ms; WM_QUIT is posted
    // again; WM_CLOSE is dropped; kInterruptMessage for this window sets the message
    // "Interrupted"; anything else is dispatched.
    void DoEvents();

  private:
    SocketBehaviour* behaviour_;
    WinsockState& winsock_;
    UINT notifyMessage_;
    std::optional<std::string> message_;  // last component error text
    HWND window_ = nullptr;               // hidden notification window
    bool winsockLoaded_ = false;          // this instance holds a load
    uint32_t localAddress_ = 0;           // network order, 0 = any
    SOCKET socket_ = INVALID_SOCKET;
    bool inEvent_ = false;       // a read notification is raising events
    bool closePending_ = false;  // Active = False came while in-event
    bool acceptData_ = true;
    ReceiveBuffer buffer_;
};

}  // namespace quenda
