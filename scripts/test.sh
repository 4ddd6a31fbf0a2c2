#!/usr/bin/env bash
# Sets up, builds and runs every test (the debug preset).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset debug
cmake --build --preset debug
# The fuzz targets first, each for 15 seconds, so that CTest's summary closes the run.
bash scripts/fuzz.sh 15
ctest --preset debug "$@"
