"""The shortcuts on a real X server: other key names, lock keys, other layouts and keymaps,
presses that only look alike, a held key, and SIGUSR1/SIGUSR2 in place of the keys."""

import signal

import pytest
from Xlib import X

from conftest import FETCHED, NOTHING_FETCHED, NOTHING_TO_SEND, SENT, status

DEFAULTS = ("ctrl+alt+c", "ctrl+alt+b")
MOVE_NUM_LOCK = ["xmodmap", "-e", "remove mod2 = Num_Lock", "-e", "add mod3 = Num_Lock"]
# Presses with one modifier too many or too few, or another key.
ALIKE = ["ctrl+alt+shift+b", "ctrl+b", "alt+b", "super+ctrl+alt+b"]

# the shortcuts, what changes meanwhile, presses that start nothing, the copy and paste presses
CASES = {
    "defaults": (DEFAULTS, [], ALIKE, DEFAULTS),
    "other names as typed": (("Cmd + Shift + Space", "F12+meta+OPT"), [], ["ctrl+alt+b"],
                             ("super+shift+space", "super+alt+F12")),
    "Num Lock and Caps Lock on": (DEFAULTS, [["xdotool", "key", "Num_Lock", "Caps_Lock"]], ALIKE,
                                  DEFAULTS),
    "Num Lock moved to Mod3": (DEFAULTS, [MOVE_NUM_LOCK, ["xdotool", "key", "Num_Lock"]], ALIKE,
                               DEFAULTS),
    "Russian layout": (DEFAULTS, [["setxkbmap", "ru"]], ["ctrl+alt+b"],
                       ("ctrl+alt+Cyrillic_es", "ctrl+alt+Cyrillic_i")),
    "second group of us,ru": (DEFAULTS, [["setxkbmap", "-layout", "us,ru"]], [],
                              ("ctrl+alt+Cyrillic_es", "ctrl+alt+Cyrillic_i")),
}


@pytest.mark.parametrize("given, setup, alike, presses", CASES.values(), ids=CASES)
def test_shortcut(desktop, given, setup, alike, presses):
    agent = desktop.agent("--copy", given[0], "--paste", given[1], ready=False)
    assert agent.status_line() == status(*given)
    desktop.set_clipboard(b"ch\xe1\xbb\xaf")
    for argv in setup:
        desktop.run(*argv)
    # Handled, the first paste shows that the agent has seen the changes before it.
    for keys, shown in (([presses[1]], NOTHING_FETCHED), ([*alike, presses[0]], SENT),
                        ([presses[1]], NOTHING_FETCHED)):
        desktop.press(*keys)
        assert desktop.notification() == shown
    assert desktop.runs() == ["clip pull --print", "clip push --stdin", "clip pull --print"]
    if MOVE_NUM_LOCK in setup:  # the grabs follow Num Lock to Mod3 and give Mod2 back
        ctrl_alt = X.ControlMask | X.Mod1Mask
        assert desktop.grabbable("c", ctrl_alt | X.Mod2Mask)
        assert not desktop.grabbable("c", ctrl_alt | X.Mod3Mask)


def test_holding_a_shortcut_starts_one_run(desktop):
    desktop.run("xset", "r", "rate", "20", "200")
    desktop.hold()
    desktop.agent()
    desktop.run("xdotool", "keydown", "ctrl+alt+b")
    desktop.reached()()
    assert desktop.notification() == NOTHING_FETCHED
    # Still repeating; C ends the repeat, and is handled after every repeat.
    desktop.press("c")
    assert desktop.notification() == NOTHING_TO_SEND
    desktop.run("xdotool", "keyup", "ctrl+alt+b")
    assert desktop.runs() == ["clip pull --print"]


def test_sigusr1_and_sigusr2_do_what_the_shortcuts_do(desktop):
    desktop.write_tool('[ "$2" = push ] && exec cat >"$0.in"\necho lấy')
    agent = desktop.agent()
    desktop.set_clipboard(b"ch\xe1\xbb\xaf")
    for sig, shown in ((signal.SIGUSR1, SENT), (signal.SIGUSR2, FETCHED)):
        agent.proc.send_signal(sig)
        assert desktop.notification() == shown
    assert desktop.runs() == ["clip push --stdin", "clip pull --print"]
    assert (desktop.dir / "tool.in").read_bytes() == b"ch\xe1\xbb\xaf"
    assert desktop.clipboard() == "lấy\n".encode()
