#!/bin/sh
# Builds the Windows preset and runs its tests under Wine (any arguments go
# to ctest): in the build's own prefix (never ~/.wine), with one wineserver
# kept alive for the whole run so that every test process does not start and
# stop a server of its own.
set -eu
cd "$(dirname "$0")/.."

cmake --preset windows
cmake --build --preset windows

WINEPREFIX="$PWD/build/windows/wineprefix"
WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installers: the tests need neither, and there is no network.
WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES

# The 64-bit server directly: the wineserver wrapper would add its own
# persistence option, and machines without i386 support have no 32-bit one.
if [ -x /usr/lib/wine/wineserver64 ]; then
    wineserver=/usr/lib/wine/wineserver64
else
    wineserver=wineserver
fi

stop_server() {
    "$wineserver" -k 2>/dev/null || true
}
trap stop_server EXIT
trap 'exit 130' INT TERM

mkdir -p "$WINEPREFIX"
# One left over from an interrupted run refuses a second start; it is used
# instead, and stopped at the end like our own.
"$wineserver" -p 2>/dev/null || echo "Using the wineserver that already runs for $WINEPREFIX"
# Wine's own background processes (services, devices) start with the first
# program and live as long as the server. Started here, with their output
# away from ctest's pipes, which ctest would otherwise wait on to the end.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX"
    build/windows/wine-run wineboot -i </dev/null >build/windows/wineboot.log 2>&1
else
    build/windows/wine-run wineboot </dev/null >build/windows/wineboot.log 2>&1
fi

status=0
ctest --preset windows "$@" || status=$?
exit "$status"
