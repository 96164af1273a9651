#!/usr/bin/env bash
# Import speed of +regf, and export speed of -rege.
#
#   bench/regfile_bench.sh wine BUILD_DIR     Windows build: +regf against Wine's
#                                             regedit /s and reg import of one
#                                             20,000-value export, same prefix
#   bench/regfile_bench.sh native BUILD_DIR   native build: a 200,000-value
#                                             export on a fresh emulated machine
#   bench/regfile_bench.sh wine-export BUILD_DIR
#                                             Windows build: -rege against
#                                             regedit /e of the 20,000-value key
#   bench/regfile_bench.sh native-export BUILD_DIR
#                                             native build: -rege of 200,000
#                                             values, over 20,000 keys and in one
#   bench/regfile_bench.sh wine-journal BUILD_DIR
#   bench/regfile_bench.sh native-journal BUILD_DIR
#                                             +regf of the 20,000-value export
#                                             with and without the run's journal
#                                             (QUILLHAVEN_JOURNAL=off), into a
#                                             fresh key and over the same values
#
# Each command is timed by the wall clock and, when perf is there (Debian:
# linux-perf), by the CPU time of the importing process (task-clock). The
# CPU time is the figure to compare: wall times follow how busy the machine
# is far more, and under Wine they include the wineserver's share.
set -euo pipefail

mode=$1
build=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Arithmetic on decimals: calc EXPRESSION FORMAT.
calc() { awk "BEGIN { printf \"$2\", $1 }"; }

have_perf=false
if command -v perf >/dev/null 2>&1 && perf stat -x, -e task-clock -o /dev/null true >/dev/null 2>&1; then
    have_perf=true
else
    echo "perf is missing or may not count here (Debian: apt-get install linux-perf;" \
        "kernel.perf_event_paranoid): wall times only" >&2
fi

# "WALL CPU" of one run of a command: seconds to the millisecond, and the
# milliseconds of task-clock of the command and its children ("-" without
# perf). A wineserver that runs already is no child, so it is not counted.
measure() {
    local start end cpu=-
    start=$(date +%s.%N)
    if $have_perf; then
        perf stat -x, -e task-clock -o "$work/perf.csv" "$@" >/dev/null
        cpu=$(awk -F, '$3 == "task-clock" { printf "%.0f", $1 }' "$work/perf.csv")
    else
        "$@" >/dev/null
    fi
    end=$(date +%s.%N)
    echo "$(calc "$end - $start" '%.3f') $cpu"
}

# Lower of two measures, "-" being no measure.
lower() {
    if [ "$2" = - ] || { [ "$1" != - ] && [ "$(calc "$1 < $2" '%d')" = 1 ]; }; then
        echo "$1"
    else
        echo "$2"
    fi
}

# Best wall time and best CPU time of each command over five rounds, as
# "WALL CPU WALL CPU ...". The commands take turns, so that a slow spell of
# the machine does not fall on one of them alone. reset_cmd runs before
# every timing.
best_of_rounds() {
    local -a wall=() cpu=()
    local i w c
    for _ in 1 2 3 4 5; do
        for i in "${!commands[@]}"; do
            "${reset_cmd[@]}" >/dev/null 2>&1 || true
            # shellcheck disable=SC2086
            read -r w c < <(measure ${commands[$i]})
            wall[i]=$(lower "$w" "${wall[i]:--}")
            cpu[i]=$(lower "$c" "${cpu[i]:--}")
        done
    done
    for i in "${!commands[@]}"; do echo -n "${wall[i]} ${cpu[i]} "; done
    echo
}

# "WALL s   CPU ms" for the table.
row() {
    if [ "$2" = - ]; then printf '%8s s\n' "$1"; else printf '%8s s  %6s ms\n' "$1" "$2"; fi
}

# "+regf / OTHER = WALL (wall)[, CPU (CPU)]".
ratio() {
    local text
    text="$(calc "$1 / $3" '%.2f') wall"
    [ "$2" = - ] || [ "$4" = - ] || text+=", $(calc "$2 / $4" '%.2f') CPU"
    echo "$text"
}

