#!/bin/sh
# Runs a test program in a private network namespace of its own when root, so fake name
# servers on 127.0.0.x:53 and the program's ports meet nothing else on the machine. Without
# root the program runs as it is and its tests skip, saying why.
if [ "$(id -u)" = 0 ] && command -v unshare >/dev/null 2>&1 && command -v ip >/dev/null 2>&1; then
    exec unshare -n sh -c 'ip link set lo up && QUENDA_NETNS=1 exec "$@"' sh "$@"
fi
exec "$@"
