// IPDaemon and the IPPort array reached only through IDispatch by DISPID, and the event sinks
// that turn their events into TcpService handler calls.
#include "app/shell/tcp_dispatch_controls.h"

#include <map>
#include <vector>

#include "platform/com/com_object.h"
#include "platform/com/connection_point.h"
#include "platform/tcpcontrols/ip_daemon.h"
#include "platform/tcpcontrols/ip_port.h"

namespace quenda {
namespace {

struct Failure {
    HRESULT result = S_OK;  // of the last failed call
    std::string text;       // its error description
};

// Calls member id of target with args in declaration order (the value last for a put), then
// clears args. A failure is recorded in failure and returned.
HRESULT Call(IDispatch* target, DISPID id, WORD flags, std::vector<VARIANT> args,
             Failure& failure) {
    if (target == nullptr) {
        for (VARIANT& v : args) VariantClear(&v);
        return E_POINTER;
    }
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID named = DISPID_PROPERTYPUT;
    const bool put = flags == DISPATCH_PROPERTYPUT;
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), put ? &named : nullptr,
                      static_cast<UINT>(reversed.size()), put ? 1u : 0u};
    EXCEPINFO info{};
    UINT argError = 0;
    HRESULT hr = target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, nullptr, &info,
                                &argError);
    if (FAILED(hr)) {
        failure.text.clear();
        if (hr == DISP_E_EXCEPTION) {
            hr = info.scode;
            failure.text = Utf8FromBstr(info.bstrDescription);
        }
        failure.result = hr;
    }
    ClearExcepInfo(&info);
    for (VARIANT& v : reversed) VariantClear(&v);
    return hr;
}

HRESULT Put(IDispatch* target, DISPID id, std::vector<VARIANT> args, Failure& failure) {
    return Call(target, id, DISPATCH_PROPERTYPUT, std::move(args), failure);
}

VARIANT I2(int16_t value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I2;
    v.iVal = value;
    return v;
}

VARIANT Bytes(std::string_view bytes) {
    return MakeVariantBstr(BstrFromLatin1(bytes));
}

bool FitsConnectionId(int id) {
    return id >= -32768 && id <= 32767;
}

// Argument i (declaration order) of an event as a number; false when missing or not numeric.
bool ArgNumber(const DISPPARAMS& params, UINT i, int* value) {
    if (i >= params.cArgs || params.rgvarg == nullptr) return false;
    Variant number;
    if (FAILED(VariantChangeType(number.Get(), &params.rgvarg[params.cArgs - 1 - i], 0, VT_I4)))
        return false;
    *value = number->lVal;
    return true;
}

// Argument i as bytes, one per character; false when missing or not text.
bool ArgBytes(const DISPPARAMS& params, UINT i, std::string* bytes) {
    if (i >= params.cArgs || params.rgvarg == nullptr) return false;
    Variant text;
    if (FAILED(VariantChangeType(text.Get(), &params.rgvarg[params.cArgs - 1 - i], 0, VT_BSTR)))
        return false;
    *bytes = Latin1FromBstr(text->bstrVal);
    return true;
}

// An event sink: every event Invoke goes to handler until Detach.
class EventSink final : public ComObject<IDispatch> {
  public:
    using Handler = std::function<void(DISPID, const DISPPARAMS&)>;
    explicit EventSink(Handler handler) : handler_(std::move(handler)) {}

    void Detach() { handler_ = nullptr; }

    HRESULT GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info != nullptr) *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                   UINT*) override {
        if (params == nullptr || !handler_) return S_OK;
        Handler handler = handler_;  // the handler may detach this sink
        handler(id, *params);
        return S_OK;
    }

  private:
    void* FindInterface(REFIID iid) override {
        return iid == IID_IUnknown || iid == IID_IDispatch ? static_cast<IDispatch*>(this)
                                                           : nullptr;
    }

    Handler handler_;  // nullptr once detached
};

// Advises sink on control's event interface; the returned cookie is 0 on failure.
uint32_t Advise(IDispatch* control, REFIID events, IDispatch* sink, IConnectionPoint** pointOut) {
    *pointOut = nullptr;
    if (control == nullptr) return 0;
    ComPtr<IConnectionPointContainer> container;
    if (FAILED(control->QueryInterface(IID_IConnectionPointContainer, container.OutVoid())))
        return 0;
    ComPtr<IConnectionPoint> point;
    if (FAILED(container->FindConnectionPoint(events, point.Out()))) return 0;
    uint32_t cookie = 0;
    if (FAILED(point->Advise(sink, &cookie))) return 0;
    *pointOut = point.Detach();
    return cookie;
}

