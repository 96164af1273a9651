#!/bin/sh
# Builds the Windows preset and runs its tests under Wine: in the build's own
# prefix (never ~/.wine), with one wineserver kept alive for the whole run so
# that every test process does not start and stop a server of its own.
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
"$wineserver" -p
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX"
    build/windows/wine-run wineboot -i
fi

status=0
ctest --preset windows || status=$?
exit "$status"
