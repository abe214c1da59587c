// A socket control object: the dual interface I over the control kit, a SocketCore, and the
// members both socket controls share (AcceptData, Active, DataToSend, DontRoute, the buffer
// sizes, LocalHost's put, RemoteHost, SocketHandle, UseConnection, DataToSendB, the six Winsock
// properties, AboutBox, DoEvents, OnStartPage, OnEndPage) with their dispatch-table rows, the
// conversions every property uses, and the steps of opening, sending, closing, reading and
// raising Error and ReadyToSend that both follow.
//
// I declares, besides its own members, get_/put_ of: AcceptData, Active, DontRoute,
// UseConnection, WinsockLoaded (VARIANT_BOOL); DataToSend, LocalHost, RemoteHost, WinsockInfo,
// WinsockPath, WinsockStatus (BSTR); InBufferSize, OutBufferSize, SocketHandle,
// WinsockMaxDatagramSize, WinsockMaxSockets (int32_t); DataToSendB (VARIANT); and AboutBox(),
// DoEvents(), OnStartPage(IUnknown*), OnEndPage().
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "controls/kit/dual_control.h"
#include "controls/socketbase/byte_array.h"
#include "controls/socketbase/socket_core.h"
#include "platform/com/connection_point.h"

namespace quenda {

// Both event interfaces number these two events alike.
inline constexpr DISPID kSocketEventError = 2;  // ErrorCode (I2), Description (BSTR), by reference
inline constexpr DISPID kSocketEventReadyToSend = 3;  // none

// Component codes both socket controls use alike (Winsock codes pass through unchanged).
inline constexpr int kSocketAlreadyActive = 104;
inline constexpr int kSocketLocalHostActive = 107;
inline constexpr int kSocketNotActive = 109;
inline constexpr int kSocketSizeWhileActive = 112;
inline constexpr int kSocketRemoteHostConnected = 114;
inline constexpr int kSocketUseConnectionActive = 117;
// The Error code of an event whose arguments could not be built.
inline constexpr int kSocketEventOutOfMemory = 7;
// Both buffer sizes, and the receive buffer, start at this many bytes.
inline constexpr int32_t kSocketDefaultBufferSize = 2048;

// The DISPIDs of the shared members in one control's interface.
struct SocketDispids {
    DISPID acceptData, active, dataToSend, dontRoute, inBufferSize, localHost, outBufferSize,
        remoteHost, socketHandle, useConnection, winsockInfo, winsockLoaded, winsockMaxDatagramSize,
        winsockMaxSockets, winsockPath, winsockStatus, dataToSendB, onStartPage, onEndPage;
};

// What differs between the socket controls in the shared members; a static constant of the
// component, referred to for the control's whole life.
struct SocketControlTraits {
    UINT notifyMessage;        // kUdpNotifyMessage or kIcmpNotifyMessage
    uint32_t helpBase;         // help context of DISPID 1; DISPID n has helpBase + n - 1
    const SocketDispids* ids;  // the shared members' DISPIDs
    const char* aboutText;     // what AboutBox shows
    // The control's text for a component code, or nullptr to use the code's own text.
    const char* (*codeMessage)(int code);
};

// The dispatch-table rows of the shared members of interface I, numbered by ids.
template <class I>
constexpr std::array<DispMember, 38> SocketMemberRows(const SocketDispids& ids) {
    return {
        DispPropGet<&I::get_AcceptData, VT_BOOL>(u"AcceptData", ids.acceptData),
        DispPropPut<&I::put_AcceptData, VT_BOOL>(u"AcceptData", ids.acceptData),
        DispPropGet<&I::get_Active, VT_BOOL>(u"Active", ids.active),
        DispPropPut<&I::put_Active, VT_BOOL>(u"Active", ids.active),
        DispPropGet<&I::get_DataToSend>(u"DataToSend", ids.dataToSend),
        DispPropPut<&I::put_DataToSend>(u"DataToSend", ids.dataToSend),
        DispPropGet<&I::get_DontRoute, VT_BOOL>(u"DontRoute", ids.dontRoute),
        DispPropPut<&I::put_DontRoute, VT_BOOL>(u"DontRoute", ids.dontRoute),
        DispPropGet<&I::get_InBufferSize>(u"InBufferSize", ids.inBufferSize),
        DispPropPut<&I::put_InBufferSize>(u"InBufferSize", ids.inBufferSize),
        DispPropGet<&I::get_LocalHost>(u"LocalHost", ids.localHost),
        DispPropPut<&I::put_LocalHost>(u"LocalHost", ids.localHost),
        DispPropGet<&I::get_OutBufferSize>(u"OutBufferSize", ids.outBufferSize),
        DispPropPut<&I::put_OutBufferSize>(u"OutBufferSize", ids.outBufferSize),
        DispPropGet<&I::get_RemoteHost>(u"RemoteHost", ids.remoteHost),
        DispPropPut<&I::put_RemoteHost>(u"RemoteHost", ids.remoteHost),
        DispPropGet<&I::get_SocketHandle>(u"SocketHandle", ids.socketHandle),
        DispPropPut<&I::put_SocketHandle>(u"SocketHandle", ids.socketHandle),
        DispPropGet<&I::get_UseConnection, VT_BOOL>(u"UseConnection", ids.useConnection),
        DispPropPut<&I::put_UseConnection, VT_BOOL>(u"UseConnection", ids.useConnection),
        DispPropGet<&I::get_WinsockInfo>(u"WinsockInfo", ids.winsockInfo),
        DispPropPut<&I::put_WinsockInfo>(u"WinsockInfo", ids.winsockInfo),
        DispPropGet<&I::get_WinsockLoaded, VT_BOOL>(u"WinsockLoaded", ids.winsockLoaded),
        DispPropPut<&I::put_WinsockLoaded, VT_BOOL>(u"WinsockLoaded", ids.winsockLoaded),
        DispPropGet<&I::get_WinsockMaxDatagramSize>(u"WinsockMaxDatagramSize",
                                                    ids.winsockMaxDatagramSize),
        DispPropPut<&I::put_WinsockMaxDatagramSize>(u"WinsockMaxDatagramSize",
                                                    ids.winsockMaxDatagramSize),
        DispPropGet<&I::get_WinsockMaxSockets>(u"WinsockMaxSockets", ids.winsockMaxSockets),
        DispPropPut<&I::put_WinsockMaxSockets>(u"WinsockMaxSockets", ids.winsockMaxSockets),
        DispPropGet<&I::get_WinsockPath>(u"WinsockPath", ids.winsockPath),
        DispPropPut<&I::put_WinsockPath>(u"WinsockPath", ids.winsockPath),
        DispPropGet<&I::get_WinsockStatus>(u"WinsockStatus", ids.winsockStatus),
        DispPropPut<&I::put_WinsockStatus>(u"WinsockStatus", ids.winsockStatus),
        DispPropGet<&I::get_DataToSendB>(u"DataToSendB", ids.dataToSendB),
        DispPropPut<&I::put_DataToSendB>(u"DataToSendB", ids.dataToSendB),
        DispMethod<&I::AboutBox>(u"AboutBox", DISPID_ABOUTBOX),
        DispMethod<&I::DoEvents>(u"DoEvents", DISPID_DOEVENTS),
        DispMethod<&I::OnStartPage>(u"OnStartPage", ids.onStartPage),
        DispMethod<&I::OnEndPage>(u"OnEndPage", ids.onEndPage),
    };
}

// The rows of a and then those of b, as one table.
template <size_t A, size_t B>
constexpr std::array<DispMember, A + B> JoinRows(const std::array<DispMember, A>& a,
                                                 const std::array<DispMember, B>& b) {
    std::array<DispMember, A + B> rows{};
    for (size_t i = 0; i < A; ++i) rows[i] = a[i];
    for (size_t i = 0; i < B; ++i) rows[A + i] = b[i];
    return rows;
}

template <class I>
class SocketControl : public DualControl<I>, protected SocketBehaviour {
  public:
    SocketControl(const ControlClassInfo& info, const SocketControlTraits& traits)
        : DualControl<I>(info),
          traits_(traits),
          core_(this, traits.notifyMessage, LibraryWinsockState()) {}

