// The sweep: negative replies after all servers said no or after 7 s, expiry after 35 s.
#include "app/relay/pending_sweep.h"

#include <string>

#include "app/relay/counter_math.h"

namespace quenda {

void PendingSweep::Timer1Tick() {
    if (hooks_.IsQuitRequested()) {
        hooks_.UnloadMainform();
        return;
    }
    SweepPending();
    env_.statistics.UpDateStatistic();
}

void PendingSweep::SweepPending() {
    if (sweepTicks_ % 3 == 0 && hooks_.IsServerTabShown()) env_.hooks.MakeListView();
    if ((sweepTicks_ - 20) % 60 == 0) hooks_.SaveAllSettings();
    if (++sweepTicks_ >= kSweepTicksWrap) sweepTicks_ = 0;

    PendingTable& table = env_.table;
    for (int i = 0; i < table.PendingCount(); ++i) {
        const PendingRequest& slot = table[i];
        const uint32_t age = TicksBetween(slot.StartTick, env_.clock.Now());
        if (relay_.EveryServerSaidNo(slot)) {
            // Left when servers were disabled while it waited: the last reply usually passes
            // it on as it arrives.
            relay_.PassOnNegativeReply(i);
        } else if (age > kNegativeReplyDelayMs && slot.NegativeCount > 0 && slot.IsWaiting()) {
            const std::string key = slot.Key;
            const std::string reply = slot.NegativeReply;
            relay_.DeliverAnswer(key, reply, "A");
        } else if (age > kSlotLifeTimeMs) {
            if (!slot.CacheTick && !slot.ServerTick && slot.NegativeCount == -1) {
                AddIfFits(env_.counters.NOTANSWERED, 1);
                env_.statistics.UpDateStatistic();
            }
            table.RemovePending(i);
        }
    }
}

}  // namespace quenda
