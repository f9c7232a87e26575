#!/usr/bin/env bash
# The output device removed while a track plays and another one added: the
# player goes on, on the new device, without a restart.
source "$(dirname "$0")/../lib.sh"
playing_tone

log "another output added and made the default, the playing one removed"
pactl load-module module-null-sink sink_name=tarn_other >/dev/null
at_exit+=("pactl list short modules | awk '/sink_name=tarn_other/ { print \$1 }' | xargs -r -n1 pactl unload-module")
pactl set-default-sink tarn_other
playing_module=$(pactl list short modules | awk '$2 == "module-null-sink" && /sink_name=tarn_null/ { print $1 }')
[[ -n $playing_module ]] || fail "no module of the tarn_null sink"
at_exit+=("pactl list short sinks | grep -q tarn_null || pactl load-module module-null-sink sink_name=tarn_null >/dev/null; pactl set-default-sink tarn_null")
rec_sink=tarn_other record other
pactl unload-module "$playing_module"
wait_for 6 "the 440 Hz tone on the other output" hearing 440
kill -0 "$player" || fail "the player ended with its output device"
must "the track line did not name the playing track" track_line_has "low60.mp3"
log "passed"