    HRESULT get_AcceptData(VARIANT_BOOL* value) override {
        if (!this->UserMode())
            return this->ReportGuard(PropertyGuard::kRuntimeOnly, HelpOf(ids().acceptData));
        return OutBool(core_.AcceptData(), value);
    }
    HRESULT put_AcceptData(VARIANT_BOOL value) override {
        core_.ClearMessage();
        core_.SetAcceptData(value != VARIANT_FALSE);
        return S_OK;
    }
    HRESULT get_Active(VARIANT_BOOL* value) override {
        if (!this->UserMode())
            return this->ReportGuard(PropertyGuard::kRuntimeOnly, HelpOf(ids().active));
        return OutBool(core_.IsOpen(), value);
    }
    HRESULT put_Active(VARIANT_BOOL value) override {
        Hold();  // closing raises DataIn for what is queued; a handler may let go of this control
        core_.ClearMessage();
        int code = value != VARIANT_FALSE ? Open() : this->CloseSocket();
        HRESULT hr = Report(code, HelpOf(ids().active));
        Unhold();
        return hr;
    }
    HRESULT get_DataToSend(BSTR* value) override {
        if (value != nullptr) *value = nullptr;
        return this->ReportGuard(PropertyGuard::kWriteOnly, HelpOf(ids().dataToSend));
    }
    HRESULT put_DataToSend(BSTR value) override {
        core_.ClearMessage();
        std::string bytes;
        int code = TextArgument(value, &bytes);
        if (code == 0) code = Send(bytes);
        return Report(code, HelpOf(ids().dataToSend));
    }
    HRESULT get_DontRoute(VARIANT_BOOL* value) override {
        if (!this->UserMode())
            return this->ReportGuard(PropertyGuard::kRuntimeOnly, HelpOf(ids().dontRoute));
        return OutBool(dontRoute_, value);
    }
    HRESULT put_DontRoute(VARIANT_BOOL value) override {
        dontRoute_ = value != VARIANT_FALSE;
        return PutSocketOption(WS_SO_DONTROUTE, dontRoute_ ? 1 : 0, HelpOf(ids().dontRoute));
    }
    HRESULT get_InBufferSize(int32_t* value) override { return OutValue(inBufferSize_, value); }
    HRESULT put_InBufferSize(int32_t value) override {
        inBufferSize_ = value;  // kept as asked even when the socket refuses it
        this->MarkDirty();
        return PutSocketOption(WS_SO_RCVBUF, value, HelpOf(ids().inBufferSize));
    }
    HRESULT put_LocalHost(BSTR value) override {
        core_.ClearMessage();
        if (core_.IsOpen()) return Report(Fail(kSocketLocalHostActive), HelpOf(ids().localHost));
        std::string text;
        int code = TextArgument(value, &text);
        if (code == 0) code = core_.SetLocalHost(text);
        return Report(code, HelpOf(ids().localHost));
    }
    HRESULT get_OutBufferSize(int32_t* value) override { return OutValue(outBufferSize_, value); }
    HRESULT put_OutBufferSize(int32_t value) override {
        outBufferSize_ = value;  // kept as asked even when the socket refuses it
        this->MarkDirty();
        return PutSocketOption(WS_SO_SNDBUF, value, HelpOf(ids().outBufferSize));
    }
    HRESULT get_RemoteHost(BSTR* value) override {
        return OutText(remoteAddress_ != 0 ? core_.DottedAddress(remoteAddress_) : std::string(),
                       value, HelpOf(ids().remoteHost));
    }
    HRESULT put_RemoteHost(BSTR value) override {
        core_.ClearMessage();
        if (core_.IsOpen() && useConnection_) {
            return Report(Fail(kSocketRemoteHostConnected), HelpOf(ids().remoteHost));
        }
        std::string text;
        int code = TextArgument(value, &text);
        if (code != 0) return Report(code, HelpOf(ids().remoteHost));
        this->MarkDirty();
        code = core_.ResolveRemoteHost(text, &remoteAddress_);
        return Report(code, HelpOf(ids().remoteHost));
    }
    HRESULT get_SocketHandle(int32_t* value) override {
        if (!this->UserMode())
            return this->ReportGuard(PropertyGuard::kRuntimeOnly, HelpOf(ids().socketHandle));
        return OutValue(core_.IsOpen() ? static_cast<int32_t>(core_.Socket()) : -1, value);
    }
    HRESULT put_SocketHandle(int32_t) override {
        return this->ReportGuard(PropertyGuard::kReadOnly, HelpOf(ids().socketHandle));
    }
    HRESULT get_UseConnection(VARIANT_BOOL* value) override {
        return OutBool(useConnection_, value);
    }
    HRESULT put_UseConnection(VARIANT_BOOL value) override {
        core_.ClearMessage();
        if (core_.IsOpen())
            return Report(Fail(kSocketUseConnectionActive), HelpOf(ids().useConnection));
        useConnection_ = value != VARIANT_FALSE;
        this->MarkDirty();
        return S_OK;
    }
    // DataToSendB reports under AcceptData's help context.
    HRESULT get_DataToSendB(VARIANT* value) override {
        if (value != nullptr) VariantInit(value);
        if (!this->UserMode())
            return this->ReportGuard(PropertyGuard::kRuntimeOnly, traits_.helpBase);
        return this->ReportGuard(PropertyGuard::kWriteOnly, traits_.helpBase);
    }
    HRESULT put_DataToSendB(VARIANT value) override {
        core_.ClearMessage();
        std::string bytes;
        if (!BytesOfByteArray(value, &bytes))
            return this->ReportGuard(PropertyGuard::kByteArray, traits_.helpBase);
        return Report(Send(bytes), traits_.helpBase);
    }

