// The UDP relay: takes client requests, answers them from the cache, forwards them upstream,
// matches upstream replies to waiting requests by question key and delivers them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/config/name_server_list.h"
#include "app/config/options.h"
#include "app/log/log_sink.h"
#include "app/relay/pending_table.h"
#include "app/relay/relay_ports.h"
#include "app/relay/request_class.h"
#include "app/relay/statistics.h"
#include "platform/tick/tick.h"

namespace quenda {

// The answering-server text the sweep gives when every enabled server said no.
inline constexpr std::string_view kHostNotFound = "(host not found)";
// The source DeliverAnswer gets for a cache hit.
inline constexpr std::string_view kFromCache = "*";
// The port upstream name servers are asked on.
inline constexpr uint16_t kDnsPort = 53;

inline constexpr std::string_view kCriticalErrorTitle = "Critical Error!";
inline constexpr std::string_view kCriticalErrorText =
    "The amount of pending DNS requests exceeds the system capacaty. Please make sure that you "
    "did not declare your own host as a name server! All DNS servers have been disabled. Please "
    "check and reconfigre youe name servers!";

// Everything the relay works on and talks to; all of it outlives the relay.
struct RelayEnvironment {
    PendingTable& table;
    NameServerList& servers;
    RequestCounters& counters;
    Statistics& statistics;
    const Options& options;  // reads cacheDisabled and LOG_DETAIL
    DatagramPort& upstream;  // UDPPort1
    DatagramPort& clients;   // UDPPort2
    RelayCache& cache;
    LogSink& log;
    Clock& clock;
    RelayHooks& hooks;
    MessageIdSource& ids;              // message IDs of the queries sent upstream
    uint16_t upstreamPort = kDnsPort;  // tests move their fake name servers elsewhere
};

// Number of enabled positions among 0 to 9.
int EnabledServerCount(const NameServerList& servers);

// How long a query of a key sent upstream keeps a cache hit of that key from sending another.
inline constexpr uint32_t kRefreshWindowMs = 2000;

// What the "Q: " line of a client request names.
struct RequestLine {
    std::string_view address;  // the client's
    std::string_view name;     // the decoded question name
    std::string_view type;     // the question type's name
};

// A request in the table, as a forwarded query names it: its key and upstream message ID.
struct ForwardedRequest {
    std::string_view key;
    uint16_t upstreamId = 0;
};

class UdpRelay {
  public:
    explicit UdpRelay(const RelayEnvironment& environment) : env_(environment) {}

    // A datagram arrived on the client port. A DNS query (IsDnsQuery) of another opcode than
    // QUERY is answered NOTIMP, one with more than one question FORMERR, at once and nothing
    // more. Any other query is logged, counted, answered from the cache when it may share
    // (ClassifyRequest) and can be, and forwarded upstream in any case under a fresh message ID
    // of its own; anything that is not a query is logged at level 3 and dropped. So is a query
    // that finds no slot: its client already holds half of the table's waiting slots, or every
    // slot waits and it does not come from a listed server's address (only our own forwarded
    // queries coming back, a loop, take the full-table path of AddPending).
    void HandleClientRequest(std::string_view datagram, const std::string& address, uint16_t port);

    // A datagram arrived on the upstream port. Only datagrams from port upstreamPort of an
    // address in positions 0 to 9 of the list are looked at; the host entry editor is offered
    // each first. Any other is taken only as the reply to a request in the table that was
    // forwarded to that server under the reply's message ID; the rest is logged at level 3 and
    // dropped. A usable reply is delivered, and cached when it answers a request that shares
    // (MayStoreReply); any other is kept as a negative reply, and passed on at once when every
    // enabled server has now said no.
    void HandleServerReply(std::string_view datagram, const std::string& address, uint16_t port);

    // Sends the query to every enabled server in order, then lets window messages run once.
    // With a request, each server asked is recorded in the request's slot (while it is there).
    void SendToAllServers(std::string_view query, const ForwardedRequest* request = nullptr);

    // Sends the query to BestServer(), if there is one, recording it as SendToAllServers does.
    void SendToBestServer(std::string_view query, const ForwardedRequest* request = nullptr);

    // The enabled position among 0 to 9 with the most first answers (the lower position on a
    // tie), or -1 when none is enabled or the upstream port is closed.
    int BestServer();

    // Takes a request into the table. When the table is full, the oldest slot that no longer
    // waits gives its place; when every slot still waits, every server is disabled, the table
    // is emptied, the critical error is shown and the request is dropped.
    void AddPending(const PendingRequest& request);

    // Serves every waiting request of the key (ignoring letter case), oldest first, each with
    // the reply shaped for its client (ShapeReply); source is a server address, kFromCache, or a
    // text from the sweep. Log lines follow the first answer sent: the request's own "Q: " line
    // first when request is given (also when nobody waited), then the "A: " line.
    void DeliverAnswer(const std::string& key, std::string_view reply, std::string_view source,
                       const RequestLine* request = nullptr);

    // Keeps a negative reply in every waiting slot of exactly this key.
    void StoreNegativeReply(const std::string& key, std::string_view reply);

    // The slot waits and has as many negative replies as servers are enabled.
    bool EveryServerSaidNo(const PendingRequest& slot) const;

    // Passes the last negative reply of the slot at position to every waiting client of its
    // key, crediting no server, and frees the slot.
    void PassOnNegativeReply(int position);

    // Credits the server at address the age of the oldest request of exactly this key it has
    // not yet been credited for, and marks all such requests credited.
    void CreditReplyTime(const std::string& key, const std::string& address);

    // The answering server's description (or address), crediting it a first answer; "" for a
    // source that is no listed server; kHostNotFound stays as it is.
    std::string AnsweringServerName(std::string_view source);

    // Sets the responded flag of every position with this address; tells the windows on a change.
    void MarkServerResponding(const std::string& address);

    void SendToClient(const std::string& address, uint16_t port, std::string_view datagram);

    // A datagram has arrived upstream since start-up.
    bool UpstreamSeen() const { return upstreamSeen_; }

  private:
    // Ages the first-answer counts, then tells the windows the list changed.
    void ServersChanged();
    bool IsListedServer(std::string_view address) const;
    // Logs a dropped request at level 3, with the reason when there is one.
    void DropRequest(const std::string& address, uint16_t port, std::string_view reason);
    // Whether a request from address finds a slot; logs the drop when not.
    bool HasRoomFor(const std::string& address, uint16_t port);
    // A slot of the key was forwarded to the server at address under the reply's message ID.
    bool IsAwaitedReply(const std::string& key, std::string_view reply,
                        const std::string& address) const;
    // Records server as asked in the slot of the request, when it is still in the table.
    void MarkForwarded(const ForwardedRequest& request, int server);
    // Passes on, as the sweep would, the negative reply of the lowest slot of exactly this key
    // that every enabled server has said no to.
    void PassOnWhenEveryServerSaidNo(const std::string& key);
    // The key a server's reply serves: the own key of the request it answers when that
    // request shares nothing and is still in the table, else its question key.
    std::string ReplyKey(std::string_view reply) const;
    // Answers a request the relay does not forward (NOTIMP or FORMERR) at once.
    void Refuse(std::string_view request, const std::string& address, uint16_t port,
                const RequestClass& sorted);
    void LogRequest(const RequestLine& request);
    void LogAnswer(std::string_view source, const std::string& serverName, const std::string& key,
                   std::string_view reply, uint32_t elapsed);

    RelayEnvironment env_;
    bool upstreamSeen_ = false;
    PendingRequest request_;  // scratch slot, reused so a request costs no allocations
};

}  // namespace quenda
