// A clock tests move by hand.
#pragma once

#include "platform/tick/tick.h"

namespace quenda::test {

class FakeClock final : public Clock {
  public:
    explicit FakeClock(Tick start = 1000) : now_(start) {}
    Tick Now() override { return now_; }
    void Advance(uint32_t ms) { now_ += ms; }
    void Set(Tick now) { now_ = now; }

  private:
    Tick now_;
};

}  // namespace quenda::test
