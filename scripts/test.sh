#!/usr/bin/env bash
# Installs what is missing, builds both builds and runs every test:
# natively on a temporary emulated machine (once plain, once under
# AddressSanitizer and UBSan), and the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh all

cmake --preset native -DQUILLHAVEN_TESTS=ON
cmake --build --preset native
ctest --preset native

cmake --preset native-asan
cmake --build --preset native-asan
ctest --preset native-asan

scripts/test-windows.sh
