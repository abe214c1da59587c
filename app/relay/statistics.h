// Request counters, their ageing, the shares and texts of the statistics panel, and the
// per-server figures of the name-server list.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/config/name_server_list.h"
#include "app/config/request_counters.h"
#include "app/relay/pending_table.h"

namespace quenda {

// The three percentage bars of the statistics panel.
enum class ShareBar { Cache, NameServer, Lost };

// Where UpDateStatistic writes; each call is made only when the shown value changes.
class StatisticsView {
  public:
    virtual ~StatisticsView() = default;
    virtual void ShowShare(ShareBar bar, int percent) = 0;
    virtual void ShowWaiting(const std::string& text) = 0;
    virtual void ShowTimeGained(const std::string& text) = 0;
};

// Shares of settled requests in percent, adjusted to add up to 100 (all 0 when none settled).
struct Shares {
    int cache = 0;
    int nameServer = 0;
    int lost = 0;
};

// The shares of settled = TOTALQ - waiting requests, each rounded halves to even, then the
// excess taken from the name-server share or the shortfall given to the cache share (to the
// lost share when the cache share is 0). A share that does not fit 16 bits stays 0.
Shares ComputeShares(const RequestCounters& counters, int waiting);

// Time gained as shown: hours or minutes to one decimal above an hour or a minute, otherwise
// seconds unrounded; e.g. "0.5 sec", "1.5 min", "1.5 h".
std::string TimeGainedText(double wtimeMs);

// Puts "0" before a text that begins with "." or ",".
std::string AddLeadingZero(const std::string& text);

// A server's average reply time: "---" with no timed reply, else e.g. "87ms".
std::string ServerReplyTimeText(const NameServer& server);

// A server's share of first answers to one decimal: "0%" when NDNS is 0, else e.g. "33.3%".
std::string FirstAnswerShareText(const NameServer& server, int16_t NDNS);

// Shrinks the history by a tenth once it grows large: the reply times of positions 0 to 9 past
// 4 000 000 ms, and the request counters past 10 000 requests (the rounding residue going to
// ADNS when it can take it, else to ACACHE). WTIME is not aged.
void AgeRequestCounters(RequestCounters& counters, NameServerList& servers);

// Shrinks first-answer counts by a tenth once NDNS passes 10 000, the rounding residue going to
// the first position whose count exceeds the residue's magnitude.
void AgeServerWins(NameServerList& servers);

// The statistics panel's logic: ages the counters and writes what changed into the view.
class Statistics {
  public:
    Statistics(RequestCounters& counters, NameServerList& servers, const PendingTable& table,
               StatisticsView& view)
        : counters_(counters), servers_(servers), table_(table), view_(view) {}

    void UpDateStatistic();

    // Clears the responded flags and the request counters; TOTALQ keeps the waiting requests.
    void ResetStatistics();

  private:
    void Show(ShareBar bar, std::optional<int>& shown, int percent);

    RequestCounters& counters_;
    NameServerList& servers_;
    const PendingTable& table_;
    StatisticsView& view_;
    std::optional<int> shownCache_, shownNameServer_, shownLost_;  // what the bars show
    std::optional<std::string> shownWaiting_, shownTime_;          // what the fields show
};

}  // namespace quenda