    HRESULT get_WinsockInfo(BSTR* value) override {
        return OutText(core_.Winsock().Description(), value, WinsockHelp(0));
    }
    HRESULT put_WinsockInfo(BSTR) override {
        return this->ReportGuard(PropertyGuard::kReadOnly, WinsockHelp(0));
    }
    HRESULT get_WinsockLoaded(VARIANT_BOOL* value) override {
        return OutBool(core_.WinsockLoaded(), value);
    }
    HRESULT put_WinsockLoaded(VARIANT_BOOL value) override {
        core_.ClearMessage();
        core_.SetWinsockLoaded(value != VARIANT_FALSE);
        return S_OK;
    }
    HRESULT get_WinsockMaxDatagramSize(int32_t* value) override {
        if (!this->UserMode())
            return this->ReportGuard(PropertyGuard::kRuntimeOnly, WinsockHelp(2));
        return OutValue(static_cast<int32_t>(core_.Winsock().MaxDatagramSize()), value);
    }
    HRESULT put_WinsockMaxDatagramSize(int32_t) override {
        return this->ReportGuard(PropertyGuard::kReadOnly, WinsockHelp(2));
    }
    HRESULT get_WinsockMaxSockets(int32_t* value) override {
        if (!this->UserMode())
            return this->ReportGuard(PropertyGuard::kRuntimeOnly, WinsockHelp(3));
        return OutValue(static_cast<int32_t>(core_.Winsock().MaxSockets()), value);
    }
    HRESULT put_WinsockMaxSockets(int32_t) override {
        return this->ReportGuard(PropertyGuard::kReadOnly, WinsockHelp(3));
    }
    HRESULT get_WinsockPath(BSTR* value) override {
        if (!this->UserMode())
            return this->ReportGuard(PropertyGuard::kRuntimeOnly, WinsockHelp(4));
        return OutText(core_.Winsock().ModulePath(), value, WinsockHelp(4));
    }
    HRESULT put_WinsockPath(BSTR value) override {
        core_.ClearMessage();
        std::string path;
        if (int code = TextArgument(value, &path)) return Report(code, WinsockHelp(4));
        core_.Winsock().SetPath(path);
        return S_OK;
    }
    HRESULT get_WinsockStatus(BSTR* value) override {
        return OutText(core_.Winsock().SystemStatus(), value, WinsockHelp(5));
    }
    HRESULT put_WinsockStatus(BSTR) override {
        return this->ReportGuard(PropertyGuard::kReadOnly, WinsockHelp(5));
    }

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
    // Opens the socket as Active = True does; returns 0 or the code.
    virtual int Open() = 0;
    // Sends one datagram or message as DataToSend does; returns 0 or the code.
    virtual int Send(std::string_view bytes) = 0;

