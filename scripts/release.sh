#!/usr/bin/env bash
# Builds the two release artifacts, each with a SHA256SUMS file beside it:
#   build/release/quillhaven-<version>-win64.zip       the Windows exe, README, LICENSE
#   build/release-deb/quillhaven_<version>_amd64.deb   the native build
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh release
cmake --workflow --preset release
cmake --workflow --preset release-deb

echo
for folder in build/release build/release-deb; do
    for artifact in "$folder"/quillhaven[-_]*.zip "$folder"/quillhaven[-_]*.deb; do
        [ -f "$artifact" ] && echo "$(stat -c %s "$artifact") bytes  $artifact"
    done
    cat "$folder/SHA256SUMS"
done
