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

best_of_three() {
    local best="" t
    for _ in 1 2 3; do
        "${reset_cmd[@]}" >/dev/null 2>&1 || true
        t=$(seconds "$@")
        if [ -z "$best" ] || [ "$(calc "$t < $best" '%d')" = 1 ]; then best=$t; fi
    done
    echo "$best"
}

case $mode in
wine)
    run="$build/wine-run"
    key='HKEY_CURRENT_USER\Software\QuillhavenBench'
    python3 "$here/make_export.py" 20000 2000 "$key" "$work/bench.reg"
    file="Z:${work//\//\\}\\bench.reg"
    reset_cmd=(sh -c "'$run' reg delete '$key' /f >/dev/null 2>&1 || true")
    "$run" reg query 'HKCU' >/dev/null  # the prefix's server is up before timing
    tool=$(best_of_three "$run" "$build/quillhaven.exe" +regf "$file")
    regedit=$(best_of_three "$run" regedit /s "$file")
    regimport=$(best_of_three "$run" reg import "$file")
    "${reset_cmd[@]}"
    echo "20000 values over 2000 keys, best of three runs under Wine:"
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
    t=$(best_of_three "$build/quillhaven" +regf "Z:$work/bench.reg")
    echo "200000 values over 20000 keys on the emulated machine: ${t} s," \
        "$(calc "200000 / $t" '%.0f') values per second"
    ;;
*)
    echo "usage: $0 wine|native BUILD_DIR" >&2
    exit 2
    ;;
esac
