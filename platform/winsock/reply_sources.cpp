// Remembering which local address each peer wrote to, and reading it from a receive's control data.
#include "platform/winsock/reply_sources.h"

#include <cstring>
#include <utility>

namespace quenda::wsock {

uint64_t ReplySources::KeyOf(const sockaddr_in& peer) {
    return static_cast<uint64_t>(peer.sin_addr.s_addr) << 16 | peer.sin_port;
}

void ReplySources::Remember(const sockaddr_in& peer, in_addr local) {
    const uint64_t key = KeyOf(peer);
    if (current_.size() >= kPeersKept && !current_.contains(key)) {
        previous_ = std::move(current_);
        current_.clear();
    }
    current_[key] = local.s_addr;
}

std::optional<in_addr> ReplySources::LocalFor(const sockaddr_in& peer) const {
    const uint64_t key = KeyOf(peer);
    auto found = current_.find(key);
    if (found == current_.end()) {
        found = previous_.find(key);
        if (found == previous_.end()) return std::nullopt;
    }
    in_addr local{};
    local.s_addr = found->second;
    return local;
}

std::optional<in_addr> DestinationOf(const msghdr& message) {
    // The loop macros only walk what the kernel reported as filled.
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr;
         c = CMSG_NXTHDR(const_cast<msghdr*>(&message), c)) {
        if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_PKTINFO ||
            c->cmsg_len < CMSG_LEN(sizeof(in_pktinfo))) {
            continue;
        }
        in_pktinfo info;
        std::memcpy(&info, CMSG_DATA(c), sizeof info);
        return info.ipi_spec_dst;
    }
    return std::nullopt;
}

}  // namespace quenda::wsock
