#!/usr/bin/env bash
# Builds both release artifacts and checks them (tests/release): the zip and
# its exe under Wine, the Debian package natively. CI runs it after
# scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/release.sh

# Wine as in scripts/test-windows.sh: the release build's own prefix, and one
# wineserver, started before ctest, for all the checks.
WINEPREFIX="$PWD/build/release/wineprefix"
WINEDEBUG="${WINEDEBUG:--all}"
WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
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
"$wineserver" -p 2>/dev/null || echo "Using the wineserver that already runs for $WINEPREFIX"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX"
    build/release/wine-run wineboot -i </dev/null >build/release/wineboot.log 2>&1
else
    build/release/wine-run wineboot </dev/null >build/release/wineboot.log 2>&1
fi

ctest --preset release
ctest --preset release-deb
