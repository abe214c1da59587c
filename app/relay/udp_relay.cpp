// The UDP relay's handlers: requests in, replies matched to forwarded requests, answers out.
#include "app/relay/udp_relay.h"

#include "app/config/address_check.h"
#include "app/relay/counter_math.h"
#include "app/relay/dns_codec.h"
#include "app/relay/message_walk.h"
#include "app/relay/number_text.h"
#include "app/relay/reply_shaping.h"
#include "app/relay/request_class.h"

namespace quenda {
namespace {

// The datagram with its message ID replaced by id.
std::string WithMessageId(std::string_view datagram, uint16_t id) {
    std::string message(datagram);
    Write16(message, 0, id);
    return message;
}

}  // namespace

int EnabledServerCount(const NameServerList& servers) {
    int enabled = 0;
    for (int i = 0; i < kUsedNameServers; ++i) enabled += servers[i].enabled ? 1 : 0;
    return enabled;
}

void UdpRelay::HandleClientRequest(std::string_view datagram, const std::string& address,
                                   uint16_t port) {
    if (!IsDnsQuery(datagram)) {
        DropRequest(address, port, "");
        return;
    }
    const RequestClass sorted = ClassifyRequest(datagram);
    if (sorted.use == RequestUse::kNotImplemented || sorted.use == RequestUse::kFormatError) {
        Refuse(datagram, address, port, sorted);
        return;
    }
    if (!HasRoomFor(address, port)) return;

    const std::string name = GetQueryName(datagram);
    const std::string type = GetQueryType(datagram);
    AddIfFits(env_.counters.TOTALQ, 1);
    // The counters age as the redraw would age them now; the redraw itself may wait until a
    // cached answer is out.
    AgeRequestCounters(env_.counters, env_.servers);

    PendingRequest& request = request_;
    request.Key = MakeCacheKey(name, type);
    request.ClientAddress.assign(address, 0, kClientAddressLength);
    request.ClientPort = port;
    request.ClientId.assign(datagram.substr(0, 2));
    request.UpstreamId = env_.ids.NextMessageId();
    request.ServerReplied.fill(false);
    request.ForwardedTo.fill(false);
    request.CacheTick.reset();
    request.ServerTick.reset();
    request.NegativeCount = -1;
    request.NegativeReply.clear();
    request.Question.assign(sorted.question);
    request.Edns = sorted.edns;
    // Upstream, the request carries its own ID: a reply must name it to be taken.
    const std::string query = WithMessageId(datagram, request.UpstreamId);
    // A request that shares nothing waits under a key of its own, which only the reply to
    // exactly this query (its question and upstream message ID) finds. The client's ID would
    // not do: two clients may well pick the same one.
    const bool shared = sorted.use == RequestUse::kShared;
    if (!shared) request.Key = OwnKey(request.Key, query.substr(0, 2));

    const std::string stored =
        env_.options.cacheDisabled || !shared ? std::string() : env_.cache.CacheLookup(request.Key);
    const RequestLine line{address, name, type};
    const Tick start = env_.clock.Now();
    request.StartTick = start;
    // AddPending may pump messages through its hooks; keep the key out of the scratch slot.
    const std::string key = request.Key;
    const ForwardedRequest forwarded{key, request.UpstreamId};
    if (stored.empty()) {
        LogRequest(line);
        env_.statistics.UpDateStatistic();
        AddPending(request);
        SendToAllServers(query, &forwarded);
        return;
    }
    AddPending(request);
    // The answer leaves first; its log lines, the redraw and the refresh follow.
    DeliverAnswer(key, stored, kFromCache, &line);
    env_.statistics.UpDateStatistic();
    // One query for the key upstream at a time: a name asked a thousand times a second is
    // refreshed once per reply (or once per window when the reply does not come), so the
    // servers never see the clients' rate.
    if (env_.table.AwaitsReply(KeyToMatch(key), start, kRefreshWindowMs)) return;
    // Refresh the cached entry: every server until one has ever replied, then only the best.
    if (upstreamSeen_) {
        SendToBestServer(query, &forwarded);
    } else {
        SendToAllServers(query, &forwarded);
    }
}

void UdpRelay::HandleServerReply(std::string_view datagram, const std::string& address,
                                 uint16_t port) {
    // Only the servers we ask may answer: anything else could plant answers in the cache.
    if (port != env_.upstreamPort || !IsListedServer(address)) {
        env_.log.WriteLog("Dropped reply from " + address + ":" + std::to_string(port), 3);
        return;
    }
    if (env_.hooks.UpdateEntryDataNameserver(datagram)) {
        upstreamSeen_ = true;
        return;
    }
    const std::string key = ReplyKey(datagram);
    // And only to what we asked them, under the ID we asked with.
    if (!IsAwaitedReply(key, datagram, address)) {
        env_.log.WriteLog("Dropped reply from " + address + ":" + std::to_string(port), 3);
        return;
    }
    upstreamSeen_ = true;
    env_.table.NoteReply(KeyToMatch(key), Read16(datagram, 0));

    CreditReplyTime(key, address);
    if (IsGoodAnswer(datagram)) {
        // Waiting clients first: nothing runs in between, so the store may as well come after.
        DeliverAnswer(key, datagram, address);
        if (!env_.options.cacheDisabled && MayStoreReply(datagram) && !IsOwnKey(key)) {
            env_.cache.CacheStore(key, datagram);
        }
    } else {
        StoreNegativeReply(key, datagram);
        PassOnWhenEveryServerSaidNo(key);
    }
    MarkServerResponding(address);
}

void UdpRelay::SendToAllServers(std::string_view query, const ForwardedRequest* request) {
    // One round of pending messages once every server is asked, not one after each: in a
    // burst of requests a round per server per request costs more than the requests.
    for (int i = 0; i < kUsedNameServers; ++i) {
        if (env_.upstream.IsActive() && env_.servers[i].enabled) {
            if (request != nullptr) MarkForwarded(*request, i);
            env_.upstream.SendDatagram(env_.servers[i].address, env_.upstreamPort, query);
        }
    }
    env_.hooks.ProcessPendingMessages();
}

void UdpRelay::SendToBestServer(std::string_view query, const ForwardedRequest* request) {
    const int best = BestServer();
    if (best < 0) return;
    if (request != nullptr) MarkForwarded(*request, best);
    env_.upstream.SendDatagram(env_.servers[best].address, env_.upstreamPort, query);
}

void UdpRelay::MarkForwarded(const ForwardedRequest& request, int server) {
    // Nested events may have moved the slot, or swept it away.
    for (const int i : env_.table.PositionsOfKey(KeyToMatch(request.key))) {
        const PendingRequest& slot = env_.table[i];
        if (slot.UpstreamId == request.upstreamId && slot.Key == request.key) {
            env_.table.MarkForwarded(i, server);
            return;
        }
    }
}

int UdpRelay::BestServer() {
    if (!env_.upstream.IsActive()) return -1;
    int best = -1;
    for (int i = 0; i < kUsedNameServers; ++i) {
        const NameServer& server = env_.servers[i];
        if (server.enabled && (best < 0 || server.WINNING > env_.servers[best].WINNING)) best = i;
    }
    return best;
}

void UdpRelay::AddPending(const PendingRequest& request) {
    PendingTable& table = env_.table;
    if (table.Append(request)) return;

    // A full table of answered requests is only a busy relay: reuse the oldest answered slot.
    const int settled = table.FindOldestSettled(env_.clock.Now());
    if (settled >= 0) {
        table.Replace(settled, request);
        return;
    }
    // Every slot still waits: a loop (this host listed as its own server) or every server dead.
    for (int i = 0; i < kUsedNameServers; ++i) env_.servers[i].enabled = false;
    table.Clear();
    env_.hooks.ShowCriticalError(std::string(kCriticalErrorTitle), std::string(kCriticalErrorText));
    ServersChanged();
}

bool UdpRelay::HasRoomFor(const std::string& address, uint16_t port) {
    const PendingTable& table = env_.table;
    // Our own queries coming back (this host listed as a server) must reach the full-table
    // path, which stops the loop; they are held to no share.
    if (IsListedServer(address)) return true;
    // One client holds at most half the table's waiting slots, so it cannot shut others out.
    if (table.WaitingCount() >= kPendingSlots / 2 &&
        table.WaitingOfClient(std::string_view(address).substr(0, kClientAddressLength)) >=
            kPendingSlots / 2) {
        DropRequest(address, port, "no free slot");
        return false;
    }
    if (table.IsFull() && table.WaitingCount() == table.PendingCount()) {
        DropRequest(address, port, "no free slot");
        return false;
    }
    return true;
}

void UdpRelay::DropRequest(const std::string& address, uint16_t port, std::string_view reason) {
    std::string line = "Dropped request from " + address + ":" + std::to_string(port);
    if (!reason.empty()) line.append(": ").append(reason);
    env_.log.WriteLog(line, 3);
}

bool UdpRelay::IsAwaitedReply(const std::string& key, std::string_view reply,
                              const std::string& address) const {
    if (reply.size() < 2) return false;
    const uint16_t id = Read16(reply, 0);
    for (const int i : env_.table.PositionsOfKey(KeyToMatch(key))) {
        const PendingRequest& slot = env_.table[i];
        if (slot.UpstreamId != id) continue;
        for (int server = 0; server < kUsedNameServers; ++server) {
            if (slot.ForwardedTo[static_cast<size_t>(server)] &&
                SameAddress(env_.servers[server].address, address)) {
                return true;
            }
        }
    }
    return false;
}

void UdpRelay::DeliverAnswer(const std::string& key, std::string_view reply,
                             std::string_view source, const RequestLine* request) {
    const KeyToMatch match(key);
    const bool fromCache = source == kFromCache;
    bool first = true;
    for (int i = env_.table.FindOldestWaiting(match, env_.clock.Now()); i >= 0;
         i = env_.table.FindOldestWaiting(match, env_.clock.Now())) {
        const PendingRequest& slot = env_.table[i];
        const Tick now = env_.clock.Now();
        const uint32_t elapsed = TicksBetween(slot.StartTick, now);
        std::string serverName;
        if (fromCache) {
            env_.table.MarkCacheAnswered(i, now);
            AddIfFits(env_.counters.ACACHE, 1);
        } else {
            AddIfFits(env_.counters.ADNS, 1);
            serverName = AnsweringServerName(source);
            env_.table.MarkServerAnswered(i, now);
        }
        // Each client gets the reply under its message ID and spelling, in a size it takes;
        // the answer leaves before anything is written about it.
        SendToClient(slot.ClientAddress, slot.ClientPort,
                     ShapeReply(reply, ReplyTarget{slot.ClientId, slot.Question, slot.Edns}));
        if (first) {
            if (request != nullptr) LogRequest(*request);
            if (env_.options.LOG_DETAIL != 1) LogAnswer(source, serverName, key, reply, elapsed);
        }
        first = false;
        if (!fromCache) ServersChanged();
    }
    if (first && request != nullptr) LogRequest(*request);

    const Tick now = env_.clock.Now();
    const int cached = env_.table.FindOldestCacheAnswered(match, now);
    if (cached < 0) return;
    const PendingRequest& slot = env_.table[cached];
    if (fromCache) {
        env_.table.MarkCacheAnswered(cached, now);
    } else if (!slot.ServerTick) {
        if (!env_.options.cacheDisabled) env_.counters.WTIME += TicksBetween(*slot.CacheTick, now);
        env_.table.MarkServerAnswered(cached, now);
    }
}

void UdpRelay::LogRequest(const RequestLine& request) {
    std::string line = "Q: ";
    line.append(request.address)
        .append(" for: ")
        .append(EscapeControlOctets(ShowName(request.name)));
    if (env_.options.LOG_DETAIL == 3) line.append("; TYPE: ").append(request.type);
    env_.log.WriteLog(line, 1);
}

void UdpRelay::LogAnswer(std::string_view source, const std::string& serverName,
                         const std::string& key, std::string_view reply, uint32_t elapsed) {
    const bool high = env_.options.LOG_DETAIL == 3;
    std::string line = source == kFromCache ? std::string("A: CACHE: ") : "A: " + serverName + ": ";
    line += EscapeControlOctets(ShowName(key)) + " [in" + SpacedNumber(elapsed) + "ms]";
    if (high) line += (source == kFromCache ? " ; TYPE: " : " TYPE: ") + GetQueryType(reply);
    env_.log.WriteLog(line, 2);
}

void UdpRelay::StoreNegativeReply(const std::string& key, std::string_view reply) {
    for (const int i : env_.table.PositionsOfKey(KeyToMatch(key))) {
        const PendingRequest& slot = env_.table[i];
        if (slot.IsWaiting() && slot.Key == key) env_.table.RecordNegativeReply(i, reply);
    }
}

bool UdpRelay::EveryServerSaidNo(const PendingRequest& slot) const {
    return slot.IsWaiting() && slot.NegativeCount >= EnabledServerCount(env_.servers);
}

void UdpRelay::PassOnNegativeReply(int position) {
    const PendingRequest& slot = env_.table[position];
    const std::string key = slot.Key;
    const std::string reply = slot.NegativeReply;
    DeliverAnswer(key, reply, kHostNotFound);
    env_.table.RemovePending(position);
}

void UdpRelay::PassOnWhenEveryServerSaidNo(const std::string& key) {
    // The sweep would find the lowest such slot first; nothing else can have changed since.
    int lowest = -1;
    for (const int i : env_.table.PositionsOfKey(KeyToMatch(key))) {
        const PendingRequest& slot = env_.table[i];
        if (slot.Key == key && EveryServerSaidNo(slot) && (lowest < 0 || i < lowest)) lowest = i;
    }
    if (lowest >= 0) PassOnNegativeReply(lowest);
}

void UdpRelay::CreditReplyTime(const std::string& key, const std::string& address) {
    int server = -1;
    for (int i = 0; i < kUsedNameServers && server < 0; ++i) {
        if (env_.servers[i].enabled && SameAddress(env_.servers[i].address, address)) server = i;
    }
    if (server < 0) return;

    const KeyToMatch match(key);
    const Tick now = env_.clock.Now();
    NameServer& credited = env_.servers[server];
    bool first = true;
    for (int i = env_.table.FindOldestUncredited(match, server, now); i >= 0;
         i = env_.table.FindOldestUncredited(match, server, now)) {
        env_.table.MarkServerReplied(i, server);
        if (first) {
            AddIfFits(credited.ATIME, TicksBetween(env_.table[i].StartTick, now));
            AddIfFits(credited.NATIME, 1);
            first = false;
        }
    }
}

std::string UdpRelay::AnsweringServerName(std::string_view source) {
    if (source == kHostNotFound) return std::string(source);
    std::string name;
    for (int i = 0; i < kUsedNameServers; ++i) {
        NameServer& server = env_.servers[i];
        if (!SameAddress(server.address, source)) continue;
        AddIfFits(server.WINNING, 1);
        AddIfFits(env_.servers.NDNS, 1);
        const bool unnamed = server.description.empty() || server.description == " ";
        name = unnamed ? server.address : server.description;
    }
    return name;
}

void UdpRelay::MarkServerResponding(const std::string& address) {
    bool changed = false;
    for (int i = 0; i < kUsedNameServers; ++i) {
        NameServer& server = env_.servers[i];
        if (!server.responded && SameAddress(server.address, address)) {
            server.responded = true;
            changed = true;
        }
    }
    if (changed) ServersChanged();
}

void UdpRelay::ServersChanged() {
    AgeServerWins(env_.servers);
    env_.hooks.ServersChanged();
}

void UdpRelay::SendToClient(const std::string& address, uint16_t port, std::string_view datagram) {
    env_.clients.SendDatagram(address, port, datagram);
}

std::string UdpRelay::ReplyKey(std::string_view reply) const {
    std::string key = MakeCacheKey(reply);
    std::string own = OwnKey(key, reply.substr(0, 2));
    return env_.table.PositionsOfKey(KeyToMatch(own)).empty() ? key : own;
}

void UdpRelay::Refuse(std::string_view request, const std::string& address, uint16_t port,
                      const RequestClass& sorted) {
    const bool notImplemented = sorted.use == RequestUse::kNotImplemented;
    env_.log.WriteLog("Refused request from " + address + ":" + std::to_string(port) +
                          (notImplemented ? ": not a standard query" : ": not one question"),
                      3);
    const std::string reply = notImplemented
                                  ? RefusalReply(request, kRcodeNotImp, true, sorted.edns)
                                  : RefusalReply(request, kRcodeFormErr, false, sorted.edns);
    if (!reply.empty()) SendToClient(address, port, reply);
}

bool UdpRelay::IsListedServer(std::string_view address) const {
    for (int i = 0; i < kUsedNameServers; ++i) {
        if (SameAddress(env_.servers[i].address, address)) return true;
    }
    return false;
}

}  // namespace quenda
