# Sourced by the scripts that run a Windows build's tests under Wine (POSIX sh):
#   . scripts/wine-prefix.sh
#   wine_prefix_up build/windows
# prepares that build's own prefix (never ~/.wine) and starts one wineserver
# that stays alive until the script exits, so that every test process does
# not start and stop a server of its own. The build must be configured: its
# wine-run is made by cmake.

wine_prefix_up() {
    wine_build=$1
    WINEPREFIX="$PWD/$wine_build/wineprefix"
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
    trap '"$wineserver" -k 2>/dev/null || true' EXIT
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
        "$wine_build/wine-run" wineboot -i </dev/null >"$wine_build/wineboot.log" 2>&1
    else
        "$wine_build/wine-run" wineboot </dev/null >"$wine_build/wineboot.log" 2>&1
    fi
}
