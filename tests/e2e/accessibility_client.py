"""A screen reader's view of the game over AT-SPI, for accessibility_test.sh.

Finds the running game on the accessibility bus and checks, as a screen
reader would meet them: the settings dialog's colour and speed choices are
radio buttons, none checked at first, and a click checks one, with the state
change announced; during a game the focused object (the play area) carries
the score in its description, and a change of the score is announced on it.

Usage: /usr/bin/python3 accessibility_client.py <the driver's command pipe> <its output>
It prints "listening" when it listens for the events; the driver is to be
started after that.
Every wait has a deadline, for a hang only.
"""

import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

TIMEOUT = 60
events = []
commands = None


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def send(command):
    commands.write(command + "\n")
    commands.flush()


def wait_for(what, probe):
    """Runs the bus's events until probe() gives something, and returns it."""
    context = GLib.MainContext.default()
    deadline = time.monotonic() + TIMEOUT
    while True:
        while context.iteration(False):
            pass
        try:
            found = probe()
        except GLib.Error:
            found = None   # an object that went away meanwhile
        if found:
            return found
        if time.monotonic() > deadline:
            fail("no " + what + " within %d s" % TIMEOUT)
        time.sleep(0.05)


def on_event(event):
    events.append((event.type, event.source, event.detail1))


def the_game():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "coilrunner":
            return app
    return None


def window(app, title):
    for child in app:
        if child is not None and child.name == title:
            return child
    return None


def named(root, name, role):
    return pyatspi.findDescendant(root, lambda o: o.name == name and o.getRole() == role)


def states(accessible):
    return accessible.getState()


def press(accessible):
    actions = accessible.queryAction()
    names = [actions.getName(i) for i in range(actions.nActions)]
    for wanted in ("Press", "Toggle", "press", "click"):
        if wanted in names:
            actions.doAction(names.index(wanted))
            return
    fail("%s offers no press action, only %s" % (accessible.name, names))


# Listening first: a program learns which events a client listens for when
# it starts, and may miss a listener that comes while it is starting.
pyatspi.Registry.registerEventListener(
    on_event, "object:state-changed:checked", "object:property-change:accessible-description")
print("listening", flush=True)
commands = open(sys.argv[1], "w")   # waits for the driver to start

game = wait_for("game on the accessibility bus", the_game)
main = wait_for("main window", lambda: window(game, "Quillware Coilrunner"))

# --- the settings dialog's choices ------------------------------------------------
send("settings")
settings = wait_for("settings dialog", lambda: window(game, "Settings"))
choices = ["Orange", "Blue", "Green", "Windows\u00ae 95/98/Me", "Windows\u00ae XP"]
buttons = {}
for name in choices:
    button = wait_for("radio button " + name, lambda: named(settings, name, pyatspi.ROLE_RADIO_BUTTON))
    if states(button).contains(pyatspi.STATE_CHECKED):
        fail(name + " is checked when the dialog opens")
    buttons[name] = button

for name, others in (("Blue", ["Orange", "Green"]), ("Windows\u00ae 95/98/Me", ["Windows\u00ae XP"]),
                     ("Green", ["Orange", "Blue"])):
    del events[:]
    press(buttons[name])
    wait_for(name + " checked", lambda: states(buttons[name]).contains(pyatspi.STATE_CHECKED))
    wait_for("announcement that " + name + " is checked",
             lambda: any(t.startswith("object:state-changed:checked") and s == buttons[name] and d == 1
                         for t, s, d in events))
    for other in others:
        if states(buttons[other]).contains(pyatspi.STATE_CHECKED):
            fail(other + " stays checked next to " + name)
# Blue was unchecked when Green was clicked; the speed stays.
if not states(buttons["Windows\u00ae 95/98/Me"]).contains(pyatspi.STATE_CHECKED):
    fail("the speed choice went with the colour click")
press(named(settings, "OK", pyatspi.ROLE_PUSH_BUTTON))
wait_for("settings dialog closed", lambda: window(game, "Settings") is None)
print("settings: five radio buttons, none checked at first, one checked per set by a click")

# --- the score where the focus is -------------------------------------------------
send("start")


def focused():
    return pyatspi.findDescendant(main, lambda o: o.getState().contains(pyatspi.STATE_FOCUSED))


# The player's window has the keyboard focus, as on a desktop where it was
# just clicked (the private X server has no window manager to give it).
subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^Quillware Coilrunner$",
                "windowfocus", "--sync"], check=True, timeout=TIMEOUT)


def focused_with_score():
    found = focused()
    return found if found is not None and found.description == "Score: 0" else None


play_area = wait_for("focused object with the score", focused_with_score)
# A step that leaves the score says nothing; the block eaten says it once.
del events[:]
send("tick")
wait_for("tick", lambda: "ticked" in open(sys.argv[2]).read())
send("feed")
wait_for("announcement of the new score on the focused object",
         lambda: any(t.startswith("object:property-change:accessible-description") and s == play_area
                     for t, s, d in events))
described = [s for t, s, d in events if t.startswith("object:property-change:accessible-description")]
if len(described) != 1:
    fail("%d announcements of the description for one new score" % len(described))
if play_area.description != "Score: 10":
    fail("the focused object says '%s' after the first block" % play_area.description)
if not states(play_area).contains(pyatspi.STATE_FOCUSED):
    fail("the focus left the play area")
print("score: the focused play area says '%s', and the change is announced there" % play_area.description)
print("PASS")
