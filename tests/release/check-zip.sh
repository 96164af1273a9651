#!/usr/bin/env bash
# One check of the Windows release zip, on a copy unpacked afresh:
#   check-zip.sh contents|exe|resources|runs|manifests
# ctest in the release build runs each, after making the package again, with
# QH_BUILD, QH_VERSION, QH_SOURCE, QH_RELEASES_URL, QH_OBJDUMP, QH_PROBE and
# QH_WINE_RUN set.
# The Wine checks expect the build's wineserver to be running
# (scripts/check-release.sh starts it).
set -euo pipefail

check=$1
name=quillhaven-$QH_VERSION-win64.zip
work=$QH_BUILD/release-checks/zip-$check
rm -rf "$work"
mkdir -p "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$QH_BUILD/$name")
exe=$work/unpacked/quillhaven.exe

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
expect_eq() {  # what got wanted
    [ "$2" = "$3" ] || fail "$1: got [$2], wanted [$3]"
    echo "ok: $1 = [$3]"
}
# A path as the Windows programs under Wine see it.
windows_path() {
    local path=$1
    echo "Z:${path//\//\\}"
}
# Runs a Windows program; its standard output without the CRs of text mode.
wine_run() {
    "$QH_WINE_RUN" "$@" </dev/null | tr -d '\r'
}

case $check in
contents)
    expect_eq "files in the zip" "$(cd "$work/unpacked" && find . -type f | LC_ALL=C sort | tr '\n' ' ')" \
        "./CHANGELOG.md ./LICENSE ./README.md ./quillhaven.exe ./quillhaven.txt "
    cmp "$work/unpacked/LICENSE" "$QH_SOURCE/LICENSE"
    cmp "$work/unpacked/README.md" "$QH_SOURCE/README.md"
    cmp "$work/unpacked/CHANGELOG.md" "$QH_SOURCE/CHANGELOG.md"
    # The manual as plain text: rendered, of this version, nothing for a
    # terminal left in it.
    manual=$work/unpacked/quillhaven.txt
    head -n1 "$manual" | grep -q '^QUILLHAVEN(1) ' || fail "quillhaven.txt: no manual page header"
    tail -n1 "$manual" | grep -q "^Quillhaven $QH_VERSION " || fail "quillhaven.txt: not of $QH_VERSION"
    ! grep -nP '[\x00-\x08\x1b]|^\.' "$manual" || fail "quillhaven.txt: control characters or roff left"
    expect_eq "names in SHA256SUMS" "$(awk '{print $2}' "$QH_BUILD/SHA256SUMS")" "$name"
    (cd "$QH_BUILD" && sha256sum --strict -c SHA256SUMS)
    ;;
exe)
    file --brief "$exe" | grep -q '^PE32+ executable (console) x86-64' ||
        fail "not a 64-bit console exe: $(file --brief "$exe")"
    ! "$QH_OBJDUMP" -h "$exe" | grep -E '\.debug|\.zdebug' || fail "debug sections left"
    "$QH_OBJDUMP" -t "$exe" | grep -q 'no symbols' || fail "symbol table left"
    # Static: nothing beyond what every Windows installation has.
    dlls=$("$QH_OBJDUMP" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
    for dll in $dlls; do
        case $dll in
        kernel32.dll | advapi32.dll | shlwapi.dll | user32.dll | msvcrt.dll) ;;
        *) fail "imports $dll" ;;
        esac
    done
    echo "ok: imports only system DLLs: $dlls"
    echo "size: $(stat -c %s "$exe") bytes"
    ;;
resources)
    info=$(wine_run "$QH_PROBE" "$(windows_path "$exe")" "$(windows_path "$work/manifest.xml")") ||
        fail "the probe found something missing: $info"
    field() { sed -n "s/^$1=//p" <<<"$info"; }
    expect_eq FixedFileVersion "$(field FixedFileVersion)" "$QH_VERSION.0"
    expect_eq FixedProductVersion "$(field FixedProductVersion)" "$QH_VERSION.0"
    expect_eq FileVersion "$(field FileVersion)" "$QH_VERSION"
    expect_eq ProductVersion "$(field ProductVersion)" "$QH_VERSION"
    expect_eq ProductName "$(field ProductName)" "Quillhaven"
    expect_eq CompanyName "$(field CompanyName)" "the Quillhaven authors"
    expect_eq OriginalFilename "$(field OriginalFilename)" "quillhaven.exe"
    expect_eq LegalCopyright "$(field LegalCopyright)" \
        "$(grep -m1 '^Copyright ' "$QH_SOURCE/LICENSE"), MIT License"
    [ -n "$(field FileDescription)" ] || fail "empty FileDescription"
    cmp "$work/manifest.xml" "$QH_SOURCE/packaging/windows/quillhaven.exe.manifest" ||
        fail "the embedded manifest is not the one in packaging/windows"
    grep -q 'level="asInvoker"' "$work/manifest.xml" || fail "manifest: not asInvoker"
    expect_eq "supportedOS entries" "$(grep -c '<supportedOS ' "$work/manifest.xml")" 4
    ! grep -q '<activeCodePage' "$work/manifest.xml" || fail "manifest sets the code page"
    ;;
runs)
    expect_eq "-version" "$(wine_run "$exe" -version)" "Quillhaven $QH_VERSION"
    key='HKEY_CURRENT_USER\Software\Quillhaven release check'
    wine_run "$exe" -regk "$key" >/dev/null
    expect_eq "+regv" "$(wine_run "$exe" +regv "$key" greeting "from the zip")" \
        "Succeeded in doing speicified operation(s)!"
    expect_eq "-read-reg" "$(wine_run "$exe" -read-reg "$key" greeting)" \
        "$(printf '\n[%s]\ngreeting=from the zip' "$key")"
    expect_eq "-regk" "$(wine_run "$exe" -regk "$key")" "Succeeded in doing speicified operation(s)!"
    ;;
manifests)
    # The winget and Scoop manifests beside the zip, against the zip and the
    # version its exe says.
    version=$(wine_run "$exe" -version)
    expect_eq "-version" "$version" "Quillhaven $QH_VERSION"
    /usr/bin/python3 "$QH_SOURCE/tests/release/check_manifests.py" "$QH_BUILD" "$QH_BUILD/$name" \
        "${version#Quillhaven }" "$QH_RELEASES_URL"
    ;;
*)
    fail "unknown check $check"
    ;;
esac
