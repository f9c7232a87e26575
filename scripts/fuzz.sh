#!/usr/bin/env bash
# Fuzzes the file readers: configures a clang build in build-fuzz, builds the
# libFuzzer targets and runs each for SECONDS (default 60) on a small seed
# corpus: the playlist-file reader, then the first-number rule of the state
# files. A crash, a sanitizer report or a broken invariant fails the run and
# leaves the input as build-fuzz/crash-* (or leak-*, timeout-*).
#   scripts/fuzz.sh 30
set -euo pipefail
seconds=${1:-60}
cd "$(dirname "$0")/.."
dir=build-fuzz

CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DTARN_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$dir" --target fuzz_playlist_reader fuzz_first_number -j "$(nproc)"

# Seeds: a file of the original program, the quirks the reader must handle,
# and a line just past the length limit. The corpus grows across runs.
corpus=$dir/fuzz-corpus/playlist_reader
mkdir -p "$corpus"
seed() { printf '%b' "$2" >"$corpus/seed-$1"; }
seed original ' 2 \r\nC:\\Music\\a.mp3+a.mp3\r\nD:\\Songs\\b.wma+b.wma\r\nend\r\n'
seed empty ' 0 \r\nend\r\n'
seed lf-plus ' 3 \n/m/Rock + Roll.mp3+Rock + Roll.mp3\n/m/x\\y+z+w\n/m/noplus.wav\nEND\nend\n'
seed cp1252 ' 1 \r\nC:\\Musik\\Caf\xe9 \x80.mp3+Caf\xe9 \x80.mp3\r\n'
seed binary ' 1 \r\n/m/a+a\r\n\x00\x01end\r\n'
{ printf ' 1 \r\n/'; head -c 32768 /dev/zero | tr '\0' 'x'; printf '\r\nend\r\n'; } >"$corpus/seed-long"

dict=$dir/fuzz-corpus/playlist.dict
printf '%s\n' '"+"' '"end"' '"\x0d\x0a"' '"\x0a"' '"/"' '"\\"' '"\xe9"' '"\xc3\xa9"' >"$dict"

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cd "$dir"
./tests/fuzz_playlist_reader -max_total_time="$seconds" -max_len=40000 -timeout=10 \
  -dict=fuzz-corpus/playlist.dict -print_final_stats=1 fuzz-corpus/playlist_reader

# The state files: what the player writes, what people and other programs
# write by hand, and what lies at the rule's edges.
corpus=fuzz-corpus/first_number
mkdir -p "$corpus"
seed() { printf '%b' "$2" >"$corpus/seed-$1"; }
seed number-line ' 60 \r\n'
seed text-line '1\r\n'
seed bare '1'
seed comma '1,0\r\n'
seed lowest ' -32768 \r\n'
seed too-big '99999\r\n'
seed word 'abc 1\r\n'
seed blank-line '  \r\n 5 \r\n'
seed exponent '\t 3.5e1 ,x'
./tests/fuzz_first_number -max_total_time="$seconds" -max_len=4096 -timeout=10 \
  -print_final_stats=1 "$corpus"