    void Hold() override { this->AddRef(); }
    void Unhold() override { this->Release(); }

    // FD_WRITE: ReadyToSend to every sink.
    void RaiseReadyToSend() override {
        EventArgs none;
        this->FireEvent(kSocketEventReadyToSend, &none);
    }

    // The first steps of every Open: a second open refused; otherwise the close flag and the
    // buffer cleared. Returns 0 or the code.
    int BeginOpen() {
        core_.ClearMessage();
        if (core_.IsOpen()) return Fail(kSocketAlreadyActive);
        core_.SetClosePending(false);
        core_.Buffer().Clear();
        return 0;
    }

    // The last steps of every Open with the new socket s: connecting to remote when
    // UseConnection is set, then read and write notifications. 0 when both worked; otherwise the
    // core is reset and the Winsock error returned.
    int FinishOpen(const WinsockApi& ws, SOCKET s, const WS_sockaddr_in& remote) {
        bool ok = !useConnection_ ||
                  ws.connect(s, reinterpret_cast<const WS_sockaddr*>(&remote), sizeof remote) !=
                      SOCKET_ERROR ||
                  ws.WSAGetLastError() == WSAEWOULDBLOCK;
        if (ok)
            ok = ws.WSAAsyncSelect(s, core_.Window(), traits_.notifyMessage, FD_READ | FD_WRITE) !=
                 SOCKET_ERROR;
        if (ok) return 0;
        int error = ws.WSAGetLastError();
        core_.Reset();
        return error;
    }

