# Test sound made with ffmpeg for the benchmarks (never committed), sourced by
# bench/run.sh and bench/race.sh.

# make_music FILE [CODEC_ARGS...]: three minutes of music-like stereo sound
# (two moving tones over pink noise) at 44.1 kHz; by default a 192 kbit/s CBR
# MP3, or in the codec the arguments name (e.g. -c:a wmav2 -b:a 192k).
make_music() {
    local out=$1
    shift
    [ $# -gt 0 ] || set -- -c:a libmp3lame -b:a 192k
    ffmpeg -nostdin -v error -y \
        -f lavfi -i "aevalsrc=0.3*sin(2*PI*220*t)*sin(2*PI*0.5*t)|0.2*sin(2*PI*330*t+sin(2*PI*5*t)):s=44100:d=180" \
        -f lavfi -i "anoisesrc=color=pink:amplitude=0.1:d=180:r=44100" \
        -filter_complex "[1]pan=stereo|c0=c0|c1=c0[n];[0][n]amix=inputs=2:normalize=0" \
        "$@" "$out"
}
