#!/usr/bin/env bash
# Sets up, builds and runs every test (the debug preset).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset debug
cmake --build --preset debug
ctest --preset debug "$@"
bash scripts/fuzz.sh 15
