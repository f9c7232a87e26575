#!/usr/bin/env bash
# Installs what is needed, builds and runs every test, each once:
#   1. the AddressSanitizer + UndefinedBehaviorSanitizer build (warnings are
#      errors) of everything, benchmarks included so that they keep compiling
#      (about 20 s), and all its tests: unit, engine, desktop-bus, the install
#      check and the end-to-end suite (ctest -L e2e: the installed player,
#      sanitised, on a private desktop; its cases take turns while the other
#      tests run beside them),
#   2. the engine's tests under ThreadSanitizer,
#   3. a short run of every fuzz target (clang, libFuzzer; 8 s each).
# TARN_QUICK=1 runs instead the normal (unsanitised) build of everything and
# all its tests, unit and end-to-end, and nothing else.
set -euo pipefail
cd "$(dirname "$0")/.."
# The build's folders writable by their owner alone: the player refuses to
# load its modules from a folder other users could write to.
umask 022
scripts/deps.sh test
jobs=$(nproc)

configure_and_test() { # dir, extra cmake args...
  local dir=$1; shift
  echo "== $dir (${SECONDS} s into the run)"
  cmake -S . -B "$dir" -G Ninja -DTARN_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs")
}

if [[ ${TARN_QUICK:-0} == 1 ]]; then
  configure_and_test build -DCMAKE_BUILD_TYPE=RelWithDebInfo
  exit 0
fi

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Line tables only and light optimisation: the reports keep file and line,
# the build takes far less time than a full debug build.
configure_and_test build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
  -DTARN_SANITIZE=address

export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
configure_and_test build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARN_SANITIZE=thread \
  -DTARN_BUILD_BENCH=OFF

if [[ -x scripts/fuzz.sh ]]; then
  echo "== fuzz (${SECONDS} s into the run)"
  scripts/fuzz.sh 8
fi
echo "All tests passed in ${SECONDS} s."
