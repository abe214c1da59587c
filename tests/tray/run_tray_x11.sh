#!/bin/sh
# Runs tray_host in a virtual X server with trayer as its system tray.
#   run_tray_x11.sh HOST LIBRARY ICON SCREENSHOT
# Exit 77 (CTest's skip) with the reason when no X server with a tray can be had.
host=$1 library=$2 icon=$3 screenshot=$4
for tool in xvfb-run Xvfb trayer xdotool xwininfo; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIPPED: $tool is not installed (scripts/install-deps.sh)"; exit 77; }
done
if ! xvfb-run -a -s "-screen 0 640x240x24" true >/dev/null 2>&1; then
    echo "SKIPPED: Xvfb cannot start here"
    exit 77
fi
# trayer speaks the X11 embedding protocol; without a session bus Qt uses it too.
unset DBUS_SESSION_BUS_ADDRESS
export QT_QPA_PLATFORM=xcb
exec xvfb-run -a -s "-screen 0 640x240x24" sh -c '
    trayer --edge top --align right --widthtype request --height 32 --transparent false --tint 0x4a6076 &
    tray=$!
    "$@"
    status=$?
    kill $tray 2>/dev/null
    exit $status
' tray_host "$host" "$library" "$icon" "$screenshot"
