// Statistics: shares, time gained, ageing of the counters, per-server figures.
#include "app/relay/statistics.h"

#include <cmath>
#include <limits>

#include "app/relay/counter_math.h"
#include "app/relay/number_text.h"

namespace quenda {
namespace {

// count / settled × 100 rounded halves to even; 0 when it would not fit a 16-bit share.
int Percent(int count, int settled) {
    const double share = std::nearbyint(static_cast<double>(count) / settled * 100.0);
    if (share < std::numeric_limits<int16_t>::min() ||
        share > std::numeric_limits<int16_t>::max()) {
        return 0;
    }
    return static_cast<int>(share);
}

}  // namespace

Shares ComputeShares(const RequestCounters& counters, int waiting) {
    Shares shares;
    const int settled = counters.TOTALQ - waiting;
    if (settled != 0) {
        shares.cache = Percent(counters.ACACHE, settled);
        shares.nameServer = Percent(counters.ADNS, settled);
        shares.lost = Percent(counters.NOTANSWERED, settled);
    }
    int sum = shares.cache + shares.nameServer + shares.lost;
    if (sum >= 101) {
        shares.nameServer -= sum - 100;
        sum = 100;
    }
    if (sum <= 99) {
        if (shares.cache != 0) {
            shares.cache += 100 - sum;
        } else {
            shares.lost = 100 - shares.nameServer - shares.cache;
        }
    }
    return shares;
}

std::string TimeGainedText(double wtimeMs) {
    std::string text;
    if (wtimeMs > 3600000.0) {
        text = DecimalText(RoundHalfEven(wtimeMs / 3600000.0, 1)) + " h";
    } else if (wtimeMs > 60000.0) {
        text = DecimalText(RoundHalfEven(wtimeMs / 60000.0, 1)) + " min";
    } else {
        text = DecimalText(wtimeMs / 1000.0) + " sec";
    }
    return AddLeadingZero(text);
}

std::string AddLeadingZero(const std::string& text) {
    if (!text.empty() && (text[0] == '.' || text[0] == ',')) return "0" + text;
    return text;
}

std::string ServerReplyTimeText(const NameServer& server) {
    if (server.NATIME == 0) return "---";
    const double average = std::nearbyint(static_cast<double>(server.ATIME) / server.NATIME);
    return DecimalText(average) + "ms";
}

std::string FirstAnswerShareText(const NameServer& server, int16_t NDNS) {
    if (NDNS == 0) return "0%";
    const double share = RoundHalfEven(static_cast<double>(server.WINNING) / NDNS * 100.0, 1);
    return AddLeadingZero(DecimalText(share)) + "%";
}

void AgeRequestCounters(RequestCounters& counters, NameServerList& servers) {
    for (int i = 0; i < kUsedNameServers; ++i) {
        NameServer& server = servers[i];
        if (server.ATIME > 4000000) {
            server.ATIME = AgedByTenth(server.ATIME);
            server.NATIME = AgedByTenth(server.NATIME);
        }
    }
    if (counters.TOTALQ <= 10000) return;
    counters.NOTANSWERED = AgedByTenth(counters.NOTANSWERED);
    counters.ADNS = AgedByTenth(counters.ADNS);
    counters.ACACHE = AgedByTenth(counters.ACACHE);
    counters.TOTALQ = AgedByTenth(counters.TOTALQ);
    const int64_t residue =
        int64_t{counters.TOTALQ} - counters.NOTANSWERED - counters.ADNS - counters.ACACHE;
    if (counters.ADNS > Magnitude(residue)) {
        AddIfFits(counters.ADNS, residue);
    } else {
        AddIfFits(counters.ACACHE, residue);
    }
}

void AgeServerWins(NameServerList& servers) {
    if (servers.NDNS <= 10000) return;
    int64_t sum = 0;
    for (int i = 0; i < kUsedNameServers; ++i) {
        servers[i].WINNING = AgedByTenth(servers[i].WINNING);
        sum += servers[i].WINNING;
    }
    servers.NDNS = AgedByTenth(servers.NDNS);
    const int64_t residue = servers.NDNS - sum;
    for (int i = 0; i < kUsedNameServers; ++i) {
        if (servers[i].WINNING > Magnitude(residue)) {
            AddIfFits(servers[i].WINNING, residue);
            return;
        }
    }
}

void Statistics::UpDateStatistic() {
    AgeRequestCounters(counters_, servers_);
    const int waiting = table_.WaitingCount();
    const bool anySettled = counters_.TOTALQ - waiting != 0;
    const Shares shares = anySettled ? ComputeShares(counters_, waiting) : Shares{};
    Show(ShareBar::Cache, shownCache_, shares.cache);
    Show(ShareBar::NameServer, shownNameServer_, shares.nameServer);
    Show(ShareBar::Lost, shownLost_, shares.lost);

    const std::string waitingText = SpacedNumber(waiting);
    if (shownWaiting_ != waitingText) {
        shownWaiting_ = waitingText;
        view_.ShowWaiting(waitingText);
    }
    const std::string timeText = TimeGainedText(counters_.WTIME);
    if (shownTime_ != timeText) {
        shownTime_ = timeText;
        view_.ShowTimeGained(timeText);
    }
}

void Statistics::ResetStatistics() {
    for (NameServer& server : servers_.servers) server.responded = false;
    counters_.WTIME = 0;
    counters_.NOTANSWERED = 0;
    counters_.ADNS = 0;
    counters_.ACACHE = 0;
    counters_.TOTALQ = static_cast<int16_t>(table_.WaitingCount());
    UpDateStatistic();
}

void Statistics::Show(ShareBar bar, std::optional<int>& shown, int percent) {
    if (shown == percent) return;
    shown = percent;
    view_.ShowShare(bar, percent);
}

}  // namespace quenda
