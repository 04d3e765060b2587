"""Faults a user can meet: clipboard owners that stall, die or check request times; tools that
hang or refuse their input; floods of presses; notifications that do not work."""

import os
import signal

import pytest

from conftest import FETCHED, NOTHING_FETCHED, NOTHING_TO_SEND, SENT, T, emit

PASTED = "Chữ lấy từ máy kia".encode()
SAVE_INPUT = '[ "$2" = push ] && exec cat >"$0.in"\n'
OWNERS = {"silent": NOTHING_TO_SEND, "incr-stall": NOTHING_TO_SEND, "incr-die": NOTHING_TO_SEND,
          "strict": SENT}


@pytest.mark.parametrize("owner, shown", OWNERS.items(), ids=OWNERS)
def test_other_clipboard_owners(desktop, owner, shown):
    desktop.write_tool(SAVE_INPUT + emit(PASTED))
    desktop.agent()
    desktop.x_client(owner)
    desktop.press("ctrl+alt+c")
    assert desktop.notification() == shown
    assert shown != SENT or desktop.file("in").read_bytes() == b"strict owner"
    desktop.press("ctrl+alt+b")
    assert desktop.notification() == FETCHED and desktop.clipboard() == PASTED


def test_presses_during_a_run_start_nothing_and_the_clipboard_is_served(desktop):
    desktop.write_tool(emit(PASTED))
    desktop.agent()
    desktop.press("ctrl+alt+b")
    assert desktop.notification() == FETCHED
    desktop.hold()
    desktop.press("ctrl+alt+b")
    release = desktop.reached()
    desktop.run("xdotool", "key", "--delay", "0", "--repeat", "500", "ctrl+alt+c", "ctrl+alt+b")
    assert desktop.clipboard() == PASTED  # served after the presses: handled by now
    release()
    assert desktop.notification() == FETCHED
    assert desktop.runs() == ["clip pull --print"] * 2


INPUT_REFUSED = {"closes it and fails": (emit(b"closed\n", " >&2") + "exit 5",
                                         (T.failedTitle, "closed")),
                 "closes it": ("exec 0<&-", SENT),
                 "reads a little": ("head -c 10 >/dev/null", SENT)}


@pytest.mark.parametrize("tool, shown", INPUT_REFUSED.values(), ids=INPUT_REFUSED)
def test_a_tool_that_does_not_read_its_input(desktop, tool, shown):
    desktop.write_tool('[ "$2" = pull ] && exit 0\n' + tool)
    agent = desktop.agent()
    desktop.set_clipboard("Dòng dài hơn mọi ống dẫn.\n".encode() * 200_000)
    desktop.press("ctrl+alt+c")
    assert desktop.notification() == shown
    desktop.press("ctrl+alt+b")
    assert desktop.notification() == NOTHING_FETCHED and agent.proc.poll() is None


@pytest.mark.parametrize("desktop, fault", [(False, "no server"), (True, "no bus"),
                                            (True, "a hung server")], indirect=["desktop"])
def test_runs_go_on_when_notifications_do_not_work(desktop, fault):
    desktop.write_tool(emit(PASTED))
    nowhere = {"DBUS_SESSION_BUS_ADDRESS": "unix:path=/nonexistent"}
    agent = desktop.agent(env=nowhere if fault == "no bus" else None)
    if fault == "a hung server":
        os.kill(desktop.dunst.pid, signal.SIGSTOP)
    for _ in range(5):
        desktop.new_owner(lambda: desktop.press("ctrl+alt+b"))
    assert len(desktop.runs()) == 5 and agent.proc.poll() is None
