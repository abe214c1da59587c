// A socket control object: the dual interface I over the library shell, a SocketCore, and
// the members both socket controls share (the six Winsock properties, AboutBox, DoEvents,
// OnStartPage, OnEndPage) with the conversions every property uses, and the steps of closing,
// reading and raising Error and ReadyToSend that both follow.
//
// I declares, besides its own members: get_/put_WinsockInfo (BSTR), WinsockLoaded
// (VARIANT_BOOL), WinsockMaxDatagramSize and WinsockMaxSockets (int32_t), WinsockPath and
// WinsockStatus (BSTR), AboutBox(), DoEvents(), OnStartPage(IUnknown*), OnEndPage().
#pragma once

#include <cstdint>
#include <cstdio>
#include <new>
#include <string>
#include <string_view>

#include "controls/kit/dual_control.h"
#include "controls/socketbase/socket_core.h"
#include "platform/com/connection_point.h"

namespace quenda {

// Both event interfaces number these two events alike.
inline constexpr DISPID kSocketEventError = 2;         // ErrorCode (I2), Description (BSTR), by reference
inline constexpr DISPID kSocketEventReadyToSend = 3;   // none

// What differs between the socket controls in the shared members; a static constant of the
// component, referred to for the control's whole life.
struct SocketControlTraits {
    UINT notifyMessage;          // kUdpNotifyMessage or kIcmpNotifyMessage
    uint32_t winsockHelpBase;    // help context of WinsockInfo; the five others follow it
    const char* aboutText;       // what AboutBox shows
};

template <class I>
class SocketControl : public DualControl<I>, protected SocketBehaviour {
public:
    SocketControl(const ControlClassInfo& info, const SocketControlTraits& traits)
        : DualControl<I>(info), traits_(traits), core_(this, traits.notifyMessage, LibraryWinsockState()) {}

    HRESULT get_WinsockInfo(BSTR* value) override { return OutText(core_.Winsock().Description(), value, WinsockHelp(0)); }
    HRESULT put_WinsockInfo(BSTR) override { return this->ReportGuard(PropertyGuard::kReadOnly, WinsockHelp(0)); }
    HRESULT get_WinsockLoaded(VARIANT_BOOL* value) override { return OutBool(core_.WinsockLoaded(), value); }
    HRESULT put_WinsockLoaded(VARIANT_BOOL value) override {
        core_.ClearMessage();
        core_.SetWinsockLoaded(value != VARIANT_FALSE);
        return S_OK;
    }
    HRESULT get_WinsockMaxDatagramSize(int32_t* value) override {
        if (!this->UserMode()) return this->ReportGuard(PropertyGuard::kRuntimeOnly, WinsockHelp(2));
        return OutValue(static_cast<int32_t>(core_.Winsock().MaxDatagramSize()), value);
    }
    HRESULT put_WinsockMaxDatagramSize(int32_t) override { return this->ReportGuard(PropertyGuard::kReadOnly, WinsockHelp(2)); }
    HRESULT get_WinsockMaxSockets(int32_t* value) override {
        if (!this->UserMode()) return this->ReportGuard(PropertyGuard::kRuntimeOnly, WinsockHelp(3));
        return OutValue(static_cast<int32_t>(core_.Winsock().MaxSockets()), value);
    }
    HRESULT put_WinsockMaxSockets(int32_t) override { return this->ReportGuard(PropertyGuard::kReadOnly, WinsockHelp(3)); }
    HRESULT get_WinsockPath(BSTR* value) override {
        if (!this->UserMode()) return this->ReportGuard(PropertyGuard::kRuntimeOnly, WinsockHelp(4));
        return OutText(core_.Winsock().ModulePath(), value, WinsockHelp(4));
    }
    HRESULT put_WinsockPath(BSTR value) override {
        core_.ClearMessage();
        std::string path;
        if (int code = TextArgument(value, &path)) return Report(code, WinsockHelp(4));
        core_.Winsock().SetPath(path);
        return S_OK;
    }
    HRESULT get_WinsockStatus(BSTR* value) override { return OutText(core_.Winsock().SystemStatus(), value, WinsockHelp(5)); }
    HRESULT put_WinsockStatus(BSTR) override { return this->ReportGuard(PropertyGuard::kReadOnly, WinsockHelp(5)); }

    // There is no dialog a component library may open on its own here; the text goes where
    // headless messages go.
    HRESULT AboutBox() override {
        std::fprintf(stderr, "%s\n", traits_.aboutText);
        return S_OK;
    }
    HRESULT DoEvents() override {
        Hold();  // a dispatched message may let go of this control
        core_.DoEvents();
        Unhold();
        return S_OK;
    }
    HRESULT OnStartPage(IUnknown* page) override {
        serverPage_ = page;  // recorded only, no reference taken
        return S_OK;
    }
    HRESULT OnEndPage() override {
        serverPage_ = nullptr;
        return S_OK;
    }

protected:
    void Hold() override { this->AddRef(); }
    void Unhold() override { this->Release(); }

