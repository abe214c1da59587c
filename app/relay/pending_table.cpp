// The pending-request table: packed slots, removal by moving the last slot, oldest-first finders.
#include "app/relay/pending_table.h"

#include <cstring>
#include <utility>

#include "app/config/ascii_case.h"
#include "app/relay/counter_math.h"

namespace quenda {

uint64_t FoldedKeyHash(std::string_view key) {
    // Eight octets at a time: keys are 255 octets, mostly padding, and hashed on every lookup.
    constexpr uint64_t kPrime = 0x100000001b3ull;
    uint64_t hash = 14695981039346656037ull ^ key.size();
    size_t i = 0;
    for (; i + 8 <= key.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, key.data() + i, sizeof word);
        word ^= LowerCaseLetterBits(word);
        hash = (hash ^ word) * kPrime;
        hash ^= hash >> 29;
    }
    for (; i < key.size(); ++i) {
        hash = (hash ^ static_cast<uint8_t>(UpperAscii(key[i]))) * kPrime;
    }
    return hash ^ (hash >> 32);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    // Keys of one question are nearly always spelt alike: one block compare settles those.
    if (a == b) return true;
    for (size_t i = 0; i < a.size(); ++i) {
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    }
    return true;
}

size_t PendingTable::FoldedHash::operator()(std::string_view key) const {
    return static_cast<size_t>(FoldedKeyHash(key));
}

bool PendingTable::FoldedEqual::operator()(std::string_view a, std::string_view b) const {
    return EqualsIgnoringCase(a, b);
}

PendingTable::PendingTable() {
    // At most one entry per slot: no rehashing once running.
    byKey_.reserve(kPendingSlots);
    spareNodes_.reserve(kPendingSlots);
}

PendingTable::Summary PendingTable::Summarize(const PendingRequest& request) {
    Summary summary;
    summary.start = request.StartTick;
    for (size_t server = 0; server < request.ServerReplied.size(); ++server) {
        if (request.ServerReplied[server]) summary.replied |= static_cast<uint16_t>(1u << server);
    }
    summary.cacheAnswered = request.CacheTick.has_value();
    summary.serverAnswered = request.ServerTick.has_value();
    return summary;
}

void PendingTable::Put(int position, const PendingRequest& request) {
    const auto p = static_cast<size_t>(position);
    slots_[p] = request;  // assignment reuses the slot's string buffers
    summaries_[p] = Summarize(request);
    Index(position);
}

void PendingTable::Index(int position) {
    const auto p = static_cast<size_t>(position);
    const std::string& key = slots_[p].Key;
    auto found = byKey_.find(std::string_view(key));
    if (found == byKey_.end()) {
        if (spareNodes_.empty()) {
            found = byKey_.emplace(key, KeySlots()).first;
        } else {
            KeyIndex::node_type node = std::move(spareNodes_.back());
            spareNodes_.pop_back();
            node.key() = key;  // reuses the buffers of a key that left
            KeySlots& reused = node.mapped();
            reused.positions.clear();
            reused.waiting = 0;
            reused.awaitingReply = false;
            found = byKey_.insert(std::move(node)).position;
        }
    }
    KeySlots& slots = found->second;
    keySlots_[p] = &slots;
    indexInKey_[p] = static_cast<int>(slots.positions.size());
    slots.positions.push_back(position);
    if (summaries_[p].IsWaiting()) {
        ++slots.waiting;
        ++waitingCount_;
    }
}

void PendingTable::Unindex(int position) {
    const auto p = static_cast<size_t>(position);
    KeySlots& slots = *keySlots_[p];
    if (summaries_[p].IsWaiting()) {
        --slots.waiting;
        --waitingCount_;
    }
    std::vector<int>& positions = slots.positions;
    const int moved = positions.back();
    positions[static_cast<size_t>(indexInKey_[p])] = moved;
    indexInKey_[static_cast<size_t>(moved)] = indexInKey_[p];
    positions.pop_back();
    keySlots_[p] = nullptr;
    if (positions.empty()) {
        spareNodes_.push_back(byKey_.extract(byKey_.find(std::string_view(slots_[p].Key))));
    }
}

bool PendingTable::Append(const PendingRequest& request) {
    if (IsFull()) return false;
    Put(pendingCount_, request);
    ++pendingCount_;
    return true;
}

void PendingTable::Replace(int position, const PendingRequest& request) {
    if (keySlots_[static_cast<size_t>(position)] != nullptr) Unindex(position);
    Put(position, request);
}

void PendingTable::RemovePending(int position) {
    if (position < 0 || position >= pendingCount_) return;
    const int last = pendingCount_ - 1;
    Unindex(position);
    if (position != last) {
        // A swap rather than a copy keeps every slot's buffers allocated for reuse.
        const auto from = static_cast<size_t>(last);
        const auto to = static_cast<size_t>(position);
        std::swap(slots_[to], slots_[from]);
        summaries_[to] = summaries_[from];
        keySlots_[to] = keySlots_[from];
        indexInKey_[to] = indexInKey_[from];
        keySlots_[to]->positions[static_cast<size_t>(indexInKey_[to])] = position;
        keySlots_[from] = nullptr;
    }
    --pendingCount_;
}

void PendingTable::Clear() {
    while (pendingCount_ > 0) RemovePending(pendingCount_ - 1);
}

