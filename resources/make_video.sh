#!/bin/sh
# Makes 1016.avi, the video the visualisation window plays: 15 s of moving
# colour (rings drifting over slow waves of hue), 320 x 240 at 25 fps,
# MPEG-4 Part 2 in AVI, no sound, so it never mixes into the music.
# Run from anywhere:   resources/make_video.sh
# The file is committed; rerun only to change it. Needs the ffmpeg tool.
set -eu
cd "$(dirname "$0")"

# Brightness: rings around a centre that wanders, over a slow horizontal
# wave; colour: two slow waves across and down the picture.
lum="128+60*sin(hypot(X-160-80*sin(T*0.7),Y-120-60*cos(T*0.9))/14-T*3)+40*sin(X/29+T)"
cb="128+90*sin(X/41+T*0.8)"
cr="128+90*cos(Y/37-T*0.6)"
ffmpeg -nostdin -hide_banner -loglevel error -y \
    -f lavfi -i "nullsrc=s=320x240:r=25:d=15,format=yuv420p,geq=lum='$lum':cb='$cb':cr='$cr'" \
    -fflags +bitexact -flags:v +bitexact -map_metadata -1 \
    -c:v mpeg4 -q:v 12 -g 250 1016.avi
printf '1016.avi: %s bytes\n' "$(stat -c %s 1016.avi)"
