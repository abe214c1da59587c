// The byte area a socket control reads each datagram into: a 16-bit capacity plus one byte.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace quenda {

class ReceiveBuffer {
  public:
    ReceiveBuffer() = default;

    // Gives the buffer a new capacity (0-65535); the same capacity only empties it. Returns
    // false when memory is short, keeping the old area and capacity.
    bool SetCapacity(uint16_t capacity);
    uint16_t Capacity() const { return capacity_; }

    // Forgets what is held, before each read.
    void Clear() { offset_ = count_ = 0; }
    // The area a read fills: Capacity() bytes (never null once a capacity was set).
    char* Area() { return area_.get(); }
    // After a read: received bytes are held (at most Capacity()).
    void SetCount(int received);
    std::string_view Held() const {
        return area_ ? std::string_view(area_.get() + offset_, count_) : std::string_view();
    }

  private:
    std::unique_ptr<char[]> area_;  // capacity_ + 1 bytes
    uint16_t capacity_ = 0;
    uint16_t offset_ = 0;  // first byte held
    uint16_t count_ = 0;   // bytes held
};

}  // namespace quenda
