// IPPort over QTcpSocket: one outgoing connection at a time, its bytes both ways, a bounded
// connection attempt, and the events that carry the element index.
#include "platform/tcpcontrols/ip_port.h"

#include <QHostAddress>
#include <QPointer>
#include <QTimer>

#include <string>

#include "platform/tcpcontrols/dispatch_object.h"
#include "platform/tcpcontrols/socket_owner.h"
#include "platform/tcpcontrols/socket_status.h"
#include "platform/winsock/winsock_types.h"

namespace quenda {
namespace {

using tcpcontrols::DispatchObject;
using tcpcontrols::SocketStatus;

constexpr int32_t kMaxTimeoutMs = 600000;

constexpr DispMember kMembers[] = {
    DispPropGet<&IIPPort::get_Connected, VT_BOOL>(u"Connected", kIPPortConnected),
    DispPropPut<&IIPPort::put_Connected, VT_BOOL>(u"Connected", kIPPortConnected),
    DispPropPut<&IIPPort::put_DataToSend>(u"DataToSend", kIPPortDataToSend),
    DispPropGet<&IIPPort::get_RemoteHost>(u"RemoteHost", kIPPortRemoteHost),
    DispPropPut<&IIPPort::put_RemoteHost>(u"RemoteHost", kIPPortRemoteHost),
    DispPropGet<&IIPPort::get_RemotePort>(u"RemotePort", kIPPortRemotePort),
    DispPropPut<&IIPPort::put_RemotePort>(u"RemotePort", kIPPortRemotePort),
    DispPropGet<&IIPPort::get_Linger, VT_BOOL>(u"Linger", kIPPortLinger),
    DispPropPut<&IIPPort::put_Linger, VT_BOOL>(u"Linger", kIPPortLinger),
    DispPropGet<&IIPPort::get_ConnectTimeout>(u"ConnectTimeout", kIPPortConnectTimeout),
    DispPropPut<&IIPPort::put_ConnectTimeout>(u"ConnectTimeout", kIPPortConnectTimeout),
    DispPropGet<&IIPPort::get_Index>(u"Index", kIPPortIndex),
};

constexpr DispInterface kTable = {IID_IIPPort, u"IIPPort", kDispDual, kMembers, sizeof kMembers / sizeof kMembers[0]};

class IPPort final : public DispatchObject<IIPPort> {
public:
    explicit IPPort(int16_t index) : DispatchObject(kTable, DIID_IIPPortEvents, u"IPPort"), index_(index) {
        timer_ = new QTimer(owner_.Context());
        timer_->setSingleShot(true);
        QObject::connect(timer_, &QTimer::timeout, owner_.Context(), Callback([this] { GiveUp(); }));
    }

    HRESULT get_Connected(int16_t* on) override { return OutBool(on, state_ == State::kConnected); }
    HRESULT put_Connected(int16_t on) override {
        if (on) {
            Connect();
        } else {
            Close({0, ""}, linger_);
        }
        return S_OK;
    }

    // A peer that leaves more than kMaxUnsentBytes unread is cut off (WSAENOBUFS).
    HRESULT put_DataToSend(BSTR text) override {
        if (state_ != State::kConnected || socket_ == nullptr) return S_OK;
        const std::string bytes = Latin1FromBstr(text);
        if (static_cast<size_t>(socket_->bytesToWrite()) + bytes.size() > tcpcontrols::kMaxUnsentBytes) {
            Close(tcpcontrols::StatusFromCode(WSAENOBUFS), false);
            return S_OK;
        }
        socket_->write(bytes.data(), static_cast<qint64>(bytes.size()));
        return S_OK;
    }

    HRESULT get_RemoteHost(BSTR* host) override {
        if (host == nullptr) return E_POINTER;
        *host = BstrFromLatin1(remoteHost_);
        return S_OK;
    }
    HRESULT put_RemoteHost(BSTR host) override {
        remoteHost_ = Latin1FromBstr(host);
        return S_OK;
    }
    HRESULT get_RemotePort(int32_t* port) override {
        if (port == nullptr) return E_POINTER;
        *port = remotePort_;
        return S_OK;
    }
    HRESULT put_RemotePort(int32_t port) override {
        if (port < 0 || port > 65535) return Fail(E_INVALIDARG, "RemotePort must be 0 to 65535.");
        remotePort_ = port;
        return S_OK;
    }
    HRESULT get_Linger(int16_t* on) override { return OutBool(on, linger_); }
    HRESULT put_Linger(int16_t on) override {
        linger_ = on != 0;
        return S_OK;
    }
    HRESULT get_ConnectTimeout(int32_t* ms) override {
        if (ms == nullptr) return E_POINTER;
        *ms = timeoutMs_;
        return S_OK;
    }
    HRESULT put_ConnectTimeout(int32_t ms) override {
        if (ms < 1 || ms > kMaxTimeoutMs) return Fail(E_INVALIDARG, "ConnectTimeout must be 1 to 600000 ms.");
        timeoutMs_ = ms;
        return S_OK;
    }
    HRESULT get_Index(int16_t* index) override {
        if (index == nullptr) return E_POINTER;
        *index = index_;
        return S_OK;
    }

private:
    enum class State { kIdle, kConnecting, kConnected };

    ~IPPort() override = default;

    static HRESULT OutBool(int16_t* out, bool value) {
        if (out == nullptr) return E_POINTER;
        *out = value ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }

