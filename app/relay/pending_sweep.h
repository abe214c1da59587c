// The two-second sweep over the pending table: passes negative replies on, counts requests
// nobody answered, frees slots after their life time, and runs the periodic housekeeping.
#pragma once

#include <cstdint>

#include "app/config/name_server_list.h"
#include "app/relay/pending_table.h"
#include "app/relay/statistics.h"
#include "app/relay/udp_relay.h"

namespace quenda {

inline constexpr uint32_t kNegativeReplyDelayMs = 7000;
inline constexpr uint32_t kSlotLifeTimeMs = 35000;
inline constexpr int16_t kSweepTicksWrap = 10000;

// The main window's side of the sweep timer.
class SweepHooks {
  public:
    virtual ~SweepHooks() = default;
    // A quit command has been given.
    virtual bool IsQuitRequested() = 0;
    // Closes the main window, which ends the program.
    virtual void UnloadMainform() = 0;
    // The name-server tab is the one shown.
    virtual bool IsServerTabShown() = 0;
    // Saves every setting to the settings file.
    virtual void SaveAllSettings() = 0;
};

class PendingSweep {
  public:
    PendingSweep(const RelayEnvironment& environment, UdpRelay& relay, SweepHooks& hooks)
        : env_(environment), relay_(relay), hooks_(hooks) {}

    // Timer1's tick: unloads the main window once a quit is requested, otherwise sweeps and
    // redraws the statistics.
    void Timer1Tick();

    // One pass of housekeeping and over the slots. A slot moved into a freed position is
    // examined at the next sweep.
    void SweepPending();

    // Sweeps counted so far, 0 to 9999.
    int16_t SweepTicks() const { return sweepTicks_; }

  private:
    RelayEnvironment env_;
    UdpRelay& relay_;
    SweepHooks& hooks_;
    int16_t sweepTicks_ = 0;
};

}  // namespace quenda
