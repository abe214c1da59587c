// The program's side of one UDPPort control: created by ProgID (registering libtarnel.so
// when the class is missing), driven through its dual interface, DataIn received through a
// connection-point sink.
#include "app/shell/udp_port_control.h"

#include <sys/socket.h>

#include "app/shell/control_libraries.h"
#include "platform/com/com_library.h"
#include "platform/com/connection_point.h"
#include "platform/com/error_info.h"

namespace quenda {

// Takes the control's DataIn and Error events apart; arguments come last first, each by
// reference, and anything of another shape is ignored.
void UdpPortControl::OnEvent(DISPID id, const DISPPARAMS& params) {
    const VARIANT* args = params.rgvarg;
    if (id == kUdpEventError && params.cArgs == 2 && args[1].vt == (VT_BYREF | VT_I2) &&
        args[0].vt == (VT_BYREF | VT_BSTR)) {
        RaiseError(*args[1].piVal, Latin1FromBstr(*args[0].pbstrVal));
        return;
    }
    if (id != kUdpEventDataIn || params.cArgs != 3) return;
    if (args[2].vt != (VT_BYREF | VT_BSTR) || args[1].vt != (VT_BYREF | VT_BSTR) ||
        args[0].vt != (VT_BYREF | VT_I2)) {
        return;
    }
    RaiseDataIn(Latin1FromBstr(*args[2].pbstrVal), Latin1FromBstr(*args[1].pbstrVal),
                static_cast<uint16_t>(*args[0].piVal));
}

std::unique_ptr<UdpPortControl> UdpPortControl::Create(const std::string& libraryPath,
                                                       HRESULT* result) {
    HRESULT ignored;
    HRESULT& hr = result != nullptr ? *result : ignored;
    CLSID clsid{};
    hr = RegisterBundledLibrary(kUdpPortProgId, libraryPath);
    if (SUCCEEDED(hr)) hr = CLSIDFromProgID(kUdpPortProgId, &clsid);
    if (FAILED(hr)) return nullptr;
    std::unique_ptr<UdpPortControl> port(new UdpPortControl);
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUDPPort,
                          port->control_.OutVoid());
    if (FAILED(hr)) return nullptr;
    hr = port->events_.Connect(
        port->control_.Get(), DIID__IUDPPortEvents,
        [raw = port.get()](DISPID id, const DISPPARAMS& params) { raw->OnEvent(id, params); });
    if (FAILED(hr)) return nullptr;
    hr = S_OK;
    return port;
}

UdpPortControl::~UdpPortControl() {
    events_.Disconnect();
    control_.Reset();
}

int UdpPortControl::Result(HRESULT hr) {
    int number = HostErrorNumber(hr);
    if (number == 0) return 0;
    lastError_ = number;
    lastErrorText_.clear();
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Out()) == S_OK) {
        Bstr text;
        info->GetDescription(text.Out());
        lastErrorText_ = Latin1FromBstr(text.Get());
    }
    return number;
}

int UdpPortControl::SetActive(bool active) {
    return Result(control_->put_Active(active ? VARIANT_TRUE : VARIANT_FALSE));
}

int UdpPortControl::SetLocalPort(int32_t port) {
    return Result(control_->put_LocalPort(port));
}

int UdpPortControl::SetLocalHost(const std::string& address) {
    return Result(control_->put_LocalHost(Bstr::FromLatin1(address).Get()));
}

int UdpPortControl::SetWinsockLoaded(bool loaded) {
    return Result(control_->put_WinsockLoaded(loaded ? VARIANT_TRUE : VARIANT_FALSE));
}

int UdpPortControl::SetMaxPacketSize(int32_t bytes) {
    return Result(control_->put_MaxPacketSize(bytes));
}

int UdpPortControl::SetInBufferSize(int32_t bytes) {
    return Result(control_->put_InBufferSize(bytes));
}

int32_t UdpPortControl::GrantedInBufferSize() {
    // The control reads back what was asked for; the kernel knows what was granted. A socket
    // handle of the Winsock layer is its file descriptor in this process.
    int32_t handle = -1;
    if (!IsActive() || FAILED(control_->get_SocketHandle(&handle)) || handle < 0) return -1;
    int booked = 0;
    socklen_t length = sizeof booked;
    if (::getsockopt(handle, SOL_SOCKET, SO_RCVBUF, &booked, &length) != 0) return -1;
    return booked / 2;  // Linux books twice the size it grants
}

bool UdpPortControl::IsActive() {
    VARIANT_BOOL active = VARIANT_FALSE;
    return SUCCEEDED(control_->get_Active(&active)) && active != VARIANT_FALSE;
}

void UdpPortControl::SendDatagram(const std::string& host, uint16_t port, std::string_view data) {
    if (!remoteKnown_ || host != remoteHost_) {
        Bstr text = Bstr::FromLatin1(host);
        remoteKnown_ = false;
        if (Result(control_->put_RemoteHost(text.Get())) != 0) return;
        remoteHost_ = host;
        if (Result(control_->put_RemotePort(port)) != 0) return;
        remotePort_ = port;
        remoteKnown_ = true;
    } else if (port != remotePort_) {
        remoteKnown_ = false;
        if (Result(control_->put_RemotePort(port)) != 0) return;
        remotePort_ = port;
        remoteKnown_ = true;
    }
    Bstr datagram = Bstr::FromLatin1(data);
    Result(control_->put_DataToSend(datagram.Get()));
}

void UdpPortControl::RaiseDataIn(std::string_view datagram, const std::string& address,
                                 uint16_t port) {
    if (onDataIn_) onDataIn_(datagram, address, port);
}

void UdpPortControl::RaiseError(int code, const std::string& description) {
    if (onError_) onError_(code, description);
}

}  // namespace quenda
