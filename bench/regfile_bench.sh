#!/usr/bin/env bash
# Import speed of +regf.
#
#   bench/regfile_bench.sh wine BUILD_DIR     Windows build: +regf against Wine's
#                                             regedit /s and reg import of one
#                                             20,000-value export, same prefix
#   bench/regfile_bench.sh native BUILD_DIR   native build: a 200,000-value
#                                             export on a fresh emulated machine
set -euo pipefail

mode=$1
build=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Arithmetic on decimals: calc EXPRESSION FORMAT.
calc() { awk "BEGIN { printf \"$2\", $1 }"; }

# Seconds taken by a command, to the millisecond.
seconds() {
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    calc "$end - $start" '%.3f'
}

# Best time of each command over five rounds; the commands take turns, so
# that a slow spell of the machine does not fall on one of them alone.
# reset_cmd runs before every timing.
best_of_rounds() {
    local -a best=()
    local round i t
    for round in 1 2 3 4 5; do
        for i in "${!commands[@]}"; do
            "${reset_cmd[@]}" >/dev/null 2>&1 || true
            # shellcheck disable=SC2086
            t=$(seconds ${commands[$i]})
            if [ -z "${best[$i]:-}" ] || [ "$(calc "$t < ${best[$i]}" '%d')" = 1 ]; then
                best[$i]=$t
            fi
        done
    done
    echo "${best[@]}"
}

case $mode in
wine)
    run="$build/wine-run"
    key='HKEY_CURRENT_USER\Software\QuillhavenBench'
    python3 "$here/make_export.py" 20000 2000 "$key" "$work/bench.reg"
    file="Z:${work//\//\\}\\bench.reg"
    reset_cmd=(sh -c "'$run' reg delete '$key' /f >/dev/null 2>&1 || true")
    # One server for the whole benchmark, so that no run pays for starting it.
    server=/usr/lib/wine/wineserver64
    [ -x "$server" ] || server=wineserver
    WINEPREFIX="$build/wineprefix" "$server" -p 2>/dev/null || true  # may be running already
    trap 'WINEPREFIX="$build/wineprefix" "$server" -k 2>/dev/null; rm -rf "$work"' EXIT
    "$run" reg query 'HKCU' >/dev/null
    commands=("$run $build/quillhaven.exe +regf $file" "$run regedit /s $file"
        "$run reg import $file")
    read -r tool regedit regimport < <(best_of_rounds)
    "${reset_cmd[@]}"
    echo "20000 values over 2000 keys, best of five rounds under Wine:"
    echo "  quillhaven +regf  ${tool} s"
    echo "  regedit /s        ${regedit} s"
    echo "  reg import        ${regimport} s"
    echo "  +regf / regedit /s  = $(calc "$tool / $regedit" '%.2f')"
    echo "  +regf / reg import  = $(calc "$tool / $regimport" '%.2f')"
    ;;
native)
    export QUILLHAVEN_ROOT="$work/machine"
    python3 "$here/make_export.py" 200000 20000 'HKEY_CURRENT_USER\Software\QuillhavenBench' \
        "$work/bench.reg"
    : >"$work/empty.reg"
    "$build/quillhaven" +regf "Z:$work/empty.reg" >/dev/null  # creates the machine
    reset_cmd=("$build/quillhaven" -regk 'HKEY_CURRENT_USER\Software\QuillhavenBench')
    commands=("$build/quillhaven +regf Z:$work/bench.reg")
    read -r t < <(best_of_rounds)
    echo "200000 values over 20000 keys on the emulated machine: ${t} s," \
        "$(calc "200000 / $t" '%.0f') values per second"
    ;;
*)
    echo "usage: $0 wine|native BUILD_DIR" >&2
    exit 2
    ;;
esac
