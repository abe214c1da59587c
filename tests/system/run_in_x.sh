#!/bin/sh
# Runs a test program in a private X server of its own (Xvfb, 1280x800), so the windowed
# program can show its windows. Without xvfb-run the program runs as it is and its tests skip.
# -noreset: left without clients (a test that ends its tray) the server would reset, and a
# program connecting just then would find no display.
if command -v xvfb-run >/dev/null 2>&1; then
    exec xvfb-run -a -s "-screen 0 1280x800x24 -noreset" "$@"
fi
exec "$@"
