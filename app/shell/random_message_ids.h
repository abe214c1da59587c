// Message IDs for upstream queries from the system's cryptographic random source.
#pragma once

#include <array>
#include <cstdint>

#include "app/relay/relay_ports.h"

namespace quenda {

// The message ID of the host entry editor's queries; upstream queries never carry it, so its
// replies are told apart from theirs.
inline constexpr uint16_t kHostEditorMessageId = 43775;

// Draws IDs from getrandom, a batch at a time so a query costs no system call of its own.
class RandomMessageIds final : public MessageIdSource {
  public:
    // A fresh ID, never kHostEditorMessageId, from getrandom; should getrandom fail for good
    // (a kernel without it), from std::random_device, which reads the same kernel source
    // through /dev/urandom.
    uint16_t NextMessageId() override;

  private:
    void Refill();

    std::array<uint16_t, 256> batch_{};
    size_t used_ = batch_.size();  // IDs of the batch handed out
};

}  // namespace quenda
