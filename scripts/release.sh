#!/usr/bin/env bash
# Builds the two release artifacts, each with a SHA256SUMS file beside it:
#   build/release/quillhaven-<version>-win64.zip       the Windows exe, README, LICENSE,
#                                                      CHANGELOG.md, the manual as text
#   build/release-deb/quillhaven_<version>_amd64.deb   the native build, its manual page
# and, from the zip's version, address and SHA-256, the package managers' manifests:
#   build/release/winget/           winget's manifest set (winget install --manifest)
#   build/release/quillhaven.json   Scoop's manifest (scoop install)
# The download address they name is set in CMakeLists.txt (QUILLHAVEN_RELEASES_URL).
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
echo "Manifests:"
ls -1 build/release/winget/* build/release/quillhaven.json
