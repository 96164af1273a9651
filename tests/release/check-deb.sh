#!/usr/bin/env bash
# One check of the Debian package:
#   check-deb.sh fields|contents|runs|manual|lintian
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
    # Fields read whole first: grep -q leaving a pipe early fails the writer
    # (SIGPIPE) under pipefail, now and then.
    depends=$(dpkg-deb --field "$deb" Depends)
    grep -Eq '(^|, )libsqlite3-0( |,|$)' <<<"$depends" || fail "no dependency on the SQLite library"
    description=$(dpkg-deb --field "$deb" Description)
    [[ ${description%%$'\n'*} == *'emulated machine'* ]] ||
        fail "the short description does not name the emulated machine"
    [ -n "$(dpkg-deb --field "$deb" Maintainer)" ] || fail "no Maintainer"
    expect_eq "names in SHA256SUMS" "$(awk '{print $2}' "$QH_BUILD/SHA256SUMS")" "$name"
    (cd "$QH_BUILD" && sha256sum --strict -c SHA256SUMS)
    ;;
contents)
    dpkg-deb --contents "$deb"
    expect_eq "files" "$(dpkg-deb --contents "$deb" | awk '/^-/ {print $6}' | LC_ALL=C sort | tr '\n' ' ')" \
        "./usr/bin/quillhaven ./usr/share/doc/quillhaven/changelog.gz ./usr/share/doc/quillhaven/copyright ./usr/share/man/man1/quillhaven.1.gz "
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
manual)
    # Every option that -help lists is named in the manual page, so that an
    # option added later cannot be left out of it.
    dpkg -x "$deb" "$work/root"
    page=$work/root/usr/share/man/man1/quillhaven.1.gz
    text=$(zcat "$page" | groff -man -Tascii -P-c -P-b -P-o -P-u -rLL=200n)
    grep -q "^Quillhaven $QH_VERSION " <<<"$text" || fail "the manual page is not of $QH_VERSION"
    options=$(QUILLHAVEN_ROOT=$work/machine "$work/root/usr/bin/quillhaven" -help | sed -n 's/^\t\([-+=][A-Za-z][-A-Za-z0-9]*\).*/\1/p')
    [ "$(wc -l <<<"$options")" -ge 30 ] || fail "found too few options in -help: $options"
    for option in $options; do
        grep -qiE -- "(^|[^[:alnum:]+=-])${option//+/\\+}([^[:alnum:]-]|$)" <<<"$text" ||
            fail "the manual page does not name $option"
    done
    echo "ok: the manual page names each option of -help:" $options
    # The changelog is this version's.
    expect_eq "changelog" "$(zcat "$work/root/usr/share/doc/quillhaven/changelog.gz" | head -n1)" \
        "quillhaven ($QH_VERSION) unstable; urgency=medium"
    ;;
lintian)
    # Errors and warnings fail; the informational tags are shown.
    lintian --display-info --fail-on error,warning "$deb"
    echo "ok: lintian found no error or warning"
    ;;
*)
    fail "unknown check $check"
    ;;
esac
