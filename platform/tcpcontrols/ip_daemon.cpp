// IPDaemon over QTcpServer: accepts client connections, names each by a 16-bit id, passes
// their bytes both ways and raises the connection events.
#include "platform/tcpcontrols/ip_daemon.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <map>

#include "platform/tcpcontrols/dispatch_object.h"
#include "platform/tcpcontrols/socket_owner.h"
#include "platform/tcpcontrols/socket_status.h"
#include "platform/winsock/winsock_types.h"

namespace quenda {
namespace {

using tcpcontrols::DispatchObject;
using tcpcontrols::SocketStatus;

// The indexed put: the connection id, then the value, as a put of an indexed property
// receives them.
constexpr DispMember IndexedPut(const char16_t* name, DISPID id, DispMember method) {
    method.name = name;
    method.dispid = id;
    method.invokeKind = INVOKE_PROPERTYPUT;
    method.type = method.paramTypes[method.paramCount - 1];
    return method;
}

constexpr DispMember kMembers[] = {
    IndexedPut(u"DataToSend", kIPDaemonDataToSend, DispMethod<&IIPDaemon::put_DataToSend>(u"", 0)),
    DispPropGet<&IIPDaemon::get_Listening, VT_BOOL>(u"Listening", kIPDaemonListening),
    DispPropPut<&IIPDaemon::put_Listening, VT_BOOL>(u"Listening", kIPDaemonListening),
    DispPropGet<&IIPDaemon::get_LocalPort>(u"LocalPort", kIPDaemonLocalPort),
    DispPropGet<&IIPDaemon::get_LocalHost>(u"LocalHost", kIPDaemonLocalHost),
    DispPropPut<&IIPDaemon::put_LocalHost>(u"LocalHost", kIPDaemonLocalHost),
    DispPropPut<&IIPDaemon::put_LocalPort>(u"LocalPort", kIPDaemonLocalPort),
    DispPropGet<&IIPDaemon::get_AcceptConnections, VT_BOOL>(u"AcceptConnections",
                                                            kIPDaemonAcceptConnections),
    DispPropPut<&IIPDaemon::put_AcceptConnections, VT_BOOL>(u"AcceptConnections",
                                                            kIPDaemonAcceptConnections),
    DispMethod<&IIPDaemon::Disconnect>(u"Disconnect", kIPDaemonDisconnect),
    DispPropGet<&IIPDaemon::get_ConnectionCount>(u"ConnectionCount", kIPDaemonConnectionCount),
};

constexpr DispInterface kTable = {IID_IIPDaemon, u"IIPDaemon", kDispDual, kMembers,
                                  sizeof kMembers / sizeof kMembers[0]};

// A client address as people write it: IPv4 clients of the dual-stack socket without the
// "::ffff:" prefix.
QString AddressText(const QHostAddress& address) {
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : address.toString();
}

class IPDaemon final : public DispatchObject<IIPDaemon> {
  public:
    IPDaemon() : DispatchObject(kTable, DIID_IIPDaemonEvents, u"IPDaemon") {}

    HRESULT get_LocalPort(int32_t* port) override {
        if (port == nullptr) return E_POINTER;
        *port = server_ ? server_->serverPort() : localPort_;
        return S_OK;
    }
    HRESULT put_LocalPort(int32_t port) override {
        if (port < 0 || port > 65535) return Fail(E_INVALIDARG, "LocalPort must be 0 to 65535.");
        localPort_ = port;  // used the next time listening starts
        return S_OK;
    }
    HRESULT get_LocalHost(BSTR* address) override {
        if (address == nullptr) return E_POINTER;
        *address = BstrFromLatin1(localHost_.isNull() ? std::string()
                                                      : localHost_.toString().toStdString());
        return S_OK;
    }
    HRESULT put_LocalHost(BSTR address) override {
        const std::string text = Latin1FromBstr(address);
        QHostAddress host;
        if (!text.empty() && (!host.setAddress(QString::fromStdString(text)) ||
                              host.protocol() != QAbstractSocket::IPv4Protocol)) {
            return Fail(E_INVALIDARG, "LocalHost must be an IPv4 address.");
        }
        localHost_ = host;
        return S_OK;
    }
    HRESULT get_AcceptConnections(int16_t* on) override { return OutBool(on, accept_); }
    HRESULT put_AcceptConnections(int16_t on) override {
        accept_ = on != 0;
        return UpdateListening();
    }
    HRESULT get_Listening(int16_t* on) override { return OutBool(on, server_ != nullptr); }
    HRESULT put_Listening(int16_t on) override {
        listenAsked_ = on != 0;
        return UpdateListening();
    }