// One advised control: the control, its connection point and the cookie.
struct Advised {
    ComPtr<IDispatch> control;
    ComPtr<IConnectionPoint> point;
    uint32_t cookie = 0;

    void Attach(ComPtr<IDispatch> created, REFIID events, IDispatch* sink) {
        control = std::move(created);
        IConnectionPoint* p = nullptr;
        cookie = Advise(control.Get(), events, sink, &p);
        point = ComPtr<IConnectionPoint>::Adopt(p);
    }
    void Unadvise() {
        if (point && cookie != 0) point->Unadvise(cookie);
        point.Reset();
        cookie = 0;
    }
};

class DispatchServer final : public TcpServerControl {
  public:
    DispatchServer(const Advised& daemon, Failure& failure) : daemon_(daemon), failure_(failure) {}

    void ListenOn(const std::string& address) { address_ = address; }

    // Address and port first, then the two switches, as the control starts listening on the
    // second. An address the control refuses never falls back to every address.
    int StartListening(uint16_t port) override {
        const HRESULT host =
            Put(daemon_.control.Get(), kIPDaemonLocalHost, {Bytes(address_)}, failure_);
        if (FAILED(host)) return static_cast<int>(host & 0xFFFF);
        HRESULT first =
            Put(daemon_.control.Get(), kIPDaemonLocalPort, {MakeVariantI4(port)}, failure_);
        const HRESULT accept = Put(daemon_.control.Get(), kIPDaemonAcceptConnections,
                                   {MakeVariantBool(true)}, failure_);
        if (SUCCEEDED(first)) first = accept;
        const HRESULT listen =
            Put(daemon_.control.Get(), kIPDaemonListening, {MakeVariantBool(true)}, failure_);
        if (SUCCEEDED(first)) first = listen;
        // The host sees a control's failure by the low word of its HRESULT.
        return SUCCEEDED(first) ? 0 : static_cast<int>(first & 0xFFFF);
    }
    void SendToConnection(int id, std::string_view data) override {
        if (!FitsConnectionId(id)) return;
        Put(daemon_.control.Get(), kIPDaemonDataToSend, {I2(static_cast<int16_t>(id)), Bytes(data)},
            failure_);
    }
    void CloseConnection(int id) override {
        if (!FitsConnectionId(id)) return;
        Call(daemon_.control.Get(), kIPDaemonDisconnect, DISPATCH_METHOD,
             {I2(static_cast<int16_t>(id))}, failure_);
    }

  private:
    const Advised& daemon_;
    Failure& failure_;
    std::string address_;  // "" = every address
};

class DispatchClient final : public TcpClientControl {
  public:
    DispatchClient(ComPtr<IDispatch> created, IDispatch* sink, Failure& failure)
        : failure_(failure) {
        element_.Attach(std::move(created), DIID_IIPPortEvents, sink);
    }
    ~DispatchClient() override { element_.Unadvise(); }

    void SetOption(bool on) override {
        Put(Control(), kIPPortLinger, {MakeVariantBool(on)}, failure_);
    }
    void SetRemoteHost(const std::string& host) override {
        Put(Control(), kIPPortRemoteHost, {Bytes(host)}, failure_);
    }
    void SetRemotePort(uint16_t port) override {
        Put(Control(), kIPPortRemotePort, {MakeVariantI4(port)}, failure_);
    }
    void SetConnected(bool connect) override {
        Put(Control(), kIPPortConnected, {MakeVariantBool(connect)}, failure_);
    }
    void Send(std::string_view data) override {
        Put(Control(), kIPPortDataToSend, {Bytes(data)}, failure_);
    }

    IDispatch* Control() const { return element_.control.Get(); }

  private:
    Advised element_;
    Failure& failure_;
};

class DispatchClientArray final : public TcpClientArray {
  public:
    DispatchClientArray(TcpElementFactory make, IDispatch* sink, Failure& failure)
        : make_(std::move(make)), sink_(sink), failure_(failure) {}

