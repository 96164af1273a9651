#!/usr/bin/env bash
# Installs the Debian 12 packages that are missing for the given side:
#   native   the native build and its tests
#   all      native, plus the Windows cross build and Wine (default)
#   release  all, plus what packaging and its checks need (dpkg-shlibdeps,
#            file, groff and Python for the manual page and the changelog,
#            PyYAML for the winget manifests, lintian)
set -euo pipefail

side="${1:-all}"
packages=(cmake ninja-build g++ pkg-config libsqlite3-dev libgtest-dev libgmock-dev googletest)
if [ "$side" = all ] || [ "$side" = release ]; then
    packages+=(g++-mingw-w64-x86-64-posix wine wine64)
fi
if [ "$side" = release ]; then
    packages+=(dpkg-dev file groff-base python3 python3-yaml lintian)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
