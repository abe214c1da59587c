#!/usr/bin/env bash
# What showing the log costs the relay: the rate of answered cache misses at LOG_DETAIL 3 of
# the program without windows, of the program in a private X server showing its System tab,
# and of the program there with its Log tab selected and the separate log window open, all in
# the same run against a fast fake name server on 127.0.0.2:53, in a private network
# namespace. Prints the three rates and the ratio of the last to the first.
#
#   bench/log_windows.sh [BUILD_DIR]     (default build-bench; needs root, about a minute)
#
# Each case asks 20 s of distinct names (never in the cache) with up to 100 queries
# outstanding, as fast as the program answers them.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build-bench}
case $build in /*) ;; *) build=$root/$build ;; esac

if [ "$(id -u)" != 0 ]; then
    echo "bench/log_windows.sh: skipped, needs root (a private network namespace and a name server on port 53)."
    exit 0
fi
for tool in dnsperf dig unshare ip timeout xvfb-run xdotool trayer; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "bench/log_windows.sh: $tool is missing; run scripts/install-deps.sh" >&2
        exit 1
    fi
done

if [ -z "${QUENDA_LOG_BENCH:-}" ]; then
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DQUENDA_BUILD_TESTS=OFF -DQUENDA_BUILD_BENCH=ON >/dev/null
    elif ! grep -q '^QUENDA_BUILD_BENCH:BOOL=ON' "$build/CMakeCache.txt"; then
        cmake -S "$root" -B "$build" -DQUENDA_BUILD_BENCH=ON >/dev/null
    fi
    cmake --build "$build" -j "${JOBS:-2}" --target quenda fake_name_server >/dev/null
    # A network namespace and an X server of the run's own; the whole run is bounded.
    QUENDA_LOG_BENCH=1 exec timeout --foreground 300 unshare -n \
        xvfb-run -a -s "-screen 0 1280x800x24 -noreset" "$0" "$build"
fi

ip link set lo up
quenda=$build/bin/quenda
upstream=$build/bench/fake_name_server
port=5353
work=$(mktemp -d /tmp/quenda-logbench.XXXXXX)
pids=()

Cleanup() {
    for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap Cleanup EXIT
trap 'exit 130' INT TERM

WaitFor() {  # seconds, command...: true once the command succeeds
    local tries=$(($1 * 10))
    shift
    for _ in $(seq "$tries"); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

"$upstream" --address 127.0.0.2 --port 53 --seconds 280 >"$work/upstream.out" 2>&1 &
pids+=($!)
WaitFor 5 grep -q listening "$work/upstream.out" || { cat "$work/upstream.out" >&2; exit 1; }
# A tray, so the program does not ask about the missing one.
trayer --edge top --align right --widthtype request --height 24 --SetDockType true &
pids+=($!)
WaitFor 5 xdotool search --name '^panel$' || { echo "trayer did not start" >&2; exit 1; }

Answered() {  # true when quenda answers a name
    dig @127.0.0.1 -p $port +tries=1 +time=1 +short "$1" A 2>/dev/null | grep -q '^192\.0\.2\.1$'
}

# One case. Arguments: case name, then quenda's extra arguments. Leaves the rate in
# $work/<case>.rate.
Run() {
    local name=$1
    shift
    local home=$work/home-$name
    mkdir -p "$home"
    printf '[OPTIONS]\r\nLOG_DETAIL=3\r\n[NAMESERVER]\r\nDNS_0_NAME=127.0.0.2\r\nDNS_0_ENABLED=Yes\r\n' \
        >"$home/QUENDA.INI"
    "$quenda" "$@" --home "$home" --port $port >/dev/null 2>"$home/stderr.txt" &
    local pid=$!
    pids+=("$pid")
    WaitFor 20 Answered ready.bench.test || { cat "$home/stderr.txt" >&2; exit 1; }
    if [ "$name" != headless ]; then
        local window
        window=$(xdotool search --onlyvisible --name '^Quenda$' | head -1)
        [ -n "$window" ] || { echo "no main window" >&2; exit 1; }
    fi
    if [ "$name" = windows ]; then
        # The Log tab, then its "&Window" button.
        xdotool windowfocus --sync "$window" key --delay 200 alt+l alt+w
        WaitFor 10 xdotool search --onlyvisible --name '^Quenda Log$' ||
            { echo "the separate log window did not open" >&2; exit 1; }
    fi
    sleep 1
    seq -f "n%07g.$name.bench.test A" 1 400000 >"$work/$name.txt"
    dnsperf -s 127.0.0.1 -p $port -d "$work/$name.txt" -l 20 -q 100 -t 2 >"$work/$name.out" 2>&1 || true
    kill -0 "$pid" 2>/dev/null || { echo "quenda ended during the $name case" >&2; exit 1; }
    kill -TERM "$pid"
    wait "$pid" 2>/dev/null || true
    local completed lost qps
    completed=$(awk '/Queries completed:/ { print $3 }' "$work/$name.out")
    lost=$(awk '/Queries lost:/ { print $3 }' "$work/$name.out")
    qps=$(awk '/Queries per second:/ { printf "%.0f", $4 }' "$work/$name.out")
    echo "$name: ${completed:-0} answered, ${lost:-?} lost, ${qps:-0} answered misses/s" >&2
    echo "${qps:-0}" >"$work/$name.rate"
}

Run headless --headless
Run system
Run windows
headless=$(cat "$work/headless.rate")
system=$(cat "$work/system.rate")
windows=$(cat "$work/windows.rate")
echo "answered cache misses per second at LOG_DETAIL 3:"
echo "  headless:                               $headless"
echo "  main window on its System tab:          $system"
echo "  Log tab and separate log window shown:  $windows"
awk -v w="$windows" -v h="$headless" 'BEGIN { if (h > 0) printf "  ratio (windows / headless):             %.2f\n", w / h }'
