#!/usr/bin/env bash
# Builds both release artifacts and checks them (tests/release): the zip and
# its exe under Wine, the Debian package natively. CI runs it after
# scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/release.sh

# Wine as in scripts/test-windows.sh: the release build's own prefix, and one
# wineserver, started before ctest, for all the checks.
. scripts/wine-prefix.sh
wine_prefix_up build/release

ctest --preset release
ctest --preset release-deb
