#!/usr/bin/python3
"""Reads the player's windows as a screen reader does, over the accessibility
bus: one line per control of the process $1 that is shown and lies in its
window, tab-separated: role, name, text (of a slider: value/maximum), x, y, width, height (on the
screen) and its states among checked, selected, focused, and its
description (the tooltip: a cut-off line in full).
   a11y.py PID answers SECONDS: how fast the window answers meanwhile.
   a11y.py PID press ROLE NAME: does the action of the first shown control of
that role and name, as a screen reader's user would (a button's Press), where
no pointer can be moved (Wayland); ends with status 1 when there is none."""
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib

STATES = {"checked": Atspi.StateType.CHECKED, "selected": Atspi.StateType.SELECTED,
          "focused": Atspi.StateType.FOCUSED}


def shown(node, window=None):
    try:
        states = node.get_state_set()
        if not states.contains(Atspi.StateType.SHOWING):
            return
        ext = Atspi.Component.get_extents(node, Atspi.CoordType.SCREEN)
        window = window or ext
        if (ext.x >= window.x + window.width or ext.y >= window.y + window.height
                or ext.x + ext.width <= window.x or ext.y + ext.height <= window.y):
            return  # placed outside its window: a hidden control, never seen
        text = ""
        if node.get_role_name() == "text":
            text = Atspi.Text.get_text(node, 0, Atspi.Text.get_character_count(node))
        elif node.get_role_name() in ("slider", "scroll bar"):
            text = f"{Atspi.Value.get_current_value(node):g}/{Atspi.Value.get_maximum_value(node):g}"
        marks = ",".join(k for k, v in STATES.items() if states.contains(v))
        name = (node.get_name() or "").replace("\t", " ").replace("\n", " ")
        text = text.replace("\t", " ").replace("\n", " ")
        tip = (node.get_description() or "").replace("\t", " ").replace("\n", " ")
        print(f"{node.get_role_name()}\t{name}\t{text}\t{ext.x}\t{ext.y}\t{ext.width}\t{ext.height}"
              f"\t{marks}\t{tip}")
        # A long playlist shows a few entries: the first hundred are enough,
        # and asking for each of thousands would take seconds.
        for i in range(min(node.get_child_count(), 100)):
            child = node.get_child_at_index(i)
            if child is not None:
                shown(child, window)
    except GLib.Error:
        return  # a window that closed meanwhile


def answers(app, seconds):
    """Asks the main window for its place (a call the program answers on its
    window thread) again and again for SECONDS; prints the number of answers,
    the median and the longest time one took, in milliseconds."""
    times = []
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        start = time.monotonic()
        try:
            # The first window may be a dialog that has just closed: an
            # error is an answer all the same.
            Atspi.Component.get_extents(app.get_child_at_index(0), Atspi.CoordType.SCREEN)
        except GLib.Error:
            pass
        times.append((time.monotonic() - start) * 1000)
        time.sleep(0.01)
    times.sort()
    print(f"{len(times)} {times[len(times) // 2]:.1f} {times[-1]:.1f}")


def find(node, role, name, window=None):
    """The first control below NODE (a window) that is shown, lies in its
    window, and has ROLE and NAME; None when there is none."""
    try:
        if not node.get_state_set().contains(Atspi.StateType.SHOWING):
            return None
        ext = Atspi.Component.get_extents(node, Atspi.CoordType.SCREEN)
        window = window or ext
        if (ext.x >= window.x + window.width or ext.y >= window.y + window.height
                or ext.x + ext.width <= window.x or ext.y + ext.height <= window.y):
            return None
        if node.get_role_name() == role and (node.get_name() or "") == name:
            return node
        for i in range(min(node.get_child_count(), 100)):
            child = node.get_child_at_index(i)
            found = child is not None and find(child, role, name, window)
            if found:
                return found
    except GLib.Error:
        pass
    return None


def press(app, role, name):
    for j in range(app.get_child_count()):
        window = app.get_child_at_index(j)
        control = window is not None and find(window, role, name)
        if control and Atspi.Action.get_n_actions(control) > 0:
            try:
                return Atspi.Action.do_action(control, 0)
            except GLib.Error:
                return True  # sent; the program ended before it answered (Exit)
    return False


def main():
    wanted = int(sys.argv[1])
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and app.get_process_id() == wanted:
            if len(sys.argv) > 3 and sys.argv[2] == "answers":
                answers(app, float(sys.argv[3]))
                return
            if len(sys.argv) > 4 and sys.argv[2] == "press":
                sys.exit(0 if press(app, sys.argv[3], sys.argv[4]) else 1)
            for j in range(app.get_child_count()):
                window = app.get_child_at_index(j)
                if window is not None:
                    shown(window)
    if len(sys.argv) > 4 and sys.argv[2] == "press":
        sys.exit(1)  # no such program


if __name__ == "__main__":
    main()
