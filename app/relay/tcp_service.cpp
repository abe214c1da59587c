// TCP passthrough: slot table and the server and client control handlers.
#include "app/relay/tcp_service.h"

#include <algorithm>

namespace quenda {

int TcpFraming::Feed(std::string_view data) {
    int completed = 0;
    while (!data.empty()) {
        if (bodyLeft_ == 0) {
            const auto octet = static_cast<uint8_t>(data.front());
            data.remove_prefix(1);
            if (lengthOctets_ == 0) {
                length_ = octet;
                lengthOctets_ = 1;
                continue;
            }
            lengthOctets_ = 0;
            bodyLeft_ = (length_ << 8) | octet;
            if (bodyLeft_ == 0) ++completed;
            continue;
        }
        const size_t taken = std::min<size_t>(bodyLeft_, data.size());
        data.remove_prefix(taken);
        bodyLeft_ -= static_cast<uint32_t>(taken);
        if (bodyLeft_ == 0) ++completed;
    }
    return completed;
}

int TcpService::StartTcpService(uint16_t port) {
    slots_.clear();
    return server_.StartListening(port);
}

void TcpService::HandleTcpConnectionRequest() {
    log_.WriteLog("TCP connection request", 3);
}

void TcpService::HandleTcpConnected(int id) {
    if (BoundSlots() >= kMaxTcpConnections) {
        log_.WriteLog("TCP connection refused: " + std::to_string(kMaxTcpConnections) +
                          " connections are open",
                      3);
        server_.CloseConnection(id);
        return;
    }
    int s = AllocateTcpSlot();
    Slot bound;
    bound.connectionId = id;
    bound.since = clock_.Now();
    slots_[static_cast<size_t>(s)] = std::move(bound);
    s = FindTcpSlot(id);
    if (s < 0) return;

    TcpClientControl& upstream = clients_.Element(s);
    upstream.SetOption(true);
    hooks_.ProcessPendingMessages();
    const int best = relay_.BestServer();
    if (best >= 0) upstream.SetRemoteHost(servers_[best].address);
    hooks_.ProcessPendingMessages();
    upstream.SetRemotePort(upstreamPort_);
    hooks_.ProcessPendingMessages();
    // The pumps may have run the client's own disconnect: a client that is gone gets no
    // upstream connection, and without a server to ask the client is not kept waiting.
    Slot& slot = slots_[static_cast<size_t>(s)];
    if (slot.connectionId != id || !slot.clientOpen || best < 0) {
        if (slot.connectionId == id) {
            if (slot.clientOpen) server_.CloseConnection(id);
            slot = Slot::Freed();
        }
        return;
    }
    upstream.SetConnected(true);
}

void TcpService::HandleTcpData(int id, std::string_view data) {
    const int s = FindTcpSlot(id);
    if (s < 0) return;  // its upstream connection is gone: nothing to pass it to
    Slot& slot = slots_[static_cast<size_t>(s)];
    if (!slot.clientOpen) return;
    // A new query starts its own time; a completed one starts the idle time.
    const bool wasInMessage = slot.framing.InMessage();
    const int completed = slot.framing.Feed(data);
    if (completed > 0) slot.queried = true;
    if (completed > 0 || !wasInMessage) slot.since = clock_.Now();
    if (slot.connected) {
        clients_.Element(s).Send(data);
        return;
    }
    if (slot.pendingData.size() + data.size() > kMaxTcpPendingBytes) {
        CloseBoth(s);
        return;
    }
    slot.pendingData.append(data);
}

void TcpService::HandleTcpDisconnected(int id) {
    const int s = FindTcpSlot(id);
    if (s < 0) return;
    slots_[static_cast<size_t>(s)].clientOpen = false;
    clients_.Element(s).SetConnected(false);
}

void TcpService::HandleUpstreamConnected(int index) {
    if (index < 0 || index > TcpMaxSlot()) return;
    Slot& slot = slots_[static_cast<size_t>(index)];
    slot.connected = true;
    if (!slot.pendingData.empty()) {
        const std::string queued = std::move(slot.pendingData);
        slot.pendingData.clear();
        clients_.Element(index).Send(queued);
    }
}

void TcpService::HandleUpstreamData(int index, std::string_view data) {
    if (index < 0 || index > TcpMaxSlot()) return;
    Slot& slot = slots_[static_cast<size_t>(index)];
    if (slot.connectionId == -1) return;
    // An answer under way restarts the idle time, not the time of a query begun meanwhile.
    if (!slot.framing.InMessage()) slot.since = clock_.Now();
    server_.SendToConnection(slot.connectionId, data);
}

void TcpService::HandleUpstreamDisconnected(int index) {
    if (index < 0 || index > TcpMaxSlot()) return;
    Slot& slot = slots_[static_cast<size_t>(index)];
    const int id = slot.connectionId;
    const bool clientOpen = slot.clientOpen;
    slot = Slot::Freed();
    // The client would otherwise wait for an answer that can no longer come.
    if (id != -1 && clientOpen) server_.CloseConnection(id);
}

void TcpService::CloseIdleConnections() {
    const Tick now = clock_.Now();
    for (int s = 0; s <= TcpMaxSlot(); ++s) {
        const Slot& slot = slots_[static_cast<size_t>(s)];
        if (slot.connectionId == -1 || !slot.clientOpen) continue;
        const bool waitingForQuery = !slot.queried || slot.framing.InMessage();
        const Tick limit = waitingForQuery ? kTcpQueryTimeoutMs : kTcpIdleTimeoutMs;
        if (static_cast<Tick>(now - slot.since) >= limit) CloseBoth(s);
    }
}

void TcpService::CloseBoth(int s) {
    Slot& slot = slots_[static_cast<size_t>(s)];
    slot.clientOpen = false;
    server_.CloseConnection(slot.connectionId);
    clients_.Element(s).SetConnected(false);
}

int TcpService::AllocateTcpSlot() {
    for (int s = TcpMaxSlot(); s >= 0; --s) {
        if (slots_[static_cast<size_t>(s)].connectionId == -1) return s;
    }
    const int added = TcpMaxSlot() + 1;
    if (added > 0) clients_.CreateElement(added);
    slots_.push_back(Slot{});
    return added;
}

int TcpService::FindTcpSlot(int id) const {
    for (int s = TcpMaxSlot(); s >= 0; --s) {
        if (slots_[static_cast<size_t>(s)].connectionId == id) return s;
    }
    return -1;
}

int TcpService::BoundSlots() const {
    int bound = 0;
    for (const Slot& slot : slots_) bound += slot.connectionId != -1 ? 1 : 0;
    return bound;
}

}  // namespace quenda
