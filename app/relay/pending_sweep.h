// The two-second sweep over the pending table: passes negative replies on, counts requests
// nobody answered, and frees slots after their life time.
#pragma once

#include <cstdint>

#include "app/config/name_server_list.h"
#include "app/relay/pending_table.h"
#include "app/relay/statistics.h"
#include "app/relay/udp_relay.h"

namespace quenda {

inline constexpr uint32_t kNegativeReplyDelayMs = 7000;
inline constexpr uint32_t kSlotLifeTimeMs = 35000;

class PendingSweep {
  public:
    PendingSweep(const RelayEnvironment& environment, UdpRelay& relay)
        : env_(environment), relay_(relay) {}

    // One pass over the slots. A slot moved into a freed position is examined at the next
    // sweep.
    void SweepPending();

  private:
    RelayEnvironment env_;
    UdpRelay& relay_;
};

}  // namespace quenda
