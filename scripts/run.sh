#!/usr/bin/env bash
# Sets up, builds and starts the program. Arguments go to the program (try --help).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc 2>/dev/null || echo 2)" --target zelmo
exec ./build/release/bin/zelmo "$@"
