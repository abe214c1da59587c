#!/usr/bin/env bash
# End-to-end benchmark: dnsperf against the running quenda with a fast fake name server on
# 127.0.0.2:53 behind it, and the same workloads sent straight to that name server, all on
# loopback in a private network namespace. Prints one table.
#
#   bench/end_to_end.sh [BUILD_DIR]     (default build-bench; needs root, about two minutes)
#
# Workloads: cache hits (one name) and cache misses (distinct names) at 30 queries/s for 20 s,
# and bursts of 1000 queries sent as fast as dnsperf can (distinct names, then one name).
# CPU per query is utime+stime of the serving process from /proc/PID/stat (10 ms ticks) and,
# finer, the on-CPU time of its threads from /proc/PID/task/*/schedstat.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build-bench}
case $build in /*) ;; *) build=$root/$build ;; esac

if [ "$(id -u)" != 0 ]; then
    echo "bench/end_to_end.sh: skipped, needs root (a private network namespace and a name server on port 53)."
    exit 0
fi
for tool in dnsperf dig unshare ip timeout; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "bench/end_to_end.sh: $tool is missing; run scripts/install-deps.sh" >&2
        exit 1
    fi
done

if [ -z "${QUENDA_E2E_NETNS:-}" ]; then
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DQUENDA_BUILD_TESTS=OFF -DQUENDA_BUILD_BENCH=ON >/dev/null
    elif ! grep -q '^QUENDA_BUILD_BENCH:BOOL=ON' "$build/CMakeCache.txt"; then
        cmake -S "$root" -B "$build" -DQUENDA_BUILD_BENCH=ON >/dev/null
    fi
    cmake --build "$build" -j "${JOBS:-2}" --target quenda fake_name_server >/dev/null
    # The whole run is bounded; the trap below stops what is still running.
    QUENDA_E2E_NETNS=1 exec timeout --foreground 600 unshare -n "$0" "$build"
fi

ip link set lo up
quenda=$build/bin/quenda
upstream=$build/bench/fake_name_server
[ -x "$upstream" ] || upstream=$(find "$build" -name fake_name_server -type f -perm -u+x | head -1)
port=5353
ticks=$(getconf CLK_TCK)
work=$(mktemp -d /tmp/quenda-e2e.XXXXXX)
quendaPid=
upstreamPid=
dnsperfPid=
stopStatus=0

# pid: SIGTERM, then SIGKILL after 20 s; the exit status (or "killed") in stopStatus. Called in
# the main shell, never in $(...), so the ended child is reaped and not seen alive as a zombie.
StopProcess() {
    local pid=$1
    stopStatus=0
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 200); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        stopStatus=killed
        return
    fi
    wait "$pid" 2>/dev/null || stopStatus=$?
}

Cleanup() {
    if [ -n "$dnsperfPid" ]; then StopProcess "$dnsperfPid"; fi
    if [ -n "$quendaPid" ]; then StopProcess "$quendaPid"; fi
    if [ -n "$upstreamPid" ]; then StopProcess "$upstreamPid"; fi
    rm -rf "$work"
}
trap Cleanup EXIT
trap 'exit 130' INT TERM

CpuTicks() {  # pid: utime+stime of the whole process, in clock ticks; 0 once it has ended
    # Fields after the parenthesised command name; utime and stime are 14 and 15.
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || stat=") "
    stat=${stat##*) }
    echo "$stat" | awk '{ print $12 + $13 }'
}

SchedNs() {  # pid: on-CPU nanoseconds summed over the process's threads
    cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%d\n", s }'
}

RcvbufErrors() {  # UDP datagrams dropped on full receive queues in this namespace so far
    awk '/^Udp:/ { if (++n == 2) print $6 }' /proc/net/snmp
}

SocketDrops() {  # pid: "port:drops" for each UDP socket of that process, from ss
    ss -uamnp 2>/dev/null | awk -v who="pid=$1," '
        index($0, who) { n = split($4, parts, ":"); port = parts[n]; next }
        port != "" && match($0, /d[0-9]+\)/) {
            printf "%s:%s ", port, substr($0, RSTART + 1, RLENGTH - 2)
            port = ""
        }'
}

Asked() {  # the fake name server's latest "asked N" report
    kill -USR1 "$upstreamPid"
    sleep 0.2
    awk '/^asked/ { n = $2 } END { print n + 0 }' "$work/upstream.out"
}

StartUpstream() {
    : >"$work/upstream.out"
    "$upstream" --address 127.0.0.2 --port 53 --seconds 200 >"$work/upstream.out" 2>&1 &
    upstreamPid=$!
    for _ in $(seq 50); do
        grep -q listening "$work/upstream.out" && return 0
        sleep 0.1
    done
    echo "the fake name server did not start:" >&2
    cat "$work/upstream.out" >&2
    exit 1
}

Ask() {  # name: one query to quenda; true when it was answered
    dig @127.0.0.1 -p $port +tries=1 +time=1 +short "$1" A 2>/dev/null | grep -q '^192\.0\.2\.1$'
}

StartQuenda() {  # case name
    local home=$work/home-$1
    mkdir -p "$home"
    # Written first, always: a home without it is seeded with public resolvers.
    printf '[OPTIONS]\r\nLOG_DETAIL=1\r\n[NAMESERVER]\r\nDNS_0_NAME=127.0.0.2\r\nDNS_0_ENABLED=Yes\r\n' \
        >"$home/QUENDA.INI"
    "$quenda" --headless --home "$home" --port $port >/dev/null 2>"$home/stderr.txt" &
    quendaPid=$!
    for _ in $(seq 40); do
        Ask ready.bench.test && return 0
        kill -0 "$quendaPid" 2>/dev/null || break
        sleep 0.5
    done
    echo "quenda did not start serving:" >&2
    cat "$home/stderr.txt" >&2
    exit 1
}

# Query files: names of their own per workload so no workload warms another's cache.
seq -f 'm%05g.miss.bench.test A' 1 700 >"$work/miss.txt"
seq -f 'b%05g.burst.bench.test A' 1 1000 >"$work/burst.txt"
echo 'hit.bench.test A' >"$work/hit.txt"
yes 'hit.bench.test A' | head -1000 >"$work/bursthit.txt" || true

rows=()
idle=

# One workload against one target. Arguments: workload label, target (quenda|direct),
# query file, then the dnsperf arguments that shape the load.
Run() {
    local label=$1 target=$2 file=$3
    shift 3
    StartUpstream
    local server=127.0.0.2 serverPort=53 pid=$upstreamPid note=
    if [ "$target" = quenda ]; then
        StartQuenda "$label"
        server=127.0.0.1 serverPort=$port pid=$quendaPid
        # A hit workload finds its name in the cache from the first query on.
        if [ "$file" = "$work/hit.txt" ] || [ "$file" = "$work/bursthit.txt" ]; then
            Ask hit.bench.test || note="prime unanswered"
        fi
        sleep 1
        if [ -z "$idle" ]; then
            # What the program costs with nothing to do (its timers), to set beside the rest.
            local idle0
            idle0=$(SchedNs "$pid")
            sleep 5
            idle=$(awk -v ns=$(($(SchedNs "$pid") - idle0)) 'BEGIN { printf "%.0f", ns / 1000 / 5 }')
        fi
    fi
    local asked0 ticks0 ns0 ticks1 ns1 asked1 drops0 out
    asked0=$(Asked)
    drops0=$(RcvbufErrors)
    ticks0=$(CpuTicks "$pid")
    ns0=$(SchedNs "$pid")
    out=$work/dnsperf-$label-$target.txt
    # In the background so that a signal to this script is handled at once, not after the run.
    timeout 90 dnsperf -s "$server" -p "$serverPort" -d "$file" -t 5 -b 4096 "$@" >"$out" 2>&1 &
    dnsperfPid=$!
    wait "$dnsperfPid" || note="${note:+$note; }dnsperf status $?"
    dnsperfPid=
    sleep 1  # lets replies to refreshes and cache writes finish inside the measured window
    kill -0 "$pid" 2>/dev/null || note="${note:+$note; }server ended during the run"
    ticks1=$(CpuTicks "$pid")
    ns1=$(SchedNs "$pid")
    asked1=$(Asked)
    local drops=$(($(RcvbufErrors) - drops0))
    # Where they were dropped: quenda's sockets, by local port ($port is the one clients ask).
    [ "$target" = quenda ] && [ "$drops" -gt 0 ] &&
        note="${note:+$note; }dropped at port:count $(SocketDrops "$pid")"
    local rss=-
    [ "$target" = quenda ] && rss=$(awk '/^VmHWM/ { printf "%.1f", $2 / 1024 }' /proc/"$pid"/status 2>/dev/null || true)

    local sent completed lost avg max codes
    sent=$(awk '/Queries sent:/ { print $3 }' "$out")
    completed=$(awk '/Queries completed:/ { print $3 }' "$out")
    lost=$(awk '/Queries lost:/ { print $3 }' "$out")
    avg=$(awk '/Average Latency/ { printf "%.3f", $4 * 1000 }' "$out")
    max=$(awk '/Average Latency/ { gsub(/\)/, "", $8); printf "%.3f", $8 * 1000 }' "$out")
    codes=$(awk -F': *' '/Response codes:/ { print $2 }' "$out")
    case $codes in "NOERROR "*"(100.00%)" | "") ;; *) note="${note:+$note; }codes: $codes" ;; esac
    if [ -z "$sent" ] || [ "$sent" = 0 ]; then
        note="${note:+$note; }no dnsperf statistics (its output is above)"
        sent=0
        sed 's/^/    /' "$out" | tail -20 >&2
    fi

    local cpuStat=- cpuSched=-
    # Per query answered: a datagram the kernel dropped cost the server nothing.
    if [ "${completed:-0}" -gt 0 ]; then
        cpuStat=$(awk -v t=$((ticks1 - ticks0)) -v hz="$ticks" -v n="$completed" \
            'BEGIN { printf "%.1f", t * 1e6 / hz / n }')
        cpuSched=$(awk -v ns=$((ns1 - ns0)) -v n="$completed" 'BEGIN { printf "%.1f", ns / 1000 / n }')
    fi

    local upstreamAsked=-
    if [ "$target" = quenda ]; then
        upstreamAsked=$((asked1 - asked0))
        StopProcess "$quendaPid"
        quendaPid=
        [ "$stopStatus" = 0 ] || note="${note:+$note; }quenda exit $stopStatus"
        [ -s "$work/home-$label/stderr.txt" ] && note="${note:+$note; }stderr: $(head -c 120 "$work/home-$label/stderr.txt" | tr '\n' ' ')"
    fi
    StopProcess "$upstreamPid"
    upstreamPid=

    rows+=("$(printf '%-10s %-6s %5s %5s %5s %6s %8s %8s %8s %9s %8s %6s  %s' \
        "$label" "$target" "$sent" "$completed" "$lost" "$drops" "$avg" "$max" "$cpuStat" \
        "$cpuSched" "$upstreamAsked" "$rss" "$note")")
    echo "  done: $label $target (sent $sent, lost $lost)" >&2
}

echo "End-to-end benchmark in a private network namespace; about two minutes." >&2
for target in quenda direct; do
    Run hits "$target" "$work/hit.txt" -Q 30 -l 20
    Run misses "$target" "$work/miss.txt" -Q 30 -l 20
    Run burst "$target" "$work/burst.txt" -q 1000 -n 1
    Run burst-hits "$target" "$work/bursthit.txt" -q 1000 -n 1
done

echo
echo "quenda: $quenda in front of fake_name_server on 127.0.0.2:53;"
echo "direct: the same workload sent straight to fake_name_server."
echo "drops: datagrams the kernel dropped on a full UDP receive queue during the run."
echo "Latency in ms. CPU in µs per query answered, of the serving process: stat from utime+stime"
echo "($((1000 / ticks)) ms ticks), sched from the on-CPU time of its threads."
echo "upstream: queries the name server got during the run; RSS: quenda's peak resident MB."
printf '%-10s %-6s %5s %5s %5s %6s %8s %8s %8s %9s %8s %6s  %s\n' \
    workload target sent done lost drops "avg ms" "max ms" "cpu stat" "cpu sched" upstream "RSS MB" note
for row in "${rows[@]}"; do echo "$row"; done
echo "quenda idle (no queries, 5 s): ${idle:-?} µs CPU per second."
