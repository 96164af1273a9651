#!/usr/bin/env bash
# Builds the native tool and shows its main job on a fresh emulated machine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh native
cmake --preset native >/dev/null
cmake --build --preset native --target quillhaven

QUILLHAVEN_ROOT="$(mktemp -d)/machine"
export QUILLHAVEN_ROOT
tool=build/native/quillhaven
key='HKEY_CURRENT_USER\Software\Quillhaven Demo'

show() {
    printf '\n$ quillhaven'
    printf ' %q' "$@"
    printf '\n'
    "$tool" "$@" || true
}

echo "Emulated machine: $QUILLHAVEN_ROOT"
show +regv "$key" greeting "Hello from Quillhaven"
show -read-reg "$key" greeting
mkdir -p "$QUILLHAVEN_ROOT/drive_c/Tools/bin"
show +path 'C:\Tools\bin'
show -x -read-reg 'HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Session Manager\Environment' Path
echo
echo "broadcast.log:"
cat "$QUILLHAVEN_ROOT/broadcast.log" 2>/dev/null || true
show -help
