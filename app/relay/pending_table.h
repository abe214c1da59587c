// The fixed table of requests that were taken and not yet swept away, with its lookups.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/config/name_server_list.h"
#include "platform/tick/tick.h"

namespace quenda {

inline constexpr int kPendingSlots = 1400;
inline constexpr size_t kClientAddressLength = 40;

// One client request, from its arrival until the sweep frees it.
struct PendingRequest {
    std::string Key;            // question key (MakeCacheKey)
    std::string ClientAddress;  // dotted address of the client, at most 40 characters
    uint16_t ClientPort = 0;    // UDP port of the client
    std::string ClientId;       // the request's first two octets, put into every reply it gets
    std::array<bool, kUsedNameServers> ServerReplied{};  // reply time of server n credited
    Tick StartTick = 0;                                  // when the request was taken
    std::optional<Tick> CacheTick;                       // when it was answered from the cache
    std::optional<Tick> ServerTick;  // when a name server (or the sweep) answered it
    int16_t NegativeCount = -1;      // negative replies received while waiting; -1 = none
    std::string NegativeReply;       // the last negative reply ("" when none)
    uint64_t keyFold = 0;            // hash of the key with ASCII letters upper-cased

    // Neither the cache nor a name server has answered yet.
    bool IsWaiting() const { return !CacheTick && !ServerTick; }
};

// Hash of a key that is equal for keys equal ignoring ASCII letter case.
uint64_t FoldedKeyHash(std::string_view key);

// True when a and b are equal ignoring ASCII letter case.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// A key prepared for matching against slots: the text and its folded hash.
struct KeyToMatch {
    explicit KeyToMatch(std::string_view text) : text(text), fold(FoldedKeyHash(text)) {}
    std::string_view text;
    uint64_t fold;
};

// Slots 0 to PendingCount() - 1 are in use and the table stays packed. The finders return a
// position or -1; "oldest" is the slot with the greatest age at `now` (ticks modulo 2^32), the
// lower position on equal ages.
class PendingTable {
  public:
    int PendingCount() const { return pendingCount_; }
    bool IsFull() const { return pendingCount_ >= kPendingSlots; }
    PendingRequest& operator[](int position) { return slots_[static_cast<size_t>(position)]; }
    const PendingRequest& operator[](int position) const {
        return slots_[static_cast<size_t>(position)];
    }

    // Copies the request into the next free slot, filling in its keyFold. Returns false, and
    // changes nothing, when the table is full.
    bool Append(const PendingRequest& request);

    // Overwrites the slot at position with the request (the table must hold that position).
    void Replace(int position, const PendingRequest& request);

    // Removes the slot at position by moving the last slot in use into it.
    void RemovePending(int position);

    // Forgets every slot.
    void Clear() { pendingCount_ = 0; }

    // Number of waiting slots.
    int WaitingCount() const;

    // The oldest waiting slot whose key equals key ignoring letter case.
    int FindOldestWaiting(const KeyToMatch& key, Tick now) const;

    // The oldest slot answered from the cache whose key equals key ignoring letter case.
    int FindOldestCacheAnswered(const KeyToMatch& key, Tick now) const;

    // The oldest slot whose key equals key exactly and whose reply time for `server` is not
    // yet credited.
    int FindOldestUncredited(const KeyToMatch& key, int server, Tick now) const;

    // The oldest slot that is no longer waiting, whatever its key.
    int FindOldestSettled(Tick now) const;

  private:
    template <typename Predicate>
    int FindOldest(Tick now, Predicate matches) const;

    std::array<PendingRequest, kPendingSlots> slots_;
    int pendingCount_ = 0;
};

}  // namespace quenda
