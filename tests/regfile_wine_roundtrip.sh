#!/usr/bin/env bash
# Real registry-editor files: keys with every value type are written with
# Wine's reg, exported with Wine's regedit (UTF-16LE), imported with +regf
# into a fresh key and exported again; both exports must match. Then the same
# for an ANSI REGEDIT4 file, against Wine's own regedit /s, and for the forms
# the editor writes and reads beyond the common types (type numbers, empty
# lists, its deletions with blanks and comments, comments after dword data,
# key paths ending in backslashes, a "]" in a key name), in both encodings.
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

# The editor's own forms, into two keys that start out alike: once through
# regedit /s, once through +regf. hex(1) data are UTF-16LE for the tool in
# either encoding, ANSI bytes for regedit in a REGEDIT4 file.
editor_body() {
    local header=$1 name=$2 sz_list=$3
    local key="$base\\$name"
    printf '%s\r\n\r\n[%s]\r\n' "$header" "$key"
    printf '"qword"=hex(b):01,02,03,04,05,06,07,08\r\n'
    printf '"upper"=hex(B):ff\r\n'
    printf '"none"=hex(0):00,01\r\n'
    printf '"number"=hex(4):78,56,\\\r\n  34,12\r\n'
    printf '"big_endian"=hex(5):00,00,00,01\r\n'
    printf '"resources"=hex(8):01,02\r\n'
    printf '"odd_type"=hex(ffff0011):aa,bb\r\n'
    printf '"text"=hex(1):%s\r\n' "$sz_list"
    printf '"empty_binary"=hex:\r\n'
    printf '"empty_none"=hex(0):\r\n'
    printf '"empty_expand"=hex(2):\r\n'
    printf '"empty_multi"=hex(7):\r\n'
    printf '"empty_text"=hex(1):\r\n'
    printf '"too_long"=dword:123456789\r\n'
    printf '"old"=-\r\n@=-\r\n"absent"=-\r\n'
    printf '"blanks"=  -\r\n"tabbed"= \t-\r\n"noted"=- ;note\r\n"hashed"=- #note\r\n'
    printf '"dnoted"=dword:00000004 ;note\r\n"dnoted2"=dword:00000005;note\r\n'
    printf '"dhashed"=dword:00000006 #note\r\n'
    printf '[-%s\\gone]\r\n"lost"="x"\r\n' "$key"
    printf '[-%s\\missing\\]\r\n' "$key"
    printf '[%s\\slash\\]\r\n"v"="1"\r\n' "$key"
    printf '[%s\\slashes\\\\]\r\n"v"="2"\r\n' "$key"
    printf '[%s\\br]acket]\r\n"v"="3"\r\n' "$key"
}
utf16() { iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; }; }
editor_forms() {
    local encoding=$1 header=$2 wine_sz=$3
    local tool_key="editor_${encoding}_tool" wine_key="editor_${encoding}_wine"
    for name in "$tool_key" "$wine_key"; do
        for preset in old blanks tabbed noted hashed; do
            reg add "$base\\$name" /v "$preset" /d x /f
        done
        reg add "$base\\$name" /ve /d x /f
        reg add "$base\\$name\\gone\\sub" /v s /d x /f
    done
    editor_body "$header" "$tool_key" 41,00,42,00,00,00 >"$work/$tool_key.reg"
    editor_body "$header" "$wine_key" "$wine_sz" >"$work/$wine_key.reg"
    if [ "$encoding" = utf16 ]; then
        for name in "$tool_key" "$wine_key"; do
            utf16 <"$work/$name.reg" >"$work/$name.wide"
            mv "$work/$name.wide" "$work/$name.reg"
        done
    fi
    import "$work/$tool_key.reg"
    "$wine_run" regedit /s "$(win_path "$work/$wine_key.reg")"
    export_key "$base\\$wine_key" "$wine_key" "$wine_key"
    export_key "$base\\$tool_key" "$tool_key" "$tool_key"
    grep -q '"qword"=hex(b):' "$work/$wine_key.txt" || fail "regedit wrote no qword ($encoding)"
    diff -u "$work/$wine_key.txt" "$work/$tool_key.txt" || fail "editor forms differ ($encoding)"
}
editor_forms ansi REGEDIT4 41,42,00
editor_forms utf16 'Windows Registry Editor Version 5.00' 41,00,42,00,00,00

"$wine_run" reg delete "$base" /f >/dev/null 2>&1 || true
echo "regfile Wine round trip: 4 passed, 0 failed"