case $mode in
wine)
    run="$build/wine-run"
    key='HKEY_CURRENT_USER\Software\QuillhavenBench'
    python3 "$here/make_export.py" 20000 2000 "$key" "$work/bench.reg"
    file="Z:${work//\//\\}\\bench.reg"
    # The exe as it ships, without debug sections: Wine reads a whole image
    # into memory when it loads it, and those of a RelWithDebInfo build
    # cost tens of milliseconds per run that no user pays.
    exe="$build/quillhaven.exe"
    if command -v x86_64-w64-mingw32-strip >/dev/null 2>&1; then
        x86_64-w64-mingw32-strip -o "$work/quillhaven.exe" "$exe"
        exe="$work/quillhaven.exe"
    else
        echo "x86_64-w64-mingw32-strip is missing: timing the exe with its debug sections" >&2
    fi
    reset_cmd=(sh -c "'$run' reg delete '$key' /f >/dev/null 2>&1 || true")
    # One server for the whole benchmark, so that no run pays for starting it.
    server=/usr/lib/wine/wineserver64
    [ -x "$server" ] || server=wineserver
    WINEPREFIX="$build/wineprefix" "$server" -p 2>/dev/null || true  # may be running already
    trap 'WINEPREFIX="$build/wineprefix" "$server" -k 2>/dev/null; rm -rf "$work"' EXIT
    "$run" reg query 'HKCU' >/dev/null
    commands=("$run $exe +regf $file" "$run regedit /s $file" "$run reg import $file")
    read -r tool_wall tool_cpu regedit_wall regedit_cpu import_wall import_cpu < <(best_of_rounds)
    "${reset_cmd[@]}"
    echo "20000 values over 2000 keys, best of five rounds under Wine"
    echo "(CPU: task-clock of the importing process, the wineserver not counted):"
    echo "  quillhaven +regf  $(row "$tool_wall" "$tool_cpu")"
    echo "  regedit /s        $(row "$regedit_wall" "$regedit_cpu")"
    echo "  reg import        $(row "$import_wall" "$import_cpu")"
    echo "  +regf / regedit /s  = $(ratio "$tool_wall" "$tool_cpu" "$regedit_wall" "$regedit_cpu")"
    echo "  +regf / reg import  = $(ratio "$tool_wall" "$tool_cpu" "$import_wall" "$import_cpu")"
    ;;
native)
    export QUILLHAVEN_ROOT="$work/machine"
    python3 "$here/make_export.py" 200000 20000 'HKEY_CURRENT_USER\Software\QuillhavenBench' \
        "$work/bench.reg"
    : >"$work/empty.reg"
    "$build/quillhaven" +regf "Z:$work/empty.reg" >/dev/null  # creates the machine
    reset_cmd=("$build/quillhaven" -regk 'HKEY_CURRENT_USER\Software\QuillhavenBench')
    commands=("$build/quillhaven +regf Z:$work/bench.reg")
    read -r wall cpu < <(best_of_rounds)
    echo "200000 values over 20000 keys on the emulated machine: ${wall} s," \
        "$(calc "200000 / $wall" '%.0f') values per second$([ "$cpu" = - ] || echo ", CPU ${cpu} ms")"
    ;;
wine-export)
    run="$build/wine-run"
    key='HKEY_CURRENT_USER\Software\QuillhavenBench'
    python3 "$here/make_export.py" 20000 2000 "$key" "$work/bench.reg"
    win_work="Z:${work//\//\\}"
    exe="$build/quillhaven.exe"
    if command -v x86_64-w64-mingw32-strip >/dev/null 2>&1; then
        x86_64-w64-mingw32-strip -o "$work/quillhaven.exe" "$exe"
        exe="$work/quillhaven.exe"
    fi
    server=/usr/lib/wine/wineserver64
    [ -x "$server" ] || server=wineserver
    WINEPREFIX="$build/wineprefix" "$server" -p 2>/dev/null || true
    trap '"$run" reg delete "$key" /f >/dev/null 2>&1; WINEPREFIX="$build/wineprefix" "$server" -k 2>/dev/null; rm -rf "$work"' EXIT
    "$run" reg delete "$key" /f >/dev/null 2>&1 || true
    "$run" regedit /s "$win_work\\bench.reg"
    reset_cmd=(true)
    commands=("$run $exe -rege $key $win_work\\tool.reg" "$run regedit /e $win_work\\regedit.reg $key")
    read -r tool_wall tool_cpu regedit_wall regedit_cpu < <(best_of_rounds)
    cmp -s "$work/tool.reg" "$work/regedit.reg" || echo "the two files differ" >&2
    echo "-rege of 20000 values over 2000 keys, best of five rounds under Wine"
    echo "(CPU: task-clock of the exporting process, the wineserver not counted):"
    echo "  quillhaven -rege  $(row "$tool_wall" "$tool_cpu")"
    echo "  regedit /e        $(row "$regedit_wall" "$regedit_cpu")"
    echo "  -rege / regedit /e  = $(ratio "$tool_wall" "$tool_cpu" "$regedit_wall" "$regedit_cpu")"
    ;;