    // Unknown and closed connections are a no-op. A peer that leaves more than
    // kMaxUnsentBytes unread is cut off (WSAENOBUFS).
    HRESULT put_DataToSend(int16_t connectionId, BSTR text) override {
        QTcpSocket* socket = Find(connectionId);
        if (socket == nullptr || socket->state() != QAbstractSocket::ConnectedState) return S_OK;
        const std::string bytes = Latin1FromBstr(text);
        if (static_cast<size_t>(socket->bytesToWrite()) + bytes.size() >
            tcpcontrols::kMaxUnsentBytes) {
            Close(connectionId, tcpcontrols::StatusFromCode(WSAENOBUFS), false);
            return S_OK;
        }
        socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
        return S_OK;
    }

    // Bytes already sent still go out before the close; the Disconnected event follows from
    // the loop. Unknown ids are a no-op.
    HRESULT Disconnect(int16_t connectionId) override {
        Close(connectionId, {0, ""}, true);
        return S_OK;
    }

    HRESULT get_ConnectionCount(int32_t* count) override {
        if (count == nullptr) return E_POINTER;
        *count = static_cast<int32_t>(connections_.size());
        return S_OK;
    }

  private:
    ~IPDaemon() override = default;

    static HRESULT OutBool(int16_t* out, bool value) {
        if (out == nullptr) return E_POINTER;
        *out = value ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }

    HRESULT UpdateListening() {
        const bool wanted = accept_ && listenAsked_;
        if (!wanted) {
            StopListening();
            return S_OK;
        }
        if (server_ != nullptr) return S_OK;
        auto* server = new QTcpServer(owner_.Context());
        // Any address, IPv6 and IPv4 on one socket where the host has IPv6, else IPv4 only.
        const QHostAddress host =
            localHost_.isNull() ? QHostAddress(QHostAddress::Any) : localHost_;
        if (!server->listen(host, static_cast<quint16>(localPort_))) {
            const SocketStatus status =
                tcpcontrols::StatusFromSocketError(server->serverError(), server->errorString());
            delete server;
            listenAsked_ = false;  // setting Listening again retries
            return Fail(tcpcontrols::HresultFromSocketCode(status.code),
                        "Cannot listen on port " + std::to_string(localPort_) + ": " +
                            status.description + " (" + std::to_string(status.code) + ").");
        }
        server_ = server;
        QObject::connect(server_, &QTcpServer::newConnection, owner_.Context(),
                         Callback([this] { AcceptPending(); }));
        return S_OK;
    }

    void StopListening() {
        if (server_ == nullptr) return;
        QObject::disconnect(server_, nullptr, owner_.Context(), nullptr);
        server_->close();
        server_->deleteLater();
        server_ = nullptr;
    }

    // The next id after the last one handed out, skipping ids still open; 0 when all are open.
    int16_t NextId() {
        for (int tries = 0; tries < 32767; ++tries) {
            lastId_ = lastId_ >= 32767 ? 1 : static_cast<int16_t>(lastId_ + 1);
            if (connections_.count(lastId_) == 0) return lastId_;
        }
        return 0;
    }

    QTcpSocket* Find(int16_t id) const {
        const auto it = connections_.find(id);
        return it == connections_.end() ? nullptr : it->second.data();
    }

    void AcceptPending() {
        // A nested loop inside an event may accept more; each pass takes one socket.
        while (server_ != nullptr && server_->hasPendingConnections()) {
            QTcpSocket* socket = server_->nextPendingConnection();
            if (socket == nullptr) break;
            socket->setParent(owner_.Context());  // outlives the listening socket
            Take(socket);
        }
    }

