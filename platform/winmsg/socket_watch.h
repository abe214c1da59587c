// A one-shot readiness watch on a file descriptor, run by the Qt loop, for the Winsock layer.
#pragma once

#include <functional>
#include <memory>

#include "platform/winmsg/win_types.h"

namespace quenda {

// Calls a function once when the descriptor becomes ready, then stays quiet until armed
// again: the shape of Winsock's "post once, re-enabled by the next call" notifications.
// The descriptor is not owned and must stay open while the watch exists.
class QUENDA_WINMSG_API SocketWatch {
  public:
    enum class Direction {
        kRead,   // data (or a connection, or the end of the stream) can be read
        kWrite,  // data can be written
    };

    // A disarmed watch of fd; onReady runs on the loop's thread and may destroy the watch.
    SocketWatch(int fd, Direction direction, std::function<void()> onReady);
    ~SocketWatch();
    SocketWatch(const SocketWatch&) = delete;
    SocketWatch& operator=(const SocketWatch&) = delete;

    // Starts watching; when fd is (or becomes) ready the watch disarms itself and calls
    // onReady. Returns false, and watches nothing, when the thread has no Qt loop or fd is
    // negative.
    bool Arm();

    // Stops watching until the next Arm.
    void Disarm();

    bool IsArmed() const;

  private:
    struct Impl;
    std::shared_ptr<Impl> impl_;  // also held by a running onReady, which may outlive the watch
};

}  // namespace quenda
