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
    bool running = false;                       // inside onReady
};

SocketWatch::SocketWatch(int fd, Direction direction, std::function<void()> onReady)
    : impl_(std::make_shared<Impl>(Impl{fd, direction, std::move(onReady), nullptr})) {}

SocketWatch::~SocketWatch() {
    if (!impl_->running || !impl_->notifier) return;
    // Destroyed from its own onReady, inside the notifier's signal: the notifier goes once
    // the loop is back, the rest when onReady returns.
    impl_->notifier->setEnabled(false);
    impl_->notifier.release()->deleteLater();
}

bool SocketWatch::Arm() {
    if (impl_->fd < 0 || !HasMessageLoop()) return false;
    if (!impl_->notifier) {
        auto type = impl_->direction == Direction::kRead ? QSocketNotifier::Read
                                                         : QSocketNotifier::Write;
        impl_->notifier = std::make_unique<QSocketNotifier>(impl_->fd, type);
        std::weak_ptr<Impl> watched = impl_;
        QObject::connect(impl_->notifier.get(), &QSocketNotifier::activated, [watched] {
            const std::shared_ptr<Impl> impl = watched.lock();
            if (!impl) return;
            impl->notifier->setEnabled(false);
            impl->running = true;
            if (impl->onReady) impl->onReady();
            impl->running = false;
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
