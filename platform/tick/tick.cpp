// GetTickCount over the system's monotonic clock.
#include "platform/tick/tick.h"

#include <ctime>

namespace quenda {

Tick GetTickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms =
        static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<Tick>(ms);
}

}  // namespace quenda
