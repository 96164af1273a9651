#!/usr/bin/env bash
# Real registry-editor files: keys with every value type are written with
# Wine's reg, exported with Wine's regedit (UTF-16LE), imported with +regf
# into a fresh key and exported again; both exports must match. Then the same
# for an ANSI REGEDIT4 file, against Wine's own regedit /s.
#
#   regfile_wine_roundtrip.sh WINE_RUN QUILLHAVEN_EXE WORK_DIR
set -euo pipefail

wine_run=$1
tool=$2
work=$3
base='HKEY_CURRENT_USER\Software\QuillhavenRoundTrip'

rm -rf "$work"
mkdir -p "$work"

win_path() { echo "Z:${1//\//\\}"; }
reg() { "$wine_run" reg "$@" >/dev/null; }
fail() {
    echo "FAIL: $*"
    exit 1
}

# regedit /e of one key, as UTF-8 text without the key paths' varying part.
export_key() {
    local key=$1 name=$2 out=$3
    "$wine_run" regedit /e "$(win_path "$work/$out.reg")" "$base\\$name"
    [ -s "$work/$out.reg" ] || fail "regedit exported nothing for $name"
    iconv -f UTF-16LE -t UTF-8 "$work/$out.reg" | sed "s/QuillhavenRoundTrip\\\\$name/QuillhavenRoundTrip\\\\KEY/" \
        >"$work/$out.txt"
}

import() {
    local file=$1
    local output
    output=$("$wine_run" "$tool" +regf "$(win_path "$file")" | tr -d '\r')
    [ "$output" = "Succeeded in doing speicified operation(s)!" ] || fail "+regf said: $output"
}

"$wine_run" reg delete "$base" /f >/dev/null 2>&1 || true

# Every value type, a default value, a subkey, and data longer than a line.
long_text=$(printf 'long%.0s' $(seq 1 600))
reg add "$base\\src" /ve /d "default text" /f
reg add "$base\\src" /v text /t REG_SZ /d 'C:\Program Files\x "quoted"' /f
reg add "$base\\src" /v empty /t REG_SZ /d "" /f
reg add "$base\\src" /v expand /t REG_EXPAND_SZ /d '%SystemRoot%\system32' /f
reg add "$base\\src" /v multi /t REG_MULTI_SZ /d 'one\0two\0three' /f
reg add "$base\\src" /v binary /t REG_BINARY /d 000102fffe80 /f
reg add "$base\\src" /v number /t REG_DWORD /d 0x12345678 /f
reg add "$base\\src" /v long /t REG_SZ /d "$long_text" /f
reg add "$base\\src\\sub\\deeper" /v inner /t REG_DWORD /d 7 /f

# A binary value far larger than 32 KB comes in through regedit itself.
{
    printf 'REGEDIT4\r\n\r\n[%s\\src]\r\n"big"=hex:' "$base"
    for i in $(seq 1 2000); do
        printf '00,11,22,33,44,55,66,77,88,99,aa,bb,cc,dd,ee,ff,01,02,03,04,05,\\\r\n  '
    done
    printf '42\r\n'
} >"$work/big.reg"
"$wine_run" regedit /s "$(win_path "$work/big.reg")"

export_key "$base\\src" src src
grep -q '"big"=hex:' "$work/src.txt" || fail "the big value is missing from the export"
grep -q 'hex(7):' "$work/src.txt" || fail "the export holds no hex(7) list"

# The same file, pointed at a fresh key, through +regf.
iconv -f UTF-16LE -t UTF-8 "$work/src.reg" | sed 's/QuillhavenRoundTrip\\src/QuillhavenRoundTrip\\dst/' |
    iconv -f UTF-8 -t UTF-16LE >"$work/dst.reg"
import "$work/dst.reg"
export_key "$base\\dst" dst dst
diff -u "$work/src.txt" "$work/dst.txt" || fail "UTF-16LE round trip differs"

# An ANSI REGEDIT4 file: +regf and Wine's regedit must agree. Wine's regedit
# reads hex(2) and hex(7) data of a REGEDIT4 file as ANSI bytes, the tool as
# UTF-16LE in either encoding, so each gets the same texts in its own form.
ansi_body() {
    local name=$1 expand=$2 multi=$3
    printf 'REGEDIT4\r\n\r\n[%s\\%s]\r\n' "$base" "$name"
    printf '@="ansi default"\r\n'
    printf '"text"="a\\\\b \\"c\\""\r\n'
    printf '"number"=dword:0000abcd\r\n'
    printf '"binary"=hex:de,ad,be,ef,\\\r\n  00,01\r\n'
    printf '"expand"=hex(2):%s\r\n' "$expand"
    printf '"multi"=hex(7):%s\r\n' "$multi"
    printf '\r\n[%s\\%s\\child]\r\n"x"="y"\r\n' "$base" "$name"
}
ansi_body ansi_tool 25,00,50,00,41,00,54,00,48,00,25,00,00,00 61,00,00,00,62,00,63,00,00,00,00,00 \
    >"$work/ansi_tool.reg"
ansi_body ansi_wine 25,50,41,54,48,25,00 61,00,62,63,00,00 >"$work/ansi_wine.reg"
import "$work/ansi_tool.reg"
"$wine_run" regedit /s "$(win_path "$work/ansi_wine.reg")"
export_key "$base\\ansi_wine" ansi_wine ansi_wine
export_key "$base\\ansi_tool" ansi_tool ansi_tool
diff -u "$work/ansi_wine.txt" "$work/ansi_tool.txt" || fail "REGEDIT4 import differs from regedit's"

"$wine_run" reg delete "$base" /f >/dev/null 2>&1 || true
echo "regfile Wine round trip: 2 passed, 0 failed"
