// Late-bound calls, an event recorder and loopback peers for the TCP control tests.
#include "tests/tcpcontrols/control_harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quenda::test {
namespace {

CallResult Invoke(IDispatch* control, DISPID id, WORD flags, std::vector<VARIANT> args, VARIANT* result) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID named = DISPID_PROPERTYPUT;
    const bool put = flags == DISPATCH_PROPERTYPUT;
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), put ? &named : nullptr,
                      static_cast<UINT>(reversed.size()), put ? 1u : 0u};
    EXCEPINFO info{};
    UINT argError = 0;
    CallResult out;
    out.hr = control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &info, &argError);
    if (out.hr == DISP_E_EXCEPTION) {
        out.hr = info.scode;
        out.description = Utf8FromBstr(info.bstrDescription);
    }
    ClearExcepInfo(&info);
    for (VARIANT& v : reversed) VariantClear(&v);
    return out;
}

}  // namespace

std::string AllBytes() {
    std::string bytes(256, '\0');
    for (int i = 0; i < 256; ++i) bytes[static_cast<size_t>(i)] = static_cast<char>(i);
    return bytes;
}

CallResult PutProperty(IDispatch* control, DISPID id, std::vector<VARIANT> args) {
    return Invoke(control, id, DISPATCH_PROPERTYPUT, std::move(args), nullptr);
}

CallResult CallMethod(IDispatch* control, DISPID id, std::vector<VARIANT> args) {
    return Invoke(control, id, DISPATCH_METHOD, std::move(args), nullptr);
}

VARIANT GetProperty(IDispatch* control, DISPID id) {
    VARIANT value;
    VariantInit(&value);
    const CallResult result = Invoke(control, id, DISPATCH_PROPERTYGET, {}, &value);
    EXPECT_EQ(result.hr, S_OK) << "get of " << id << ": " << result.description;
    return value;
}

int32_t GetNumber(IDispatch* control, DISPID id) {
    Variant value(GetProperty(control, id));
    Variant number;
    if (FAILED(VariantChangeType(number.Get(), value.Get(), 0, VT_I4))) return INT32_MIN;
    return number->lVal;
}

DISPID IdOfName(IDispatch* control, const char16_t* name) {
    std::u16string copy(name);
    LPOLESTR names[] = {copy.data()};
    DISPID id = DISPID_UNKNOWN;
    control->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    return id;
}

void ExpectIdsOfNames(IDispatch* control, std::initializer_list<std::pair<const char16_t*, DISPID>> names) {
    for (const auto& [name, id] : names) EXPECT_EQ(IdOfName(control, name), id) << Utf8FromUtf16(name);
}

VARIANT I2Arg(int16_t value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I2;
    v.iVal = value;
    return v;
}

VARIANT I4Arg(int32_t value) { return MakeVariantI4(value); }

VARIANT BoolArg(bool value) { return MakeVariantBool(value); }

VARIANT TextArg(std::string_view bytes) { return MakeVariantBstr(BstrFromLatin1(bytes)); }

HRESULT RecordingSink::GetTypeInfoCount(UINT* count) {
    *count = 0;
    return S_OK;
}

HRESULT RecordingSink::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
    EXPECT_EQ(flags, DISPATCH_METHOD);
    Event event;
    event.id = id;
    for (UINT i = 0; i < params->cArgs; ++i) {
        VARIANT& arg = params->rgvarg[params->cArgs - 1 - i];
        event.types.push_back(static_cast<VARTYPE>(arg.vt & ~VT_BYREF));
        EXPECT_TRUE(arg.vt & VT_BYREF) << "event " << id << " argument " << i;
        if ((arg.vt & ~VT_BYREF) == VT_BSTR) {
            Variant text;
            VariantChangeType(text.Get(), &arg, 0, VT_BSTR);
            event.texts.push_back(Latin1FromBstr(text->bstrVal));
        } else {
            if (arg.vt == (VT_BOOL | VT_BYREF)) *arg.pboolVal = accept ? VARIANT_TRUE : VARIANT_FALSE;
            Variant number;
            VariantChangeType(number.Get(), &arg, 0, VT_I4);
            event.numbers.push_back(number->lVal);
        }
    }
    events.push_back(event);
    if (onEvent) onEvent(event);
    return S_OK;
}

std::vector<Event> RecordingSink::Of(DISPID id) const {
    std::vector<Event> found;
    for (const Event& e : events) {
        if (e.id == id) found.push_back(e);
    }
    return found;
}