    // Sends bytes on the open socket: to the connected peer with UseConnection, else to.
    // Returns 0 or the Winsock error.
    int SendTo(const WinsockApi& ws, std::string_view bytes, const WS_sockaddr_in& to) {
        int length = bytes.size() > static_cast<size_t>(INT32_MAX) ? INT32_MAX
                                                                   : static_cast<int>(bytes.size());
        int sent = useConnection_ ? ws.send(core_.Socket(), bytes.data(), length, 0)
                                  : ws.sendto(core_.Socket(), bytes.data(), length, 0,
                                              reinterpret_cast<const WS_sockaddr*>(&to), sizeof to);
        return sent == SOCKET_ERROR ? ws.WSAGetLastError() : 0;
    }

    // Sets the message of a component code (when the control has one) and returns the code.
    int Fail(int code) {
        if (const char* text = traits_.codeMessage(code)) core_.SetMessage(text);
        return code;
    }

    // setsockopt of a 4-byte SOL_SOCKET option on the open socket, reported.
    HRESULT PutSocketOption(int option, int32_t value, uint32_t helpContext) {
        core_.ClearMessage();
        return Report(core_.SetOption(WS_SOL_SOCKET, option, value), helpContext);
    }

    // Raises DataIn (id) with args while data is the current one (DataIn's byte-array
    // property; restored afterwards, as events may nest). built false (a text of args could not
    // be made) raises Error(7) instead.
    void RaiseDataIn(DISPID id, EventArgs& args, bool built, std::string_view data) {
        if (!built) {
            RaiseErrorEvent(kSocketEventOutOfMemory, "Out of memory while firing DataIn.");
            return;
        }
        std::optional<std::string_view> outer = currentData_;
        currentData_ = data;
        this->FireEvent(id, &args);
        currentData_ = outer;
    }

    // The get of DataIn's byte-array property: the running DataIn's data as an array of byte
    // variants, empty outside DataIn.
    HRESULT GetCurrentData(VARIANT* value, uint32_t helpContext) {
        if (value == nullptr) return E_POINTER;
        VariantInit(value);
        if (!this->UserMode()) return this->ReportGuard(PropertyGuard::kRuntimeOnly, helpContext);
        if (!currentData_) return S_OK;
        if (!ByteVariantArray(*currentData_, value))
            return this->ReportCode(kCodeOutOfMemory, nullptr, helpContext);
        return S_OK;
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
            got = ws->recvfrom(core_.Socket(), buffer.Area(), buffer.Capacity(), 0,
                               reinterpret_cast<WS_sockaddr*>(&from), &fromLength);
            *address = from.sin_addr.s_addr;
            *port = ws->ntohs(from.sin_port);
        }
        if (got == SOCKET_ERROR) {
            int error = ws->WSAGetLastError();
            if (error != WSAEWOULDBLOCK && error != WSAENOTSOCK)
                RaiseErrorEvent(error, "Winsock error in recv()");
            return SOCKET_ERROR;
        }
        buffer.SetCount(got);
        return got;
    }

    const SocketDispids& ids() const { return *traits_.ids; }
    uint32_t HelpOf(DISPID id) const { return traits_.helpBase + static_cast<uint32_t>(id) - 1; }
    uint32_t WinsockHelp(int winsockIndex) const {
        return HelpOf(ids().winsockInfo + winsockIndex);
    }

    // The result of an operation's code, with the core's message when the operation set one.
    HRESULT Report(int code, uint32_t helpContext) {
        return this->ReportCode(code, core_.Message(), helpContext);
    }

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
    static HRESULT OutBool(bool value, VARIANT_BOOL* out) {
        return OutValue(value ? VARIANT_TRUE : VARIANT_FALSE, out);
    }

    const SocketControlTraits& traits_;
    SocketCore core_;
    uint32_t remoteAddress_ = 0;  // network order; 0 none, all bits set the limited broadcast
    int32_t inBufferSize_ = 0;    // SO_RCVBUF asked for
    int32_t outBufferSize_ = 0;   // SO_SNDBUF asked for
    bool dontRoute_ = false;
    bool useConnection_ = false;
    std::optional<std::string_view> currentData_;  // data of the running DataIn, if any
    IUnknown* serverPage_ = nullptr;               // from OnStartPage, not counted
    bool draining_ = false;                        // CloseDraining is delivering what was queued
};

}  // namespace quenda
