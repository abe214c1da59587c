// The receiver and parent of the TCP controls' Qt objects, torn down without calling back.
#include "platform/tcpcontrols/socket_owner.h"

#include <QAbstractSocket>
#include <QCoreApplication>
#include <QTcpServer>
#include <QTimer>

namespace quenda::tcpcontrols {
namespace {

thread_local int tCallbackDepth = 0;  // Qt callbacks of any control on this thread's stack

}  // namespace

CallbackScope::CallbackScope() { ++tCallbackDepth; }

CallbackScope::~CallbackScope() { --tCallbackDepth; }

SocketOwner::SocketOwner() : context_(new QObject()) {}

SocketOwner::~SocketOwner() {
    // Nothing may reach the control once it is gone: cut every signal to it, close every
    // socket (the listening one included, so its port is free at once) and drop posted calls.
    for (QObject* child : context_->findChildren<QObject*>()) {
        QObject::disconnect(child, nullptr, context_, nullptr);
    }
    for (QTcpServer* server : context_->findChildren<QTcpServer*>()) server->close();
    for (QAbstractSocket* socket : context_->findChildren<QAbstractSocket*>()) socket->abort();
    QCoreApplication::removePostedEvents(context_, QEvent::MetaCall);
    if (tCallbackDepth > 0) {
        context_->deleteLater();
    } else {
        delete context_;
    }
}

void SocketOwner::Post(std::function<void()> call) {
    QMetaObject::invokeMethod(context_, std::move(call), Qt::QueuedConnection);
}

void SocketOwner::Retire(QTcpSocket* socket, bool graceful) {
    QObject::disconnect(socket, nullptr, context_, nullptr);
    if (!graceful || socket->state() != QAbstractSocket::ConnectedState) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    QObject::connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(kLingerMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    socket->disconnectFromHost();
}

}  // namespace quenda::tcpcontrols
