// The program's side of one ICMPPort control: created by ProgID (registering libpellin.so
// when the class is missing), driven through its dual interface, DataIn received through a
// connection-point sink.
#include "app/shell/icmp_port_control.h"

#include "app/shell/control_libraries.h"
#include "controls/udpport/udpport_interface.h"
#include "platform/com/com_library.h"
#include "platform/com/connection_point.h"
#include "platform/com/error_info.h"

namespace quenda {

// DataIn's five arguments come last first, each by reference; anything of another shape is
// ignored.
void IcmpPortControl::OnEvent(DISPID id, const DISPPARAMS& params) {
    if (id != kIcmpEventDataIn || params.cArgs != 5 || !onDataIn_) return;
    const VARIANT* args = params.rgvarg;
    constexpr VARTYPE kShort = VT_BYREF | VT_I2;
    constexpr VARTYPE kText = VT_BYREF | VT_BSTR;
    if (args[4].vt != kShort || args[3].vt != kShort || args[2].vt != kText ||
        args[1].vt != kShort || args[0].vt != kText) {
        return;
    }
    onDataIn_(*args[4].piVal, *args[3].piVal, Latin1FromBstr(*args[2].pbstrVal),
              *args[1].piVal != 0, Latin1FromBstr(*args[0].pbstrVal));
}

std::unique_ptr<IcmpPortControl> IcmpPortControl::Create(const std::string& libraryPath,
                                                         HRESULT* result) {
    HRESULT ignored;
    HRESULT& hr = result != nullptr ? *result : ignored;
    CLSID clsid{};
    hr = RegisterBundledLibrary(kIcmpPortProgId, libraryPath);
    if (SUCCEEDED(hr)) hr = CLSIDFromProgID(kIcmpPortProgId, &clsid);
    if (FAILED(hr)) return nullptr;
    std::unique_ptr<IcmpPortControl> port(new IcmpPortControl);
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IICMPPort,
                          port->control_.OutVoid());
    if (FAILED(hr)) return nullptr;
    hr = port->events_.Connect(
        port->control_.Get(), DIID__IICMPPortEvents,
        [raw = port.get()](DISPID id, const DISPPARAMS& params) { raw->OnEvent(id, params); });
    if (FAILED(hr)) return nullptr;
    hr = S_OK;
    return port;
}

IcmpPortControl::~IcmpPortControl() {
    events_.Disconnect();
    control_.Reset();
}

int IcmpPortControl::Result(HRESULT hr) {
    const int number = HostErrorNumber(hr);
    if (number == 0) return 0;
    lastErrorText_.clear();
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Out()) == S_OK) {
        Bstr text;
        info->GetDescription(text.Out());
        lastErrorText_ = Latin1FromBstr(text.Get());
    }
    return number;
}

int IcmpPortControl::SetWinsockLoaded(bool loaded) {
    return Result(control_->put_WinsockLoaded(loaded ? VARIANT_TRUE : VARIANT_FALSE));
}

int IcmpPortControl::SetRemoteHost(const std::string& host) {
    return Result(control_->put_RemoteHost(Bstr::FromLatin1(host).Get()));
}

bool IcmpPortControl::IsActive() {
    VARIANT_BOOL active = VARIANT_FALSE;
    return SUCCEEDED(control_->get_Active(&active)) && active != VARIANT_FALSE;
}

int IcmpPortControl::SetActive(bool active) {
    return Result(control_->put_Active(active ? VARIANT_TRUE : VARIANT_FALSE));
}

int IcmpPortControl::SetMessageType(int16_t type) {
    return Result(control_->put_MessageType(type));
}

int IcmpPortControl::SetMessageSubType(int16_t code) {
    return Result(control_->put_MessageSubType(code));
}

int IcmpPortControl::SendMessage(std::string_view data) {
    return Result(control_->put_DataToSend(Bstr::FromLatin1(data).Get()));
}

}  // namespace quenda
