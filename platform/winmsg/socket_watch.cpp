// Puts a QSocketNotifier behind the one-shot readiness watch.
#include "platform/winmsg/socket_watch.h"

#include <QSocketNotifier>

#include <utility>

#include "platform/winmsg/message_queue.h"

namespace quenda {

struct SocketWatch::Impl {
    int fd;
    Direction direction;
    std::function<void()> onReady;
    std::unique_ptr<QSocketNotifier> notifier;  // made on the first Arm
};

SocketWatch::SocketWatch(int fd, Direction direction, std::function<void()> onReady)
    : impl_(new Impl{fd, direction, std::move(onReady), nullptr}) {}

SocketWatch::~SocketWatch() = default;

bool SocketWatch::Arm() {
    if (impl_->fd < 0 || !HasMessageLoop()) return false;
    if (!impl_->notifier) {
        auto type = impl_->direction == Direction::kRead ? QSocketNotifier::Read
                                                         : QSocketNotifier::Write;
        impl_->notifier = std::make_unique<QSocketNotifier>(impl_->fd, type);
        Impl* impl = impl_.get();
        QObject::connect(impl->notifier.get(), &QSocketNotifier::activated, [impl] {
            impl->notifier->setEnabled(false);
            if (impl->onReady) impl->onReady();
        });
    }
    impl_->notifier->setEnabled(true);
    return true;
}

void SocketWatch::Disarm() {
    if (impl_->notifier) impl_->notifier->setEnabled(false);
}

bool SocketWatch::IsArmed() const {
    return impl_->notifier && impl_->notifier->isEnabled();
}

}  // namespace quenda