    void Take(QTcpSocket* socket) {
        EventArgs request;
        request.AddLatin1(AddressText(socket->peerAddress()).toStdString());
        request.AddI4(socket->peerPort());
        request.AddBool(true);
        Fire(kIPDaemonOnConnectionRequest, &request);
        const VARIANT& accept = request.Value(2);
        const int16_t id = NextId();
        if ((accept.vt == VT_BOOL && accept.boolVal == VARIANT_FALSE) || id == 0) {
            socket->abort();
            socket->deleteLater();
            return;
        }
        socket->setReadBufferSize(tcpcontrols::kReadChunk);
        connections_[id] = socket;
        QPointer<QTcpSocket> watched(socket);
        QObject::connect(socket, &QTcpSocket::readyRead, owner_.Context(),
                         Callback([this, id, watched] { ReadFrom(id, watched); }));
        // Queued, so a close found inside a member call is reported from the loop.
        QObject::connect(socket, &QTcpSocket::disconnected, owner_.Context(),
                         Callback([this, id, watched] { Closed(id, watched); }),
                         Qt::QueuedConnection);
        QObject::connect(socket, &QTcpSocket::errorOccurred, owner_.Context(),
                         Callback([this, id, watched] { Closed(id, watched); }),
                         Qt::QueuedConnection);
        EventArgs connected;
        connected.AddI2(id);
        connected.AddI4(0);
        connected.AddLatin1("");
        Fire(kIPDaemonOnConnected, &connected);
    }

    void ReadFrom(int16_t id, const QPointer<QTcpSocket>& socket) {
        // Data that came while an earlier DataIn ran raises no new readyRead: drain it here.
        while (socket && Find(id) == socket.data() && socket->bytesAvailable() > 0) {
            const QByteArray bytes = socket->read(tcpcontrols::kReadChunk);
            EventArgs args;
            args.AddI2(id);
            args.AddLatin1(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
            Fire(kIPDaemonOnDataIn, &args);
        }
    }

    void Closed(int16_t id, const QPointer<QTcpSocket>& socket) {
        if (!socket || Find(id) != socket.data()) return;  // already reported
        if (socket->state() != QAbstractSocket::UnconnectedState)
            return;  // an error that did not close it
        ReadFrom(id, socket);
        if (Find(id) != socket.data()) return;
        const SocketStatus status =
            tcpcontrols::StatusFromSocketError(socket->error(), socket->errorString());
        connections_.erase(id);
        socket->deleteLater();
        RaiseDisconnected(id, status);
    }

    // Forgets connection id and closes it, gracefully (queued bytes still go out, for a
    // bounded time) or at once; Disconnected follows from the loop.
    void Close(int16_t id, const SocketStatus& status, bool graceful) {
        QTcpSocket* socket = Find(id);
        if (socket == nullptr) return;
        connections_.erase(id);
        owner_.Retire(socket, graceful);
        owner_.Post(Callback([this, id, status] { RaiseDisconnected(id, status); }));
    }

    void RaiseDisconnected(int16_t id, const SocketStatus& status) {
        EventArgs args;
        args.AddI2(id);
        args.AddI4(status.code);
        args.AddLatin1(status.description);
        Fire(kIPDaemonOnDisconnected, &args);
    }

    tcpcontrols::SocketOwner owner_;  // receives every signal; parent of all sockets
    QTcpServer* server_ = nullptr;    // listening socket, nullptr while not listening
    std::map<int16_t, QPointer<QTcpSocket>> connections_;  // open connections by id
    int16_t lastId_ = 0;                                   // the id handed out last
    int32_t localPort_ = 0;                                // port for the next listening start
    QHostAddress localHost_;                               // address for it; null = every address
    bool accept_ = false;                                  // AcceptConnections
    bool listenAsked_ = false;                             // Listening as last set
};

}  // namespace

HRESULT CreateIPDaemon(IDispatch** daemon) {
    if (daemon == nullptr) return E_POINTER;
    *daemon = static_cast<IIPDaemon*>(new IPDaemon());
    return S_OK;
}

}  // namespace quenda
