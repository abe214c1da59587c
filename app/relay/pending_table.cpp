// The pending-request table: packed slots, removal by moving the last slot, oldest-first finders.
#include "app/relay/pending_table.h"

#include <utility>

namespace quenda {
namespace {

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

}  // namespace

uint64_t FoldedKeyHash(std::string_view key) {
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const char c : key) {
        hash ^= static_cast<uint8_t>(UpperAscii(c));
        hash *= 1099511628211ull;
    }
    return hash;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    }
    return true;
}

bool PendingTable::Append(const PendingRequest& request) {
    if (IsFull()) return false;
    Replace(pendingCount_, request);
    ++pendingCount_;
    return true;
}

void PendingTable::Replace(int position, const PendingRequest& request) {
    PendingRequest& slot = (*this)[position];
    slot = request;  // assignment reuses the slot's string buffers
    slot.keyFold = FoldedKeyHash(slot.Key);
}

void PendingTable::RemovePending(int position) {
    if (position < 0 || position >= pendingCount_) return;
    const int last = pendingCount_ - 1;
    // A swap rather than a copy keeps every slot's buffers allocated for reuse.
    if (position != last) std::swap((*this)[position], (*this)[last]);
    --pendingCount_;
}

int PendingTable::WaitingCount() const {
    int waiting = 0;
    for (int i = 0; i < pendingCount_; ++i) waiting += (*this)[i].IsWaiting() ? 1 : 0;
    return waiting;
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

int PendingTable::FindOldestWaiting(const KeyToMatch& key, Tick now) const {
    return FindOldest(now, [&key](const PendingRequest& slot) {
        return slot.IsWaiting() && slot.keyFold == key.fold &&
               EqualsIgnoringCase(slot.Key, key.text);
    });
}

int PendingTable::FindOldestCacheAnswered(const KeyToMatch& key, Tick now) const {
    return FindOldest(now, [&key](const PendingRequest& slot) {
        return slot.CacheTick && slot.keyFold == key.fold && EqualsIgnoringCase(slot.Key, key.text);
    });
}

int PendingTable::FindOldestUncredited(const KeyToMatch& key, int server, Tick now) const {
    const auto flag = static_cast<size_t>(server);
    return FindOldest(now, [&key, flag](const PendingRequest& slot) {
        return !slot.ServerReplied[flag] && slot.keyFold == key.fold && slot.Key == key.text;
    });
}

int PendingTable::FindOldestSettled(Tick now) const {
    return FindOldest(now, [](const PendingRequest& slot) { return !slot.IsWaiting(); });
}

}  // namespace quenda
