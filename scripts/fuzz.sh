#!/usr/bin/env bash
# Fuzzes the file readers and the decoders: configures a clang build in
# build-fuzz, builds the libFuzzer targets (and only what they need) and runs
# each for SECONDS (default 60) on a seed corpus made here or copied from
# tests/fixtures. A crash, a sanitizer report, a leak, a hang (an input that
# takes over 10 s) or a broken invariant fails the run and leaves the input
# as build-fuzz/crash-* (or leak-*, timeout-*, oom-*).
#   scripts/fuzz.sh 30                    every target for 30 s
#   scripts/fuzz.sh 1800 fuzz_m3u         one target for half an hour
# The corpora grow across runs in build-fuzz/fuzz-corpus/<target>.
set -euo pipefail
seconds=${1:-60}
shift || true
all=(fuzz_playlist_reader fuzz_first_number fuzz_state_files fuzz_m3u fuzz_decode)
targets=("${@:-${all[@]}}")
cd "$(dirname "$0")/.."
fixtures=$PWD/tests/fixtures
dir=build-fuzz

CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DTARN_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$dir" --target "${targets[@]}" -j "$(nproc)"
cd "$dir"
mkdir -p fuzz-corpus
# The fuzz programs live apart from the engine's FFmpeg module.
export TARN_CODEC_MODULE=$PWD/src/libtarn-ffmpeg.so

# seed TARGET NAME BYTES: one seed file, BYTES in printf's %b notation.
seed() { mkdir -p "fuzz-corpus/$1"; printf '%b' "$3" >"fuzz-corpus/$1/seed-$2"; }

# The playlist reader: a file of the original program, the quirks the reader
# must handle, and a line just past the length limit.
seeds_fuzz_playlist_reader() {
  local t=fuzz_playlist_reader
  seed $t original ' 2 \r\nC:\\Music\\a.mp3+a.mp3\r\nD:\\Songs\\b.wma+b.wma\r\nend\r\n'
  seed $t empty ' 0 \r\nend\r\n'
  seed $t lf-plus ' 3 \n/m/Rock + Roll.mp3+Rock + Roll.mp3\n/m/x\\y+z+w\n/m/noplus.wav\nEND\nend\n'
  seed $t cp1252 ' 1 \r\nC:\\Musik\\Caf\xe9 \x80.mp3+Caf\xe9 \x80.mp3\r\n'
  seed $t binary ' 1 \r\n/m/a+a\r\n\x00\x01end\r\n'
  { printf ' 1 \r\n/'; head -c 32768 /dev/zero | tr '\0' 'x'; printf '\r\nend\r\n'; } \
    >fuzz-corpus/$t/seed-long
  printf '%s\n' '"+"' '"end"' '"\x0d\x0a"' '"\x0a"' '"/"' '"\\"' '"\xe9"' '"\xc3\xa9"' \
    >fuzz-corpus/$t.dict
}

# The state files' first-number rule: what the player writes, what people and
# other programs write by hand, and what lies at the rule's edges.
seeds_fuzz_first_number() {
  local t=fuzz_first_number
  seed $t number-line ' 60 \r\n'
  seed $t text-line '1\r\n'
  seed $t bare '1'
  seed $t comma '1,0\r\n'
  seed $t lowest ' -32768 \r\n'
  seed $t too-big '99999\r\n'
  seed $t word 'abc 1\r\n'
  seed $t blank-line '  \r\n 5 \r\n'
  seed $t exponent '\t 3.5e1 ,x'
  seed $t overflow '1e400\r\n'
  seed $t points '-.5e+1,5.'
  seed $t control '\v1\r\n'
}