    void Connect() {
        if (state_ != State::kIdle) return;  // one connection at a time
        state_ = State::kConnecting;
        const int attempt = ++attempt_;
        QHostAddress address;
        int failure = 0;
        if (!address.setAddress(QString::fromLatin1(remoteHost_.data(), static_cast<qsizetype>(remoteHost_.size())))) {
            failure = remoteHost_.empty() ? WSAEDESTADDRREQ : WSAHOST_NOT_FOUND;
        } else if (remotePort_ == 0) {
            failure = WSAEADDRNOTAVAIL;
        }
        if (failure != 0) {
            const SocketStatus status = tcpcontrols::StatusFromCode(failure);
            owner_.Post(Callback([this, attempt, status] {
                if (attempt == attempt_ && state_ == State::kConnecting) Finish(status);
            }));
            return;
        }
        socket_ = new QTcpSocket(owner_.Context());
        socket_->setReadBufferSize(tcpcontrols::kReadChunk);
        QPointer<QTcpSocket> watched(socket_);
        QObject::connect(socket_, &QTcpSocket::readyRead, owner_.Context(), Callback([this, watched] { ReadFrom(watched); }));
        // Queued, so what happens inside a member call is reported from the loop.
        QObject::connect(
            socket_, &QTcpSocket::connected, owner_.Context(), Callback([this, watched] { Established(watched); }),
            Qt::QueuedConnection);
        QObject::connect(
            socket_, &QTcpSocket::disconnected, owner_.Context(), Callback([this, watched] { Closed(watched); }),
            Qt::QueuedConnection);
        QObject::connect(
            socket_, &QTcpSocket::errorOccurred, owner_.Context(), Callback([this, watched] { Closed(watched); }),
            Qt::QueuedConnection);
        timer_->start(timeoutMs_);
        socket_->connectToHost(address, static_cast<quint16>(remotePort_));
    }

    void Established(const QPointer<QTcpSocket>& socket) {
        // Raised even when the peer has closed since: its last bytes are still to be read,
        // and the queued close reports the end afterwards.
        if (!socket || socket != socket_ || state_ != State::kConnecting) return;
        timer_->stop();
        state_ = State::kConnected;
        EventArgs args;
        args.AddI2(index_);
        args.AddI4(0);
        args.AddLatin1("");
        Fire(kIPPortOnConnected, &args);
        // Bytes that came with the connection raised readyRead before Connected was told.
        ReadFrom(socket);
    }

    void ReadFrom(const QPointer<QTcpSocket>& socket) {
        // Bytes are only handed on once Connected has been raised; data that came while an
        // earlier DataIn ran raises no new readyRead, so it is drained here.
        while (socket && socket == socket_ && state_ == State::kConnected && socket->bytesAvailable() > 0) {
            const QByteArray bytes = socket->read(tcpcontrols::kReadChunk);
            EventArgs args;
            args.AddI2(index_);
            args.AddLatin1(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
            Fire(kIPPortOnDataIn, &args);
        }
    }

    void Closed(const QPointer<QTcpSocket>& socket) {
        if (!socket || socket != socket_) return;  // already reported
        if (socket->state() != QAbstractSocket::UnconnectedState) return;  // an error that did not close it
        ReadFrom(socket);
        if (socket != socket_) return;
        Finish(tcpcontrols::StatusFromSocketError(socket->error(), socket->errorString()));
    }

    void GiveUp() {
        if (state_ != State::kConnecting) return;
        if (socket_ != nullptr) owner_.Retire(socket_, false);
        socket_ = nullptr;
        Finish(tcpcontrols::StatusFromCode(WSAETIMEDOUT));
    }

    // Host-asked close: Disconnected follows from the loop, unless nothing was open.
    void Close(const SocketStatus& status, bool graceful) {
        if (state_ == State::kIdle) return;
        timer_->stop();
        if (socket_ != nullptr) owner_.Retire(socket_, graceful);
        socket_ = nullptr;
        state_ = State::kIdle;
        owner_.Post(Callback([this, status] { RaiseDisconnected(status); }));
    }

    // The connection or attempt is over: forget the socket and report it.
    void Finish(const SocketStatus& status) {
        timer_->stop();
        if (socket_ != nullptr) owner_.Retire(socket_, false);
        socket_ = nullptr;
        state_ = State::kIdle;
        RaiseDisconnected(status);
    }

    void RaiseDisconnected(const SocketStatus& status) {
        EventArgs args;
        args.AddI2(index_);
        args.AddI4(status.code);
        args.AddLatin1(status.description);
        Fire(kIPPortOnDisconnected, &args);
    }

    const int16_t index_;                    // element index, first argument of every event
    tcpcontrols::SocketOwner owner_;         // receives every signal; parent of the socket and timer
    QTimer* timer_ = nullptr;                // the connection attempt's limit, child of owner_
    QTcpSocket* socket_ = nullptr;           // the connection or attempt, nullptr while idle
    State state_ = State::kIdle;
    int attempt_ = 0;                        // counts Connect calls, to drop stale posted failures
    std::string remoteHost_;                 // RemoteHost as set
    int32_t remotePort_ = 0;                 // RemotePort
    bool linger_ = true;                     // Linger
    int32_t timeoutMs_ = kIPPortDefaultTimeoutMs;  // ConnectTimeout
};

}  // namespace

HRESULT CreateIPPort(int16_t index, IDispatch** port) {
    if (port == nullptr) return E_POINTER;
    *port = static_cast<IIPPort*>(new IPPort(index));
    return S_OK;
}

}  // namespace quenda
