#!/bin/bash
# RSS of the player 4 s after start and after 20 s of playing, and its CPU over
# those 20 s, with SDL's dummy output and a 150 s MP3 given on the command line,
# started through MPRIS Play. Run it under its own session bus:
#   dbus-run-session -- bench/player_rss_cpu.sh BUILD/src/tarn-player [DISPLAY]
player=$1; disp=${2:-:91}
song=/tmp/tarn-bench-song.mp3
[ -f $song ] || ffmpeg -nostdin -v error -f lavfi -i "sine=f=440:d=150" -ac 2 -b:a 192k $song
out=$(mktemp -d); export HOME=$out XDG_CONFIG_HOME=$out/.config XDG_RUNTIME_DIR=$out/run
mkdir -m 700 $out/run
export DISPLAY=$disp TARN_AUDIO_OUTPUT=sdl SDL_AUDIODRIVER=dummy
Xvfb $disp -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 & x=$!
sleep 1
$player $song >$out/log 2>&1 & p=$!
sleep 4
rss_idle=$(awk '/VmRSS/{print $2}' /proc/$p/status)
dbus-send --session --dest=org.mpris.MediaPlayer2.tarnplayer --type=method_call /org/mpris/MediaPlayer2 org.mpris.MediaPlayer2.Player.Play >/dev/null 2>&1
sleep 2
t0=$(awk '{print $14+$15}' /proc/$p/stat)
sleep 20
t1=$(awk '{print $14+$15}' /proc/$p/stat)
rss_play=$(awk '/VmRSS/{print $2}' /proc/$p/status)
st=$(grep -o "Playing\|Paused\|Stopped" <(dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.tarnplayer /org/mpris/MediaPlayer2 org.freedesktop.DBus.Properties.Get string:org.mpris.MediaPlayer2.Player string:PlaybackStatus 2>&1) | head -1)
echo "$player: RSS after start ${rss_idle} kB, after 20 s ${rss_play} kB, status $st, CPU $(( (t1-t0)*10 )) ms in 20 s"
kill $p $x; wait 2>/dev/null; rm -rf $out
