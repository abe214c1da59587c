#!/bin/sh
# Fails when a module includes one above it: the windows (app/views) sit on the shell, the
# shell on the model, the relay knows nothing of Qt, sockets or SQLite, and the platform
# stand-ins know nothing of the program. Prints every wrong-way include it finds.
root=${1:?usage: check_layering.sh SOURCE_DIR}
status=0
check() {  # folders, forbidden pattern, what it means
    found=$(cd "$root" && grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]($2)" $1 2>/dev/null)
    if [ -n "$found" ]; then
        echo "$3:"
        echo "$found"
        status=1
    fi
}
check "app/relay app/cache app/config app/log app/shell platform" "app/views/" \
    "only the program's main may include the windows"
check "app/relay app/cache app/config app/log platform" "app/shell/" \
    "the model does not know the shell"
check "app/relay" "Q[A-Za-z]|qt|sqlite3|sys/socket|netinet/|arpa/" \
    "the relay stays free of Qt, sockets and SQLite"
check "platform" "app/" "the platform stand-ins do not know the program"
exit $status
