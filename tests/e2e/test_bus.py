"""The session bus: runs and notifications while the bus or the notification server fails."""

import json
import os
import signal
import pytest

from conftest import FETCHED, SENT, Desktop

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
