// The Qt side shared by the TCP controls: the object that receives their socket signals and
// owns their sockets, how a finished socket is put away, and the limits on buffered bytes.
#pragma once

#include <QObject>
#include <QTcpSocket>

#include <cstddef>
#include <functional>

namespace quenda::tcpcontrols {

// Bytes read from a socket per DataIn event, and what Qt may buffer ahead of them.
inline constexpr qint64 kReadChunk = 65536;
// Bytes a peer may leave unread before a further send cuts it off: two DNS messages of the
// largest size, so 256 relayed connections hold at most 64 MiB on their two sides.
inline constexpr size_t kMaxUnsentBytes = 2 * (2 + 65535);
// How long a gracefully closed socket may take to hand over its last bytes.
inline constexpr int kLingerMs = 30000;

// Marks a Qt callback of a control on the stack; a control destroyed meanwhile (its host let
// go of it inside an event) leaves its Qt objects to the loop instead of deleting the sender
// of the running signal.
class CallbackScope {
  public:
    CallbackScope();
    ~CallbackScope();
    CallbackScope(const CallbackScope&) = delete;
    CallbackScope& operator=(const CallbackScope&) = delete;
};

// The receiver of a control's signals and the parent of its server and sockets. When it
// goes, no callback of its control runs any more: connections are cut, sockets aborted and
// calls posted with Post dropped.
class SocketOwner {
  public:
    SocketOwner();
    ~SocketOwner();
    SocketOwner(const SocketOwner&) = delete;
    SocketOwner& operator=(const SocketOwner&) = delete;

    QObject* Context() const { return context_; }

    // Runs call from the event loop, not now.
    void Post(std::function<void()> call);

    // Cuts socket's connections to the control and closes it: gracefully lets its unsent bytes
    // go first (aborting after kLingerMs), otherwise resets it at once. It is deleted later.
    void Retire(QTcpSocket* socket, bool graceful);

  private:
    QObject* context_;  // owned; deleted now or by the loop, see ~SocketOwner
};

}  // namespace quenda::tcpcontrols
