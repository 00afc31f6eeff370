#!/usr/bin/env bash
# Sets up, builds into build/ and starts the program; arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh run
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF -DMILMAN_BENCH=OFF
cmake --build build
exec build/bin/milman "$@"
