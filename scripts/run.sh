#!/usr/bin/env bash
# Installs what is needed, builds the player and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
# The build's folders writable by their owner alone: the player refuses to
# load its modules from a folder other users could write to.
umask 022
scripts/deps.sh build
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target tarn-player
exec build/src/tarn-player "$@"