native-export)
    export QUILLHAVEN_ROOT="$work/machine"
    tree='HKEY_CURRENT_USER\Software\QuillhavenBench'
    flat='HKEY_CURRENT_USER\Software\QuillhavenBenchFlat'
    python3 "$here/make_export.py" 200000 20000 "$tree" "$work/tree.reg"
    python3 "$here/make_export.py" 200000 1 "$flat" "$work/flat.reg"
    "$build/quillhaven" +regf "Z:$work/tree.reg" +regf "Z:$work/flat.reg" >/dev/null
    reset_cmd=(true)
    commands=("$build/quillhaven -rege $tree Z:$work/tree-out.reg"
        "$build/quillhaven -rege $flat\\key00000 Z:$work/flat-out.reg")
    read -r tree_wall tree_cpu flat_wall flat_cpu < <(best_of_rounds)
    echo "-rege of 200000 values on the emulated machine, best of five rounds:"
    echo "  over 20000 keys   $(row "$tree_wall" "$tree_cpu")"
    echo "  in one key        $(row "$flat_wall" "$flat_cpu")"
    ;;
wine-journal | native-journal)
    key='HKEY_CURRENT_USER\Software\QuillhavenBench'
    python3 "$here/make_export.py" 20000 2000 "$key" "$work/bench.reg"
    if [ "$mode" = wine-journal ]; then
        run="$build/wine-run"
        exe="$build/quillhaven.exe"
        if command -v x86_64-w64-mingw32-strip >/dev/null 2>&1; then
            x86_64-w64-mingw32-strip -o "$work/quillhaven.exe" "$exe"
            exe="$work/quillhaven.exe"
        fi
        server=/usr/lib/wine/wineserver64
        [ -x "$server" ] || server=wineserver
        WINEPREFIX="$build/wineprefix" "$server" -p 2>/dev/null || true
        trap 'WINEPREFIX="$build/wineprefix" "$server" -k 2>/dev/null; rm -rf "$work"' EXIT
        "$run" reg query 'HKCU' >/dev/null
        tool="$run $exe"
        where="under Wine"
    else
        export QUILLHAVEN_ROOT="$work/machine"
        tool="$build/quillhaven"
        where="on the emulated machine"
    fi
    file="Z:${work//\//\\}\\bench.reg"
    # The journals go to a folder of the benchmark's own.
    journal="Z:${work//\//\\}\\journal"
    commands=("env QUILLHAVEN_JOURNAL=$journal $tool +regf $file"
        "env QUILLHAVEN_JOURNAL=off $tool +regf $file")
    # shellcheck disable=SC2206
    reset_cmd=(env QUILLHAVEN_JOURNAL=off $tool -regk "$key")
    read -r fresh_wall fresh_cpu fresh_off_wall fresh_off_cpu < <(best_of_rounds)
    # Over the same values every value is recorded before it is set.
    reset_cmd=(true)
    env QUILLHAVEN_JOURNAL=off $tool +regf "$file" >/dev/null
    read -r over_wall over_cpu over_off_wall over_off_cpu < <(best_of_rounds)
    env QUILLHAVEN_JOURNAL=off $tool -regk "$key" >/dev/null
    echo "+regf of 20000 values over 2000 keys $where, best of five rounds:"
    echo "  into a fresh key, with journal         $(row "$fresh_wall" "$fresh_cpu")"
    echo "  into a fresh key, without journal      $(row "$fresh_off_wall" "$fresh_off_cpu")"
    echo "  over the same values, with journal     $(row "$over_wall" "$over_cpu")"
    echo "  over the same values, without journal  $(row "$over_off_wall" "$over_off_cpu")"
    echo "  with / without, fresh key    = $(ratio "$fresh_wall" "$fresh_cpu" "$fresh_off_wall" "$fresh_off_cpu")"
    echo "  with / without, same values  = $(ratio "$over_wall" "$over_cpu" "$over_off_wall" "$over_off_cpu")"
    ;;
*)
    echo "usage: $0 wine|native|wine-export|native-export|wine-journal|native-journal BUILD_DIR" >&2
    exit 2
    ;;
esac
