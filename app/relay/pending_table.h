// The fixed table of requests that were taken and not yet swept away, with its lookups.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/config/name_server_list.h"
#include "app/relay/request_class.h"
#include "platform/tick/tick.h"

namespace quenda {

inline constexpr int kPendingSlots = 1400;
inline constexpr size_t kClientAddressLength = 40;

// One client request, from its arrival until the sweep frees it.
struct PendingRequest {
    Tick StartTick = 0;              // when the request was taken
    std::optional<Tick> CacheTick;   // when it was answered from the cache
    std::optional<Tick> ServerTick;  // when a name server (or the sweep) answered it
    std::array<bool, kUsedNameServers> ServerReplied{};  // reply time of server n credited
    std::array<bool, kUsedNameServers> ForwardedTo{};    // sent to server n
    uint16_t UpstreamId = 0;     // the message ID the request carries upstream
    int16_t NegativeCount = -1;  // negative replies received while waiting; -1 = none
    uint16_t ClientPort = 0;     // UDP port of the client
    std::string Key;             // question key (MakeCacheKey)
    std::string ClientAddress;   // dotted address of the client, at most 40 characters
    std::string ClientId;        // the request's first two octets, put into every reply it gets
    std::string NegativeReply;   // the last negative reply ("" when none)
    std::string Question;        // the request's question name in wire form, as its client spelt it
    ClientEdns Edns;             // the request's EDNS state: which replies its client takes

    // Neither the cache nor a name server has answered yet.
    bool IsWaiting() const { return !CacheTick && !ServerTick; }
};

// Hash of a key that is equal for keys equal ignoring ASCII letter case.
uint64_t FoldedKeyHash(std::string_view key);

// True when a and b are equal ignoring ASCII letter case.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// A key to match against slots, hashed once however many lookups it serves.
struct KeyToMatch {
    explicit KeyToMatch(std::string_view text) : text(text), hash(FoldedKeyHash(text)) {}
    std::string_view text;
    uint64_t hash;
};

// Slots 0 to PendingCount() - 1 are in use and the table stays packed. The finders return a
// position or -1; "oldest" is the slot with the greatest age at `now` (ticks modulo 2^32), the
// lower position on equal ages. A slot changes only through the table: the table keeps what
// the finders read of every slot (its start, answers and credits) in a compact summary beside
// it, and the positions of each key (ignoring letter case), so that finders look at the
// summaries of that key's slots alone and pick exactly the slot a scan of the whole table would.
class PendingTable {
  public:
    PendingTable();
    PendingTable(const PendingTable&) = delete;
    PendingTable& operator=(const PendingTable&) = delete;

    int PendingCount() const { return pendingCount_; }
    bool IsFull() const { return pendingCount_ >= kPendingSlots; }
    const PendingRequest& operator[](int position) const {
        return slots_[static_cast<size_t>(position)];
    }

    // Copies the request into the next free slot. Returns false, and changes nothing, when the
    // table is full.
    bool Append(const PendingRequest& request);

    // Overwrites the slot at position with the request (the table must hold that position).
    void Replace(int position, const PendingRequest& request);

    // Removes the slot at position by moving the last slot in use into it.
    void RemovePending(int position);

    // Forgets every slot.
    void Clear();

    // What happens to a slot in the table (each position must be in use).
    void MarkCacheAnswered(int position, Tick when);   // CacheTick = when
    void MarkServerAnswered(int position, Tick when);  // ServerTick = when
    void MarkServerReplied(int position, int server);  // ServerReplied[server] = true
    // ForwardedTo[server] = true; the slot's query is now its key's latest one upstream.
    void MarkForwarded(int position, int server);
    // A server replied under upstreamId to a query of the key (ignoring letter case): when that
    // is the key's latest query upstream, the key no longer awaits a reply.
    void NoteReply(const KeyToMatch& key, uint16_t upstreamId);
    // Whether the latest query of the key sent upstream went less than withinMs ago (its
    // slot's start) and no reply to it has come.
    bool AwaitsReply(const KeyToMatch& key, Tick now, uint32_t withinMs) const;
    // One more negative reply, kept as the slot's last one.
    void RecordNegativeReply(int position, std::string_view reply);

    // Number of waiting slots.
    int WaitingCount() const { return waitingCount_; }

    // The positions of the slots whose key equals key ignoring letter case, in no particular
    // order; valid until the table next changes a key, a position or its count.
    std::span<const int> PositionsOfKey(const KeyToMatch& key) const;

    // The oldest waiting slot whose key equals key ignoring letter case.
    int FindOldestWaiting(const KeyToMatch& key, Tick now) const;

    // The oldest slot answered from the cache whose key equals key ignoring letter case.
    int FindOldestCacheAnswered(const KeyToMatch& key, Tick now) const;

    // The oldest slot whose key equals key exactly and whose reply time for `server` is not
    // yet credited.
    int FindOldestUncredited(const KeyToMatch& key, int server, Tick now) const;

    // The oldest slot that is no longer waiting, whatever its key.
    int FindOldestSettled(Tick now) const;

    // Number of waiting slots whose client address is address.
    int WaitingOfClient(std::string_view address) const;

  private:
    // What the finders read of one slot: eight octets, where the slot itself spans several
    // cache lines, so a scan of a key with hundreds of slots stays cheap.
    struct Summary {
        Tick start = 0;
        uint16_t replied = 0;  // bit n: ServerReplied[n]
        static_assert(kUsedNameServers <= 16, "a credit bit per server");
        bool cacheAnswered = false;
        bool serverAnswered = false;
        bool IsWaiting() const { return !cacheAnswered && !serverAnswered; }
    };
    // The slots of one key (ignoring case), and how many of them wait.
    struct KeySlots {
        std::vector<int> positions;
        int waiting = 0;
        Tick forwardedAt = 0;        // start of the slot whose query went upstream last
        uint16_t forwardedId = 0;    // that query's upstream message ID
        bool awaitingReply = false;  // a query went upstream and no reply under its ID came
    };
    struct FoldedHash {
        using is_transparent = void;
        size_t operator()(std::string_view key) const;
        size_t operator()(const KeyToMatch& key) const { return static_cast<size_t>(key.hash); }
    };
    struct FoldedEqual {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const;
        bool operator()(const KeyToMatch& a, std::string_view b) const {
            return (*this)(a.text, b);
        }
        bool operator()(std::string_view a, const KeyToMatch& b) const {
            return (*this)(a, b.text);
        }
    };
    // Slots of each key, by the spelling of the key's first slot.
    using KeyIndex = std::unordered_map<std::string, KeySlots, FoldedHash, FoldedEqual>;

    static Summary Summarize(const PendingRequest& request);
    template <typename Predicate>
    int FindOldest(Tick now, Predicate matches) const;
    const KeySlots* SlotsOfKey(const KeyToMatch& key) const;
    template <typename Predicate>
    int FindOldestOfKey(const KeySlots* slots, Tick now, Predicate matches) const;
    void Put(int position, const PendingRequest& request);
    void Index(int position);
    void Unindex(int position);
    void StopWaiting(int position);

    std::array<PendingRequest, kPendingSlots> slots_;
    std::array<Summary, kPendingSlots> summaries_{};
    int pendingCount_ = 0;
    int waitingCount_ = 0;
    KeyIndex byKey_;
    std::array<KeySlots*, kPendingSlots> keySlots_{};  // the slot's entry in byKey_
    std::array<int, kPendingSlots> indexInKey_{};      // its place in that entry's positions
    std::vector<KeyIndex::node_type> spareNodes_;      // emptied entries, reused without allocating
};

}  // namespace quenda