void PendingTable::StopWaiting(int position) {
    --keySlots_[static_cast<size_t>(position)]->waiting;
    --waitingCount_;
}

void PendingTable::MarkCacheAnswered(int position, Tick when) {
    const auto p = static_cast<size_t>(position);
    if (summaries_[p].IsWaiting()) StopWaiting(position);
    summaries_[p].cacheAnswered = true;
    slots_[p].CacheTick = when;
}

void PendingTable::MarkServerAnswered(int position, Tick when) {
    const auto p = static_cast<size_t>(position);
    if (summaries_[p].IsWaiting()) StopWaiting(position);
    summaries_[p].serverAnswered = true;
    slots_[p].ServerTick = when;
}

void PendingTable::MarkServerReplied(int position, int server) {
    const auto p = static_cast<size_t>(position);
    summaries_[p].replied |= static_cast<uint16_t>(1u << server);
    slots_[p].ServerReplied[static_cast<size_t>(server)] = true;
}

void PendingTable::MarkForwarded(int position, int server) {
    const auto p = static_cast<size_t>(position);
    slots_[p].ForwardedTo[static_cast<size_t>(server)] = true;
    KeySlots& slots = *keySlots_[p];
    slots.forwardedAt = slots_[p].StartTick;
    slots.forwardedId = slots_[p].UpstreamId;
    slots.awaitingReply = true;
}

void PendingTable::NoteReply(const KeyToMatch& key, uint16_t upstreamId) {
    const auto found = byKey_.find(key);
    if (found != byKey_.end() && found->second.forwardedId == upstreamId) {
        found->second.awaitingReply = false;
    }
}

bool PendingTable::AwaitsReply(const KeyToMatch& key, Tick now, uint32_t withinMs) const {
    const KeySlots* slots = SlotsOfKey(key);
    return slots != nullptr && slots->awaitingReply &&
           TicksBetween(slots->forwardedAt, now) < withinMs;
}

void PendingTable::RecordNegativeReply(int position, std::string_view reply) {
    PendingRequest& slot = slots_[static_cast<size_t>(position)];
    if (slot.NegativeCount == -1) {
        slot.NegativeCount = 1;
    } else {
        AddIfFits(slot.NegativeCount, 1);
    }
    slot.NegativeReply.assign(reply);
}

const PendingTable::KeySlots* PendingTable::SlotsOfKey(const KeyToMatch& key) const {
    const auto found = byKey_.find(key);
    return found == byKey_.end() ? nullptr : &found->second;
}

std::span<const int> PendingTable::PositionsOfKey(const KeyToMatch& key) const {
    const KeySlots* slots = SlotsOfKey(key);
    if (slots == nullptr) return {};
    return slots->positions;
}

template <typename Predicate>
int PendingTable::FindOldest(Tick now, Predicate matches) const {
    int found = -1;
    uint32_t foundAge = 0;
    for (int i = 0; i < pendingCount_; ++i) {
        const Summary& summary = summaries_[static_cast<size_t>(i)];
        if (!matches(summary)) continue;
        const uint32_t age = TicksBetween(summary.start, now);
        if (found < 0 || age > foundAge) {
            found = i;
            foundAge = age;
        }
    }
    return found;
}

template <typename Predicate>
int PendingTable::FindOldestOfKey(const KeySlots* slots, Tick now, Predicate matches) const {
    int found = -1;
    if (slots == nullptr) return found;
    uint32_t foundAge = 0;
    // The list is in no order, so equal ages fall back on the position as a scan would.
    for (const int i : slots->positions) {
        const Summary& summary = summaries_[static_cast<size_t>(i)];
        if (!matches(i, summary)) continue;
        const uint32_t age = TicksBetween(summary.start, now);
        if (found < 0 || age > foundAge || (age == foundAge && i < found)) {
            found = i;
            foundAge = age;
        }
    }
    return found;
}

int PendingTable::FindOldestWaiting(const KeyToMatch& key, Tick now) const {
    const KeySlots* slots = SlotsOfKey(key);
    if (slots == nullptr || slots->waiting == 0) return -1;
    return FindOldestOfKey(slots, now, [](int, const Summary& s) { return s.IsWaiting(); });
}

int PendingTable::FindOldestCacheAnswered(const KeyToMatch& key, Tick now) const {
    return FindOldestOfKey(SlotsOfKey(key), now,
                           [](int, const Summary& s) { return s.cacheAnswered; });
}

int PendingTable::FindOldestUncredited(const KeyToMatch& key, int server, Tick now) const {
    const auto bit = static_cast<uint16_t>(1u << server);
    return FindOldestOfKey(SlotsOfKey(key), now, [this, &key, bit](int i, const Summary& s) {
        return (s.replied & bit) == 0 && (*this)[i].Key == key.text;
    });
}

int PendingTable::FindOldestSettled(Tick now) const {
    if (waitingCount_ == pendingCount_) return -1;
    return FindOldest(now, [](const Summary& s) { return !s.IsWaiting(); });
}

int PendingTable::WaitingOfClient(std::string_view address) const {
    int waiting = 0;
    for (int i = 0; i < pendingCount_; ++i) {
        const auto p = static_cast<size_t>(i);
        if (summaries_[p].IsWaiting() && slots_[p].ClientAddress == address) ++waiting;
    }
    return waiting;
}

}  // namespace quenda