std::string RecordingSink::JoinedText(DISPID id, int32_t first, size_t textArg) const {
    std::string joined;
    for (const Event& e : events) {
        if (e.id == id && !e.numbers.empty() && e.numbers[0] == first && e.texts.size() > textArg) joined += e.texts[textArg];
    }
    return joined;
}

void* RecordingSink::FindInterface(REFIID iid) {
    return iid == IID_IUnknown || iid == IID_IDispatch ? static_cast<IDispatch*>(this) : nullptr;
}

Advised::Advised(IDispatch* control, REFIID events) : sink_(ComPtr<RecordingSink>::Adopt(new RecordingSink())) {
    ComPtr<IConnectionPointContainer> container;
    EXPECT_EQ(control->QueryInterface(IID_IConnectionPointContainer, container.OutVoid()), S_OK);
    if (!container) return;
    EXPECT_EQ(container->FindConnectionPoint(events, point_.Out()), S_OK);
    if (point_) {
        EXPECT_EQ(point_->Advise(static_cast<IDispatch*>(sink_.Get()), &cookie_), S_OK);
    }
}

Advised::~Advised() {
    if (point_ && cookie_ != 0) point_->Unadvise(cookie_);
}

LoopbackClient::LoopbackClient(uint16_t port, const QHostAddress& address) {
    QObject::connect(&socket_, &QTcpSocket::readyRead, [this] {
        const QByteArray bytes = socket_.readAll();
        received_.append(bytes.constData(), static_cast<size_t>(bytes.size()));
    });
    QObject::connect(&socket_, &QTcpSocket::disconnected, [this] { closed_ = true; });
    QObject::connect(&socket_, &QTcpSocket::errorOccurred, [this] {
        if (socket_.state() == QAbstractSocket::UnconnectedState) closed_ = true;
    });
    socket_.connectToHost(address, port);
}

LoopbackClient::~LoopbackClient() { QObject::disconnect(&socket_, nullptr, nullptr, nullptr); }

bool LoopbackClient::WaitConnected() {
    return RunLoopUntil([this] { return socket_.state() == QAbstractSocket::ConnectedState || closed_; }) &&
           socket_.state() == QAbstractSocket::ConnectedState;
}

void LoopbackClient::Write(std::string_view bytes) {
    socket_.write(bytes.data(), static_cast<qint64>(bytes.size()));
    socket_.flush();
}

bool LoopbackClient::WaitBytes(size_t count) {
    return RunLoopUntil([&] { return received_.size() >= count; });
}

bool LoopbackClient::WaitClosed() {
    return RunLoopUntil([this] { return closed_; });
}

FakeUpstream::FakeUpstream() {
    server_.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            auto peer = std::make_unique<Peer>();
            peer->socket = socket;
            Peer* p = peer.get();
            peers_.push_back(std::move(peer));
            QObject::connect(socket, &QTcpSocket::readyRead, [this, p] {
                const QByteArray bytes = p->socket->readAll();
                p->received.append(bytes.constData(), static_cast<size_t>(bytes.size()));
                const auto& r = p->received;
                const size_t whole = r.size() >= 2 ? 2 + (static_cast<uint8_t>(r[0]) << 8 | static_cast<uint8_t>(r[1])) : SIZE_MAX;
                if (!p->answered && !reply.empty() && r.size() >= whole) {
                    p->answered = true;
                    p->socket->write(reply.data(), static_cast<qint64>(reply.size()));
                    if (closeAfterReply) p->socket->disconnectFromHost();
                }
            });
            QObject::connect(socket, &QTcpSocket::disconnected, [p] { p->open = false; });
        }
    });
}

FakeUpstream::~FakeUpstream() {
    for (const auto& peer : peers_) QObject::disconnect(peer->socket, nullptr, nullptr, nullptr);
}

FullListener::FullListener() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 0) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return;
    }
    port_ = ntohs(address.sin_port);
    // A backlog of 0 holds one finished connection; the second one's SYN is already dropped.
    for (int i = 0; i < 2; ++i) {
        const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        if (filler < 0) return;
        fillers_.push_back(filler);
        ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    pollfd first{fillers_[0], POLLOUT, 0};
    int error = -1;
    socklen_t errorLength = sizeof error;
    ready_ = ::poll(&first, 1, 2000) == 1 &&
             ::getsockopt(fillers_[0], SOL_SOCKET, SO_ERROR, &error, &errorLength) == 0 && error == 0;
}

FullListener::~FullListener() {
    for (int fd : fillers_) ::close(fd);
    if (listener_ >= 0) ::close(listener_);
}

}  // namespace quenda::test
