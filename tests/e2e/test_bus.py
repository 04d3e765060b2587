"""The session bus: runs and notifications while the bus or the notification server fails, and
the shortcuts portal on its real KDE stack in a Wayland session without a data-control
clipboard."""

import glob
import json
import os
import shutil
import signal
from subprocess import DEVNULL, PIPE

import pytest

from conftest import FETCHED, SENT, Desktop, Stream

STOP, GO_ON = (lambda d: os.kill(d.dunst.pid, s) for s in (signal.SIGSTOP, signal.SIGCONT))
# a notification server from the start, a notification sent before the fault, how the fault
# begins, how it ends
FAULTS = {
    "no bus": (True, False, Desktop.stop_bus, Desktop.start_bus),
    "the bus gone for a while": (True, True, Desktop.stop_bus, Desktop.start_bus),
    "the bus restarting": (True, True, lambda d: (d.stop_bus(), d.start_bus()), lambda d: None),
    "no server": (False, False, lambda d: None, Desktop.start_dunst),
    "a frozen server": (True, True, STOP, GO_ON),
}


def given_to_dunst(desktop):
    """What dunst has been given; asked after the agent's last Notify went by, so it has that."""
    desktop.run("dunstctl", "close-all")
    history = json.loads(desktop.run("dunstctl", "history").stdout)["data"][0]
    return [(n["summary"]["data"], n["body"]["data"]) for n in history]


@pytest.mark.parametrize("server, notified, begin, end", FAULTS.values(), ids=FAULTS)
def test_runs_go_on_and_notifications_come_back(new_desktop, server, notified, begin, end):
    desktop = new_desktop(notifications=server)
    desktop.write_tool('[ "$2" = push ] || wc -l <"$0.runs"')
    if not notified:
        begin(desktop)
    agent = desktop.agent()
    if notified:
        desktop.press("ctrl+alt+b")
        assert desktop.notification() == FETCHED
        begin(desktop)
    for run in range(1 + notified, 5):
        desktop.new_owner(lambda: desktop.press("ctrl+alt+b"))
        assert desktop.clipboard() == b"%d\n" % run
    end(desktop)
    desktop.press("ctrl+alt+c")
    desktop.bus_log.wait(lambda d: list(SENT) in [c[3:5] for c in desktop.notify_calls(d)])
    assert SENT in given_to_dunst(desktop) and agent.proc.poll() is None


KDE = {"XDG_CURRENT_DESKTOP": "KDE", "QT_QPA_PLATFORM": "xcb"}
BACKEND = (glob.glob("/usr/lib/*/libexec/xdg-desktop-portal-kde") + [""])[0]
# started in this order, each once its bus name is taken
PORTAL = {"kglobalaccel5": "org.kde.kglobalaccel",
          BACKEND: "org.freedesktop.impl.portal.desktop.kde",
          "/usr/libexec/xdg-desktop-portal": "org.freedesktop.portal.Desktop"}


@pytest.mark.skipif(not all(map(shutil.which, [*PORTAL, "weston", "gdbus"])),
                    reason="needs weston, gdbus, kglobalaccel5, xdg-desktop-portal and "
                    "xdg-desktop-portal-kde: scripts/ensure-packages test")
def test_a_wayland_session_without_data_control_gets_shortcuts_from_the_portal(desktop):
    for program, name in PORTAL.items():
        desktop.spawn([program], env=desktop.env(**KDE), stdout=DEVNULL, stderr=DEVNULL)
        desktop.run("gdbus", "wait", "--session", "--timeout", "60", name)
    weston = desktop.spawn(["weston", "--backend=headless-backend.so", "--socket=wayland-7",
                            "--shell=fullscreen-shell.so", "--no-config"], stderr=PIPE)
    Stream(weston.stderr).wait(lambda d: b"fullscreen-shell.so'" in d)  # listening by then
    desktop.write_tool('[ "$2" = push ] && exec cat >"$0.in"\necho fetched')
    agent = desktop.agent(env={"WAYLAND_DISPLAY": "wayland-7"})
    assert agent.layer_line() == f"varkel: X11 (DISPLAY={desktop.display}); phím tắt: cổng " \
                                 "GlobalShortcuts và tín hiệu SIGUSR1/SIGUSR2\n"
    # The session made and its shortcuts listed: kglobalaccel holds the keys.
    desktop.bus_log.wait(lambda d: len(desktop.bus_messages("Response", d)) == 2)
    for keys, shown in (("ctrl+alt+b", FETCHED), ("ctrl+alt+c", SENT)):
        desktop.press(keys)
        assert desktop.notification() == shown
    assert [a[1] for a in desktop.bus_messages("Activated")] == ["paste", "copy"]
    assert desktop.runs() == ["clip pull --print", "clip push --stdin"]
    assert (desktop.dir / "tool.in").read_bytes() == b"fetched\n"
