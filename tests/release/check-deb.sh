#!/usr/bin/env bash
# One check of the Debian package:
#   check-deb.sh fields|contents|runs
# ctest in the release-deb build runs each, after making the package again,
# with QH_BUILD, QH_VERSION and QH_SOURCE set.
set -euo pipefail

check=$1
arch=$(dpkg --print-architecture)
name=quillhaven_${QH_VERSION}_$arch.deb
deb=$QH_BUILD/$name
work=$QH_BUILD/release-checks/deb-$check
rm -rf "$work"
mkdir -p "$work"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
expect_eq() {  # what got wanted
    [ "$2" = "$3" ] || fail "$1: got [$2], wanted [$3]"
    echo "ok: $1 = [$3]"
}

case $check in
fields)
    dpkg-deb --info "$deb"
    expect_eq Package "$(dpkg-deb --field "$deb" Package)" quillhaven
    expect_eq Version "$(dpkg-deb --field "$deb" Version)" "$QH_VERSION"
    expect_eq Architecture "$(dpkg-deb --field "$deb" Architecture)" "$arch"
    expect_eq Section "$(dpkg-deb --field "$deb" Section)" utils
    dpkg-deb --field "$deb" Depends | grep -Eq '(^|, )libsqlite3-0( |,|$)' ||
        fail "no dependency on the SQLite library"
    dpkg-deb --field "$deb" Description | head -n1 | grep -q 'emulated machine' ||
        fail "the short description does not name the emulated machine"
    [ -n "$(dpkg-deb --field "$deb" Maintainer)" ] || fail "no Maintainer"
    expect_eq "names in SHA256SUMS" "$(awk '{print $2}' "$QH_BUILD/SHA256SUMS")" "$name"
    (cd "$QH_BUILD" && sha256sum --strict -c SHA256SUMS)
    ;;
contents)
    dpkg-deb --contents "$deb"
    expect_eq "files" "$(dpkg-deb --contents "$deb" | awk '/^-/ {print $6}' | sort | tr '\n' ' ')" \
        "./usr/bin/quillhaven ./usr/share/doc/quillhaven/copyright "
    expect_eq "the binary" "$(dpkg-deb --contents "$deb" | awk '$6 == "./usr/bin/quillhaven" {print $1, $2}')" \
        "-rwxr-xr-x root/root"
    ;;
runs)
    dpkg -x "$deb" "$work/root"
    tool=$work/root/usr/bin/quillhaven
    file --brief "$tool" | grep -q 'ELF 64-bit .*, stripped' || fail "not stripped: $(file --brief "$tool")"
    ! ldd "$tool" | grep 'not found' || fail "a library is missing"
    expect_eq "-version" "$("$tool" -version)" "Quillhaven $QH_VERSION"
    # A fresh emulated machine, made by this first run.
    export QUILLHAVEN_ROOT=$work/machine
    key='HKEY_LOCAL_MACHINE\SOFTWARE\Quillhaven release check'
    expect_eq "+regv" "$("$tool" +regv "$key" greeting "from the package")" \
        "Succeeded in doing speicified operation(s)!"
    [ -f "$QUILLHAVEN_ROOT/registry.db" ] || fail "no registry.db in the machine folder"
    expect_eq "-x -read-reg" "$("$tool" -x -read-reg "$key" greeting)" "from the package"
    ;;
*)
    fail "unknown check $check"
    ;;
esac
