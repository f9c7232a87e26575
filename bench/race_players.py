"""The players bench/race.py measures: how each starts, what settings its
fresh home gets, how files reach it and how it is put into the "file loaded,
stopped" state. Every timed request (Play, Pause, Volume, Seek) goes over
MPRIS on the private session bus, the same for all; only loading files uses
each player's own way, as a user would open files in it."""
import json
import os
import socket
import subprocess
import time
import urllib.parse

import dbus

# Settings written into each player's fresh home before it starts: no
# first-run dialogs, no visualisation, nothing fetched from the network.
AUDACIOUS_CONFIG = """[audacious]
resume_playback_on_startup=FALSE

[gtkui]
infoarea_show_vis=FALSE
player_show_vis=FALSE

[qtui]
infoarea_show_vis=FALSE
"""

# Qmmp enables no MPRIS and plays through ALSA by default; its main window
# draws an analyser.
QMMP_CONFIG = """[%General]
enabled_plugins=mpris

[Output]
current_plugin=pulse

[Skinned]
vis_type=None
"""

VLC_CONFIG = """[qt]
qt-privacy-ask=0
qt-continue=0
qt-recentplay=0
qt-updates-notif=0

[core]
metadata-network-access=0
album-art=0
"""


NO_TRACK = "/org/mpris/MediaPlayer2/TrackList/NoTrack"


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)


def run_quietly(argv, env, timeout=15):
    subprocess.run(argv, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=timeout, check=True)


class Player:
    """One player. key: its name in RACE_PLAYERS; label: its column."""

    key = label = bus_name = ""

    def __init__(self, build):
        self.build = build

    def argv(self, work):
        raise NotImplementedError

    def seed(self, home):
        """Writes the player's settings into its fresh home."""

    def load(self, files, s):
        """Puts `files` into the playlist of the player of session `s` (in
        place of what was there, or before or after it) and plays the first
        of them."""
        raise NotImplementedError

    def stopped_state(self, session, path):
        """Loads `path` and leaves it loaded and stopped; returns the
        PlaybackStatus that state shows."""
        self.load([path], session)
        session.wait_playing(10)
        time.sleep(0.5)
        session.mpris.call("Stop")
        session.wait_status("Stopped", 5)
        return "Stopped"


class Tarn(Player):
    key, label, bus_name = "tarn", "tarn-player", "tarnplayer"

    def argv(self, work):
        return [os.path.join(self.build, "src", "tarn-player")]

    def load(self, files, s):
        # A second start hands the files to the running player, which appends
        # them and plays the first.
        run_quietly(self.argv(s.work) + files, s.env)


class Audacious(Player):
    bus_name = "audacious"

    def __init__(self, build, qt):
        super().__init__(build)
        self.flag = "--qt" if qt else "--gtk"
        self.key = "audacious-qt" if qt else "audacious-gtk"
        self.label = "Audacious (Qt)" if qt else "Audacious (GTK)"

    def argv(self, work):
        return ["audacious", self.flag]

    def seed(self, home):
        write(os.path.join(home, ".config", "audacious", "config"), AUDACIOUS_CONFIG)

    def load(self, files, s):
        # `audacious FILE...` hands the files to the running instance, which
        # replaces its playlist with them and plays.
        run_quietly(["audacious", self.flag] + files, s.env)


class Qmmp(Player):
    key, label, bus_name = "qmmp", "Qmmp", "qmmp"

    def argv(self, work):
        return ["qmmp"]

    def seed(self, home):
        write(os.path.join(home, ".qmmp", "qmmprc"), QMMP_CONFIG)

    def load(self, files, s):
        run_quietly(["qmmp"] + files, s.env) # replaces the playlist and plays


class Mpv(Player):
    """mpv shows a window only with --force-window; its MPRIS is the
    mpv-mpris script, its playlist is loaded over its IPC socket."""

    key, label, bus_name = "mpv", "mpv", "mpv"

    def argv(self, work):
        return ["mpv", "--idle=yes", "--force-window=yes", "--audio-display=no",
                "--input-ipc-server=" + os.path.join(work, "mpv.sock")]

    def ipc(self, work, *commands):
        with socket.socket(socket.AF_UNIX) as s:
            s.settimeout(5)
            s.connect(os.path.join(work, "mpv.sock"))
            reader = s.makefile("rb")
            for command in commands:
                s.sendall((json.dumps({"command": command}) + "\n").encode())
                while True: # replies and events share the socket
                    reply = json.loads(reader.readline())
                    if "error" in reply:
                        if reply["error"] != "success":
                            raise RuntimeError(f"mpv {command}: {reply['error']}")
                        break

    def load(self, files, s, pause=False):
        commands = [["set_property", "pause", pause], ["loadfile", files[0], "replace"]]
        commands += [["loadfile", f, "append"] for f in files[1:]]
        self.ipc(s.work, *commands)

    def stopped_state(self, session, path):
        # mpv has no stopped-with-a-file state (its Stop empties the
        # playlist): the nearest is the file loaded and paused at its start.
        self.load([path], session, pause=True)
        session.wait_status("Paused", 10)
        return "Paused"


class Vlc(Player):
    key, label, bus_name = "vlc", "VLC", "vlc"

    def argv(self, work):
        return ["vlc", "--no-qt-privacy-ask", "--no-metadata-network-access",
                "--album-art=0", "--no-qt-recentplay", "--extraintf=dbus"]

    def seed(self, home):
        write(os.path.join(home, ".config", "vlc", "vlcrc"), VLC_CONFIG)

    def load(self, files, s):
        # A second `vlc --one-instance A B` plays each file it hands over in
        # turn, so only the last one stays playing; MPRIS's TrackList puts
        # them at the head of the playlist, the first one playing.
        for i, f in reversed(list(enumerate(files))):
            s.mpris.tracklist.AddTrack("file://" + urllib.parse.quote(f), dbus.ObjectPath(NO_TRACK),
                                       i == 0, timeout=5)


def all_players(build):
    return [Tarn(build), Audacious(build, qt=False), Audacious(build, qt=True), Qmmp(build),
            Mpv(build), Vlc(build)]
