#!/usr/bin/env bash
# Installs what is needed, builds the player and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target tarn-player
exec build/src/tarn-player "$@"
