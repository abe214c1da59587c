#!/usr/bin/env bash
# What an idle program costs: CPU time and wake-ups per second of quenda doing nothing, run
# headless and with its window hidden in the tray (a private X server with a tray), each for
# a while after start-up has settled, nothing asking it anything.
#
#   bench/idle.sh [BUILD_DIR] [SECONDS]   (default build-bench, 30 s per mode; root)
#
# cpu: on-CPU time of every thread (/proc/PID/task/*/schedstat); wake-ups: context switches
# of every thread (voluntary and not, /proc/PID/task/*/status), each per second.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build-bench}
seconds=${2:-30}
case $build in /*) ;; *) build=$root/$build ;; esac
quenda=$build/bin/quenda

if [ "$(id -u)" != 0 ]; then
    echo "bench/idle.sh: skipped, needs root (a private network namespace)."
    exit 0
fi
if [ -z "${QUENDA_IDLE_NETNS:-}" ]; then
    [ -x "$quenda" ] || cmake --build "$build" -j "${JOBS:-2}" --target quenda >/dev/null
    QUENDA_IDLE_NETNS=1 exec unshare -n "$0" "$build" "$seconds"
fi
ip link set lo up
work=$(mktemp -d /tmp/quenda-idle.XXXXXX)
pid=
Cleanup() {
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap Cleanup EXIT

Totals() {  # pid: "on-CPU ns, context switches" summed over its threads
    local ns=0 switches=0 task
    for task in /proc/"$1"/task/*; do
        ns=$((ns + $(cut -d' ' -f1 "$task/schedstat" 2>/dev/null || echo 0)))
        switches=$((switches + $(awk '/ctxt_switches/ { s += $2 } END { print s + 0 }' "$task/status" 2>/dev/null || echo 0)))
    done
    echo "$ns $switches"
}

Measure() {  # mode, command...: starts the command, lets it settle, prints one line
    local mode=$1
    shift
    rm -rf "$work/home" && mkdir -p "$work/home"
    printf '[OPTIONS]\r\nLOG_DETAIL=1\r\nSYSTRAY=1\r\n[NAMESERVER]\r\nDNS_0_NAME=127.0.0.2\r\nDNS_0_ENABLED=Yes\r\n' \
        >"$work/home/QUENDA.INI"
    "$@" >"$work/$mode.out" 2>&1 &
    local runner=$!
    # The program itself (the runner may be a wrapper such as xvfb-run).
    for _ in $(seq 100); do
        pid=$(pgrep -n -f -- "--home $work/home" || true)
        [ -n "$pid" ] && break
        sleep 0.1
    done
    [ -n "$pid" ] || { echo "$mode: did not start"; cat "$work/$mode.out"; return; }
    sleep 8
    local before after threads
    before=$(Totals "$pid")
    sleep "$seconds"
    after=$(Totals "$pid")
    threads=$(ls /proc/"$pid"/task | wc -l)
    read -r ns0 sw0 <<<"$before"
    read -r ns1 sw1 <<<"$after"
    awk -v m="$mode" -v ns=$((ns1 - ns0)) -v sw=$((sw1 - sw0)) -v s="$seconds" -v t="$threads" \
        'BEGIN { printf "%-16s %10.1f %12.2f %8d\n", m, ns / 1000 / s, sw / s, t }'
    kill "$pid" 2>/dev/null || true
    wait "$runner" 2>/dev/null || true
    pid=
}

echo "Idle quenda, ${seconds} s per mode after 8 s to settle; load average $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-16s %10s %12s %8s\n' mode "cpu_us/s" "wakeups/s" threads
Measure headless "$quenda" --headless --home "$work/home" --port 5400
if command -v xvfb-run >/dev/null 2>&1 && command -v trayer >/dev/null 2>&1; then
    cat >"$work/tray.sh" <<EOF
#!/bin/sh
trayer >/dev/null 2>&1 &
sleep 1
exec "$quenda" --home "$work/home" --port 5400
EOF
    chmod +x "$work/tray.sh"
    Measure hidden-in-tray xvfb-run -a -s "-screen 0 1280x800x24 -noreset" "$work/tray.sh"
else
    echo "hidden-in-tray: skipped, needs xvfb-run and trayer"
fi
