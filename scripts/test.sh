#!/usr/bin/env bash
# Installs what is missing, builds both builds and runs every test:
# natively on a temporary emulated machine, and the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh all

cmake --preset native -DQUILLHAVEN_TESTS=ON
cmake --build --preset native
ctest --preset native

scripts/test-windows.sh
