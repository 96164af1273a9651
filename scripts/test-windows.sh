#!/bin/sh
# Builds the Windows preset and runs its tests under Wine (any arguments go
# to ctest): in the build's own prefix (never ~/.wine), with one wineserver
# kept alive for the whole run so that every test process does not start and
# stop a server of its own.
set -eu
cd "$(dirname "$0")/.."

cmake --preset windows
cmake --build --preset windows

. scripts/wine-prefix.sh
wine_prefix_up build/windows

status=0
ctest --preset windows "$@" || status=$?
exit "$status"
