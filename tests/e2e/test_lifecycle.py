"""How the agent starts and ends: command lines it cannot use, the X server going away, and the
stop signals, with a fetched text handed to a clipboard manager first."""

import os
import signal

import pytest

from conftest import FETCHED, SENT, T

# the options, the environment, the exit status and standard error
REFUSED = {"no --cli": ([], {}, 2, T.usage),
           "a shortcut without a key": (["--cli", "x.js", "--paste", "ctrl+alt"], {}, 2,
                                        T.badShortcut + "ctrl+alt+c / ctrl+alt"),
           "no DISPLAY": (["--cli", "x.js"], {"DISPLAY": None}, 1, T.noDisplaySet),
           "no X server": (["--cli", "x.js"], {"DISPLAY": ":99"}, 1, T.noDisplay.format(":99", ":99"))}


@pytest.mark.parametrize("args, env, code, err", REFUSED.values(), ids=REFUSED)
def test_what_keeps_the_agent_from_starting(desktop, args, env, code, err):
    agent = desktop.start_agent(args, env)
    assert (agent.exit_status(), agent.out.wait()) == (code, b"")
    assert agent.err.wait() == f"{err}\n".encode()


def test_closed_standard_output_and_error_change_nothing(desktop):
    desktop.spawn([os.environ["VARKEL_AGENT"], "--cli", str(desktop.tool), "--node", "/bin/sh",
                   "--paste", "ctrl+alt+c"], preexec_fn=lambda: (os.close(1), os.close(2)))
    # The paste shortcut, the copy one again, is refused once the copy one is in force.
    assert desktop.notification()[0] == T.takenTitle
    desktop.set_clipboard(b"text")
    desktop.press("ctrl+alt+c")
    assert desktop.notification() == SENT


@pytest.mark.parametrize("during_a_run", [False, True])
def test_losing_the_x_server_ends_the_agent(desktop, during_a_run):
    desktop.hold()
    agent = desktop.agent()
    if during_a_run:
        desktop.press("ctrl+alt+b")
        desktop.reached()
    desktop.xvfb.kill()
    assert agent.exit_status() == 1 and agent.err.wait() == (T.lostX + "\n").encode()


SIGNALS = {"TERM": (signal.SIGTERM, 1), "INT": (signal.SIGINT, 1), "HUP": (signal.SIGHUP, 1),
           "TERM, a text sent in pieces": (signal.SIGTERM, 50_000)}


@pytest.mark.parametrize("sig, lines", SIGNALS.values(), ids=SIGNALS)
def test_a_stopped_agent_hands_its_text_to_the_clipboard_manager(desktop, sig, lines):
    text = "Chữ lấy về phải sống sót.\n".encode() * lines
    desktop.file("out").write_bytes(text)
    desktop.write_tool('cat "$0.out"')
    agent = desktop.agent()
    desktop.press("ctrl+alt+b")
    assert desktop.notification() == FETCHED
    manager = desktop.x_client("manager", desktop.dir / "saved")
    agent.proc.send_signal(sig)
    assert agent.exit_status() == -sig and manager.wait(60) == 0 and agent.err.wait() == b""
    assert (desktop.dir / "saved").read_bytes() == text
