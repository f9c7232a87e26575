#!/usr/bin/env bash
# Installs what is needed, builds and runs every test:
#   1. the normal build (warnings are errors),
#   2. the same tests under AddressSanitizer + UndefinedBehaviorSanitizer,
#   3. the engine's tests under ThreadSanitizer,
#   4. a short run of every fuzz target (clang, libFuzzer; 12 s each).
# Set TARN_QUICK=1 to run only the first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
jobs=$(nproc)

configure_and_test() { # dir, extra cmake args...
  local dir=$1; shift
  echo "== $dir (${SECONDS} s into the run)"
  cmake -S . -B "$dir" -G Ninja -DTARN_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs")
}

configure_and_test build -DCMAKE_BUILD_TYPE=RelWithDebInfo
[[ ${TARN_QUICK:-0} == 1 ]] && exit 0

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Line tables only and light optimisation: the reports keep file and line,
# the build takes far less time than a full debug build.
configure_and_test build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
  -DTARN_SANITIZE=address -DTARN_BUILD_BENCH=OFF

export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
configure_and_test build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARN_SANITIZE=thread \
  -DTARN_BUILD_BENCH=OFF

if [[ -x scripts/fuzz.sh ]]; then
  echo "== fuzz (${SECONDS} s into the run)"
  scripts/fuzz.sh 12
fi
echo "All tests passed in ${SECONDS} s."