# The state files through their readers: byte 0 picks the reader (0 vol.ini,
# rep.ini, Trans.ini; 1 a flag file; 2 the settings file; 3 and 4 the state
# and flag files behind a symbolic link), byte 1 which file.
seeds_fuzz_state_files() {
  local t=fuzz_state_files
  seed $t trans '\x00\x02 75 \r\n'
  seed $t rep '\x00\x01 2 \r\n'
  seed $t vol-negative '\x00\x00-2500 \r\n'
  seed $t over-bound "\x00\x00 1 $(printf '%4100s' '')\r\n"
  seed $t next-text '\x01\x02 1 \r\n'
  seed $t next-printf '\x01\x021'
  seed $t back-comma '\x01\x00 1,0\r\n'
  seed $t stop-word '\x01\x01abc\r\n'
  seed $t trans-linked '\x03\x02 75 \r\n'
  seed $t next-linked '\x04\x021\r\n'
  seed $t settings '\x02\x00[Settings]\nVol=2000\nREP=1\nSIZE=1\n'
  seed $t settings-odd '\x02\x01[General]\nx=1\n[Settings]\nVol="1, 2"\nREP=@Invalid()\nSIZE=\\x41\n'
}

# M3U lists: byte 0 picks the room (0-7) and .m3u8 (bit 3); what players,
# file managers and Windows write.
seeds_fuzz_m3u() {
  local t=fuzz_m3u
  seed $t extinf '\x00#EXTM3U\n#EXTINF:123,Artist - Song\n/m/a.mp3\n\n# note\nsub/b.mp3\n'
  seed $t bom-urls '\x08\xef\xbb\xbf#EXTINF:1,Caf\xc3\xa9\r\nfile:///m/Rock%20Roll.mp3\r\nhttp://radio/x\r\n'
  seed $t windows '\x03#EXTINF:-1,Caf\xe9\r\nC:\\Music\\a.wma\r\n..\\b.mp3\r\n'
  printf '%s\n' '"#EXTINF:"' '"#EXTM3U"' '"file://"' '"://"' '"\x0d\x0a"' '","' '"+"' '"../"' \
    '"%00"' >fuzz-corpus/$t.dict
}

# Media: every fixture (each PCM sample format of WAV, MP3 with and without
# a tag, both WMA versions, AVI with and without sound, the damaged ones).
# The engine's own WAV reader takes only files at the output's rate: each WAV
# fixture also goes in with its header saying 48000 Hz, so every PCM sample
# format reaches it from the start.
seeds_fuzz_decode() {
  mkdir -p fuzz-corpus/fuzz_decode
  cp "$fixtures"/*.mp3 "$fixtures"/*.wav "$fixtures"/*.wma "$fixtures"/*.avi fuzz-corpus/fuzz_decode/
  python3 - "$fixtures" fuzz-corpus/fuzz_decode <<'PY'
import pathlib, struct, sys
for wav in sorted(pathlib.Path(sys.argv[1]).glob("*.wav")):
    data = bytearray(wav.read_bytes())
    at = data.find(b"fmt ")
    if at < 0:
        continue
    block = struct.unpack_from("<H", data, at + 20)[0]
    struct.pack_into("<II", data, at + 12, 48000, 48000 * block)
    (pathlib.Path(sys.argv[2]) / ("at48k-" + wav.name)).write_bytes(data)
PY
}

# ASan's quarantine holds freed memory for a while; the default (256 MB)
# lets a long run grow towards libFuzzer's memory limit.
export ASAN_OPTIONS=abort_on_error=1:quarantine_size_mb=32
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for t in "${targets[@]}"; do
  "seeds_$t"
  case $t in
    fuzz_playlist_reader) opts=(-max_len=40000) ;;
    fuzz_decode) opts=(-max_len=131072) ;;
    fuzz_state_files) opts=(-max_len=5000) ;;
    *) opts=(-max_len=4096) ;;
  esac
  [[ -f fuzz-corpus/$t.dict ]] && opts+=(-dict="fuzz-corpus/$t.dict")
  echo "== $t for $seconds s"
  "./tests/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    "${opts[@]}" "fuzz-corpus/$t"
done
