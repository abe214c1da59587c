// The pending-request table: packed slots, removal by moving the last slot, oldest-first finders.
#include "app/relay/pending_table.h"

#include <cstring>
#include <utility>

#include "app/config/ascii_case.h"

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

void PendingTable::Index(int position) {
    const std::string& key = (*this)[position].Key;
    auto found = byKey_.find(std::string_view(key));
    if (found == byKey_.end()) {
        if (spareNodes_.empty()) {
            found = byKey_.emplace(key, std::vector<int>()).first;
        } else {
            KeyIndex::node_type node = std::move(spareNodes_.back());
            spareNodes_.pop_back();
            node.key() = key;  // reuses the buffers of a key that left
            node.mapped().clear();
            found = byKey_.insert(std::move(node)).position;
        }
    }
    std::vector<int>& positions = found->second;
    const auto p = static_cast<size_t>(position);
    keyPositions_[p] = &positions;
    indexInKey_[p] = static_cast<int>(positions.size());
    positions.push_back(position);
}

void PendingTable::Unindex(int position) {
    const auto p = static_cast<size_t>(position);
    std::vector<int>& positions = *keyPositions_[p];
    const int moved = positions.back();
    positions[static_cast<size_t>(indexInKey_[p])] = moved;
    indexInKey_[static_cast<size_t>(moved)] = indexInKey_[p];
    positions.pop_back();
    keyPositions_[p] = nullptr;
    if (positions.empty()) {
        spareNodes_.push_back(byKey_.extract(byKey_.find(std::string_view((*this)[position].Key))));
    }
}

bool PendingTable::Append(const PendingRequest& request) {
    if (IsFull()) return false;
    (*this)[pendingCount_] = request;  // assignment reuses the slot's string buffers
    Index(pendingCount_);
    ++pendingCount_;
    return true;
}

void PendingTable::Replace(int position, const PendingRequest& request) {
    if (keyPositions_[static_cast<size_t>(position)] != nullptr) Unindex(position);
    (*this)[position] = request;
    Index(position);
}

void PendingTable::RemovePending(int position) {
    if (position < 0 || position >= pendingCount_) return;
    const int last = pendingCount_ - 1;
    Unindex(position);
    if (position != last) {
        // A swap rather than a copy keeps every slot's buffers allocated for reuse.
        std::swap((*this)[position], (*this)[last]);
        const auto from = static_cast<size_t>(last);
        const auto to = static_cast<size_t>(position);
        keyPositions_[to] = keyPositions_[from];
        indexInKey_[to] = indexInKey_[from];
        (*keyPositions_[to])[static_cast<size_t>(indexInKey_[to])] = position;
        keyPositions_[from] = nullptr;
    }
    --pendingCount_;
}

void PendingTable::Clear() {
    while (pendingCount_ > 0) RemovePending(pendingCount_ - 1);
}

int PendingTable::WaitingCount() const {
    int waiting = 0;
    for (int i = 0; i < pendingCount_; ++i) waiting += (*this)[i].IsWaiting() ? 1 : 0;
    return waiting;
}

std::span<const int> PendingTable::PositionsOfKey(const KeyToMatch& key) const {
    const auto found = byKey_.find(key);
    if (found == byKey_.end()) return {};
    return found->second;
}

template <typename Predicate>
int PendingTable::FindOldest(Tick now, Predicate matches) const {
    int found = -1;
    uint32_t foundAge = 0;
    for (int i = 0; i < pendingCount_; ++i) {
        const PendingRequest& slot = (*this)[i];
        if (!matches(slot)) continue;
        const uint32_t age = TicksBetween(slot.StartTick, now);
        if (found < 0 || age > foundAge) {
            found = i;
            foundAge = age;
        }
    }
    return found;
}

template <typename Predicate>
int PendingTable::FindOldestOfKey(const KeyToMatch& key, Tick now, Predicate matches) const {
    int found = -1;
    uint32_t foundAge = 0;
    // The list is in no order, so equal ages fall back on the position as a scan would.
    for (const int i : PositionsOfKey(key)) {
        const PendingRequest& slot = (*this)[i];
        if (!matches(slot)) continue;
        const uint32_t age = TicksBetween(slot.StartTick, now);
        if (found < 0 || age > foundAge || (age == foundAge && i < found)) {
            found = i;
            foundAge = age;
        }
    }
    return found;
}

int PendingTable::FindOldestWaiting(const KeyToMatch& key, Tick now) const {
    return FindOldestOfKey(key, now, [](const PendingRequest& slot) { return slot.IsWaiting(); });
}

int PendingTable::FindOldestCacheAnswered(const KeyToMatch& key, Tick now) const {
    return FindOldestOfKey(key, now,
                           [](const PendingRequest& slot) { return slot.CacheTick.has_value(); });
}

int PendingTable::FindOldestUncredited(const KeyToMatch& key, int server, Tick now) const {
    const auto flag = static_cast<size_t>(server);
    return FindOldestOfKey(key, now, [&key, flag](const PendingRequest& slot) {
        return !slot.ServerReplied[flag] && slot.Key == key.text;
    });
}

int PendingTable::FindOldestSettled(Tick now) const {
    return FindOldest(now, [](const PendingRequest& slot) { return !slot.IsWaiting(); });
}

}  // namespace quenda
