// The 32-bit millisecond up-time counter, and the clock interface through which code reads it.
#pragma once

#include <cstdint>

namespace quenda {

// A reading of the millisecond up-time counter; it wraps after about 49.7 days.
using Tick = uint32_t;

// Milliseconds since an arbitrary start, from the monotonic clock, modulo 2^32.
Tick GetTickCount();

// Milliseconds from `earlier` to `later`, taken modulo 2^32 so ages stay right across a wrap.
inline uint32_t TicksBetween(Tick earlier, Tick later) {
    return later - earlier;
}

// What reads the time; the program passes a SystemClock, tests a fake.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual Tick Now() = 0;
};

class SystemClock final : public Clock {
  public:
    Tick Now() override { return GetTickCount(); }
};

}  // namespace quenda