    // FD_WRITE: ReadyToSend to every sink.
    void RaiseReadyToSend() override {
        EventArgs none;
        this->FireEvent(kSocketEventReadyToSend, &none);
    }

    // Raises Error(code, description); a failure to build its arguments drops it.
    void RaiseErrorEvent(int code, std::string_view description) {
        try {
            EventArgs args;
            args.AddI2(static_cast<int16_t>(code));
            args.AddLatin1(description);
            this->FireEvent(kSocketEventError, &args);
        } catch (const std::bad_alloc&) {
        }
    }

    // Closing as Active = False does it: with no socket only a Reset; inside an event the close
    // is deferred (close pending); otherwise what is queued is delivered first (when AcceptData
    // is on), then the socket is closed and the core reset. Returns 0 or the Winsock error of
    // closing.
    int CloseDraining() {
        if (!core_.IsOpen()) {
            core_.Reset();
            return 0;
        }
        if (core_.InEvent()) {
            core_.SetClosePending(true);
            return 0;
        }
        // A DataIn handler of the drain that closes again would only drain what this one drains.
        if (draining_) return 0;
        draining_ = true;
        if (core_.AcceptData()) this->ReadLoop(ReadMode::kDrain);
        draining_ = false;
        int result = core_.CloseHandle();
        core_.Reset();
        return result;
    }

    // The check at the top of every read-loop round: false when the loop must stop (no socket,
    // reception off, or, in notification mode, a close asked for meanwhile, which is carried
    // out here).
    bool ReadRoundMayStart(ReadMode mode) {
        if (!core_.IsOpen() || !core_.AcceptData()) return false;
        if (mode == ReadMode::kNotification && core_.ClosePending()) {
            core_.SetInEvent(false);
            this->CloseSocket();
            return false;
        }
        return true;
    }

    // One read of the read loop into the emptied receive buffer, which then holds what came:
    // recv when connected (*address and *port are left as given: the peer), else recvfrom,
    // which names the sender (address in network order, port in host order). Returns the byte
    // count, or -1 when the loop must end: nothing more queued, the socket gone, no layer, or
    // another error, which raises Error(code, "Winsock error in recv()").
    int ReadOne(bool connected, uint32_t* address, uint16_t* port) {
        const WinsockApi* ws = core_.Api();
        if (ws == nullptr) return SOCKET_ERROR;
        ReceiveBuffer& buffer = core_.Buffer();
        buffer.Clear();
        int got;
        if (connected) {
            got = ws->recv(core_.Socket(), buffer.Area(), buffer.Capacity(), 0);
        } else {
            WS_sockaddr_in from{};
            int fromLength = sizeof from;
            got = ws->recvfrom(core_.Socket(), buffer.Area(), buffer.Capacity(), 0, reinterpret_cast<WS_sockaddr*>(&from),
                               &fromLength);
            *address = from.sin_addr.s_addr;
            *port = ws->ntohs(from.sin_port);
        }
        if (got == SOCKET_ERROR) {
            int error = ws->WSAGetLastError();
            if (error != WSAEWOULDBLOCK && error != WSAENOTSOCK) RaiseErrorEvent(error, "Winsock error in recv()");
            return SOCKET_ERROR;
        }
        buffer.SetCount(got);
        return got;
    }

    uint32_t WinsockHelp(int winsockIndex) const { return traits_.winsockHelpBase + static_cast<uint32_t>(winsockIndex); }

    // The result of an operation's code, with the core's message when the operation set one.
    HRESULT Report(int code, uint32_t helpContext) { return this->ReportCode(code, core_.Message(), helpContext); }

    // The bytes of a text argument, one per character; 200 when memory is short.
    static int TextArgument(BSTR value, std::string* bytes) {
        try {
            *bytes = Latin1FromBstr(value);
            return 0;
        } catch (const std::bad_alloc&) {
            return kCodeOutOfMemory;
        }
    }

    HRESULT OutText(std::string_view bytes, BSTR* out, uint32_t helpContext) {
        if (out == nullptr) return E_POINTER;
        *out = BstrFromLatin1(bytes);
        return *out != nullptr ? S_OK : this->ReportCode(kCodeOutOfMemory, nullptr, helpContext);
    }
    template <typename T>
    static HRESULT OutValue(T value, T* out) {
        if (out == nullptr) return E_POINTER;
        *out = value;
        return S_OK;
    }
    static HRESULT OutBool(bool value, VARIANT_BOOL* out) { return OutValue(value ? VARIANT_TRUE : VARIANT_FALSE, out); }

    const SocketControlTraits& traits_;
    SocketCore core_;
    IUnknown* serverPage_ = nullptr;  // from OnStartPage, not counted
    bool draining_ = false;           // CloseDraining is delivering what was queued
};

}  // namespace quenda
