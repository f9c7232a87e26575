#!/usr/bin/env bash
# Installs what is needed, builds and runs every test, each where it tells
# the most and only once:
#   1. the normal build (warnings are errors) of the player and the
#      benchmarks; the end-to-end suite (ctest -L e2e: the installed player,
#      unsanitised, on a private desktop) and the install check run on it,
#   2. the unit, engine and desktop-bus tests (every other label) under
#      AddressSanitizer + UndefinedBehaviorSanitizer,
#   3. the engine's tests under ThreadSanitizer,
#   4. a short run of the fuzz targets (clang, libFuzzer).
# TARN_QUICK=1 runs instead the normal build of everything and all its tests
# (unit and end-to-end), unsanitised, and nothing else.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
jobs=$(nproc)

configure() { # dir, extra cmake args...
  local dir=$1; shift
  echo "== $dir (${SECONDS} s into the run)"
  cmake -S . -B "$dir" -G Ninja -DTARN_WERROR=ON "$@" >/dev/null
}
run_tests() { # dir, ctest args...
  local dir=$1; shift
  (cd "$dir" && ctest --output-on-failure -j "$jobs" "$@")
}

configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [[ ${TARN_QUICK:-0} == 1 ]]; then
  cmake --build build -j "$jobs"
  run_tests build
  exit 0
fi
cmake --build build -j "$jobs" --target tarn-player tarn_benchmarks
run_tests build -L 'e2e|install'

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Line tables only and light optimisation: the reports keep file and line,
# the build takes far less time than a full debug build.
configure build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
  -DTARN_SANITIZE=address -DTARN_BUILD_BENCH=OFF
cmake --build build-asan -j "$jobs"
run_tests build-asan -LE install

export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
configure build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARN_SANITIZE=thread \
  -DTARN_BUILD_BENCH=OFF
cmake --build build-tsan -j "$jobs"
run_tests build-tsan

if [[ -x scripts/fuzz.sh ]]; then
  echo "== fuzz (${SECONDS} s into the run)"
  scripts/fuzz.sh 20
fi
echo "All tests passed in ${SECONDS} s."
