// The byte area a socket control reads each datagram into: a 16-bit capacity plus one byte.
#include "controls/socketbase/receive_buffer.h"

#include <new>

namespace quenda {

bool ReceiveBuffer::SetCapacity(uint16_t capacity) {
    Clear();
    if (area_ && capacity == capacity_) return true;
    std::unique_ptr<char[]> area(new (std::nothrow) char[static_cast<size_t>(capacity) + 1]);
    if (!area) return false;
    area_ = std::move(area);
    capacity_ = capacity;
    return true;
}

void ReceiveBuffer::SetCount(int received) {
    offset_ = 0;
    count_ = received <= 0           ? 0
             : received >= capacity_ ? capacity_
                                     : static_cast<uint16_t>(received);
}

}  // namespace quenda