    // An index never created is created now, so the reference is always usable.
    TcpClientControl& Element(int index) override {
        const auto it = elements_.find(index);
        if (it != elements_.end()) return *it->second;
        CreateElement(index);
        return *elements_.at(index);
    }
    void CreateElement(int index) override {
        ComPtr<IDispatch> created;
        if (index >= 0 && index <= 32767) {
            const HRESULT hr = make_(static_cast<int16_t>(index), created.Out());
            if (FAILED(hr)) {
                failure_.result = hr;
                failure_.text =
                    "IPPort element " + std::to_string(index) + " could not be created.";
                created.Reset();
            }
        }
        // Replacing an element would invalidate references the service holds.
        elements_.try_emplace(
            index, std::make_unique<DispatchClient>(std::move(created), sink_, failure_));
    }

    IDispatch* Control(int index) const {
        const auto it = elements_.find(index);
        return it == elements_.end() ? nullptr : it->second->Control();
    }

  private:
    TcpElementFactory make_;
    IDispatch* sink_;  // the sink every element is advised on
    Failure& failure_;
    std::map<int, std::unique_ptr<DispatchClient>> elements_;
};

}  // namespace

struct TcpDispatchControls::Impl {
    explicit Impl(TcpElementFactory make)
        : daemonSink(ComPtr<EventSink>::Adopt(
              new EventSink([this](DISPID id, const DISPPARAMS& p) { DaemonEvent(id, p); }))),
          portSink(ComPtr<EventSink>::Adopt(
              new EventSink([this](DISPID id, const DISPPARAMS& p) { PortEvent(id, p); }))),
          server(daemon, failure),
          clients(make ? std::move(make) : TcpElementFactory(&CreateIPPort), portSink.Get(),
                  failure) {
        ComPtr<IDispatch> created;
        if (FAILED(CreateIPDaemon(created.Out()))) created.Reset();
        daemon.Attach(std::move(created), DIID_IIPDaemonEvents, daemonSink.Get());
        clients.CreateElement(0);
    }
    ~Impl() {
        daemonSink->Detach();
        portSink->Detach();
        daemon.Unadvise();
    }

    void DaemonEvent(DISPID id, const DISPPARAMS& params) {
        if (service == nullptr) return;
        int connection = 0;
        std::string data;
        switch (id) {
            case kIPDaemonOnConnected:
                if (ArgNumber(params, 0, &connection)) service->HandleTcpConnected(connection);
                break;
            case kIPDaemonOnConnectionRequest:
                service->HandleTcpConnectionRequest();
                break;
            case kIPDaemonOnDataIn:
                if (ArgNumber(params, 0, &connection) && ArgBytes(params, 1, &data))
                    service->HandleTcpData(connection, data);
                break;
            case kIPDaemonOnDisconnected:
                if (ArgNumber(params, 0, &connection)) service->HandleTcpDisconnected(connection);
                break;
            default:
                break;
        }
    }

    void PortEvent(DISPID id, const DISPPARAMS& params) {
        int index = 0;
        std::string data;
        if (service == nullptr || !ArgNumber(params, 0, &index)) return;
        switch (id) {
            case kIPPortOnConnected:
                service->HandleUpstreamConnected(index);
                break;
            case kIPPortOnDataIn:
                if (ArgBytes(params, 1, &data)) service->HandleUpstreamData(index, data);
                break;
            case kIPPortOnDisconnected:
                service->HandleUpstreamDisconnected(index);
                break;
            default:
                break;
        }
    }

    TcpService* service = nullptr;  // where events go; nullptr drops them
    Failure failure;
    ComPtr<EventSink> daemonSink;
    ComPtr<EventSink> portSink;
    Advised daemon;
    DispatchServer server;
    DispatchClientArray clients;  // declared last: its elements go before the sinks and daemon
};

TcpDispatchControls::TcpDispatchControls(TcpElementFactory makeElement)
    : impl_(std::make_unique<Impl>(std::move(makeElement))) {}

TcpDispatchControls::~TcpDispatchControls() = default;

TcpServerControl& TcpDispatchControls::Server() {
    return impl_->server;
}

TcpClientArray& TcpDispatchControls::Clients() {
    return impl_->clients;
}

void TcpDispatchControls::ListenOn(const std::string& address) {
    impl_->server.ListenOn(address);
}

void TcpDispatchControls::Bind(TcpService* service) {
    impl_->service = service;
}

HRESULT TcpDispatchControls::LastFailure() const {
    return impl_->failure.result;
}

const std::string& TcpDispatchControls::LastFailureText() const {
    return impl_->failure.text;
}

IDispatch* TcpDispatchControls::Daemon() const {
    return impl_->daemon.control.Get();
}

IDispatch* TcpDispatchControls::Element(int index) const {
    return impl_->clients.Control(index);
}

}  // namespace quenda
