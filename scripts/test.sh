#!/usr/bin/env bash
# Sets up, builds and runs every test: under the default preset, then under asan
# (AddressSanitizer + UndefinedBehaviorSanitizer). Give preset names to run only those.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

presets=("$@")
[ ${#presets[@]} -eq 0 ] && presets=(default asan)

jobs=$(nproc 2>/dev/null || echo 2)
for preset in "${presets[@]}"; do
    echo "=== ${preset}: configure and build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    echo "=== ${preset}: test"
    ctest --preset "$preset" -j "$jobs"
done
