// The local address each peer of a datagram socket bound to every address last wrote to, so
// that the socket's replies to that peer leave from it: a client on a connected socket takes
// replies only from the address it asked.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <unordered_map>

namespace quenda::wsock {

class ReplySources {
  public:
    // Remembers that peer (address and port in network order) last wrote to local.
    void Remember(const sockaddr_in& peer, in_addr local);

    // The local address peer last wrote to; nullopt when unknown. The most recent peers are
    // kept, at least kPeersKept of them, so memory stays bounded under any traffic.
    std::optional<in_addr> LocalFor(const sockaddr_in& peer) const;

    static constexpr size_t kPeersKept = 4096;

  private:
    static uint64_t KeyOf(const sockaddr_in& peer);

    // Two generations: when the newer is full it becomes the older, and the older is dropped.
    std::unordered_map<uint64_t, uint32_t> current_;
    std::unordered_map<uint64_t, uint32_t> previous_;
};

// The local address a received datagram was sent to (IP_PKTINFO's ipi_spec_dst, which for a
// broadcast is the receiving interface's own address); nullopt when the message's control data
// does not carry it.
std::optional<in_addr> DestinationOf(const msghdr& message);

// Room for the control data DestinationOf reads.
inline constexpr size_t kPacketInfoSpace = CMSG_SPACE(sizeof(in_pktinfo));

}  // namespace quenda::wsock
