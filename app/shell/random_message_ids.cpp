// Upstream message IDs from getrandom.
#include "app/shell/random_message_ids.h"

#include <sys/random.h>

#include <cerrno>
#include <random>

namespace quenda {

uint16_t RandomMessageIds::NextMessageId() {
    for (;;) {
        if (used_ == batch_.size()) Refill();
        const uint16_t id = batch_[used_++];
        if (id != kHostEditorMessageId) return id;
    }
}

void RandomMessageIds::Refill() {
    auto* bytes = reinterpret_cast<unsigned char*>(batch_.data());
    const size_t size = sizeof batch_;
    size_t filled = 0;
    while (filled < size) {
        const ssize_t got = getrandom(bytes + filled, size - filled, 0);
        if (got > 0) {
            filled += static_cast<size_t>(got);
        } else if (got < 0 && errno != EINTR) {
            break;
        }
    }
    if (filled < size) {
        std::random_device device;
        for (uint16_t& id : batch_) id = static_cast<uint16_t>(device());
    }
    used_ = 0;
}

}  // namespace quenda
