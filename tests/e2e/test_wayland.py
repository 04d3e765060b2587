"""The agent on its Wayland layer: headless sway as nobody, whose two key bindings send the
signals the agent asks for, wl-copy and wl-paste as the other clipboard clients. Everything runs
in a PID namespace of its own, so that `pkill -x varkel-agent` reaches only this test's agent."""

import os
import shutil
import signal
import subprocess
import tempfile
from pathlib import Path
from subprocess import DEVNULL, PIPE

import pytest

from conftest import FETCHED, NOTHING_TO_SEND, SENT, TIMEOUT, Desktop, Stream, T, status

MISSING = [p for p in ("sway", "wtype", "wl-copy", "wl-paste", "pkill") if not shutil.which(p)]
if MISSING or os.geteuid() != 0:
    pytest.skip(f"not installed: {', '.join(MISSING)}" if MISSING else
                "needs root, to run sway and its clients as nobody", allow_module_level=True)

NOBODY = 65534
SWAY = """xwayland disable
bindsym --no-repeat Ctrl+Alt+c exec pkill -USR1 -x varkel-agent
bindsym --no-repeat Ctrl+Alt+b exec pkill -USR2 -x varkel-agent
exec bash -c 'printf "%s\\n" "$WAYLAND_DISPLAY" >&$VARKEL_READY'
"""
LAYER = ("varkel: Wayland (WAYLAND_DISPLAY={}, zwlr_data_control_manager_v1); "
         "phím tắt: chỉ tín hiệu SIGUSR1/SIGUSR2\n")
BINDINGS = "".join(T.bindLine.format(name, key, f"pkill -{sig} -x varkel-agent") + "\n" for
                   name, key, sig in [("gửi đi", "ctrl+alt+c", "USR1"),
                                      (T.pasteName, "ctrl+alt+b", "USR2")]).encode()
TEXT = "Tiếng Việt có dấu: ắ ằ ẳ ẵ ặ — “ngoặc” 😀\r\n\tdòng hai\n".encode()
BIG = TEXT * ((16 << 20) // len(TEXT))
PNG = b"\x89PNG\r\n\x1a\n"
PUSH, PULL = "clip push --stdin", "clip pull --print"
SAVE_INPUT = '[ "$2" = push ] && exec cat >"$0.in"\n'


class Sway(Desktop):
    display = wayland = bus = None  # until each is there

    def start_display(self):
        os.chown(self.dir, NOBODY, NOBODY)
        self.dir.chmod(0o700)
        # The namespace lives as long as its first process, which ends when the test does.
        holder = self.spawn(["unshare", "--pid", "--fork", "--mount-proc", "--kill-child", "sh",
                             "-c", "echo; exec cat"], stdin=PIPE, stdout=PIPE)
        Stream(holder.stdout).wait(lambda d: d == b"\n")
        init = Path(f"/proc/{holder.pid}/task/{holder.pid}/children").read_text().split()[0]
        self.prefix = ["nsenter", "-t", init, "-p", "-m", "setpriv", f"--reuid={NOBODY}",
                       f"--regid={NOBODY}", "--clear-groups"]
        (self.dir / "sway.conf").write_text(SWAY)
        self.wayland = self.spawn_ready(
            ["env", "VARKEL_READY={}", "sway", "-c", str(self.dir / "sway.conf")],
            self.env(WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1", WLR_RENDERER="pixman"))

    def env(self, **extra):
        return super().env(**{"WAYLAND_DISPLAY": self.wayland, **extra})

    def press(self, key):
        self.run("wtype", "-M", "ctrl", "-M", "alt", key, "-m", "alt", "-m", "ctrl")

    def copy(self, options, data):
        """Makes a new wl-copy own the clipboard; it returns once the compositor knows."""
        subprocess.run([*self.prefix, "wl-copy", *options], input=data, env=self.env(),
                       stdout=DEVNULL, stderr=DEVNULL, timeout=TIMEOUT, check=True)

    def clipboard(self):
        result = self.run("wl-paste", "-n", check=False)
        return result.stdout if result.returncode == 0 else None

    def start(self, tool):
        """The agent with this tool's part, once it has said all it says at start-up."""
        if isinstance(tool, bytes):  # printed from a file
            (self.dir / "tool.out").write_bytes(tool)
            tool = 'cat "$0.out"'
        self.write_tool(tool)
        agent = self.agent(ready=False)
        assert agent.status_line() == status(ok_copy="HỎNG", ok_paste="HỎNG")
        assert agent.layer_line() == LAYER.format(self.wayland)
        assert agent.err.wait(lambda d: d.count(b"\n") >= 2) == BINDINGS
        return agent


@pytest.fixture
def sway():
    with tempfile.TemporaryDirectory() as base:
        os.chmod(base, 0o711)
        desktop = Sway(Path(base) / "desktop")
        yield desktop
        desktop.close()


# the key, what another client copies first (wl-copy's options and input), the tool's part, the
# notification, the runs, what the tool was given (copy) or what wl-paste gives afterwards
CASES = {
    "copy": ("c", ([], TEXT), SAVE_INPUT, SENT, [PUSH], TEXT),
    "copy, 16 MB": ("c", ([], BIG), SAVE_INPUT, SENT, [PUSH], BIG),
    "copy, no selection": ("c", (["--clear"], b""), "", NOTHING_TO_SEND, [], None),
    "copy, an image": ("c", (["-t", "image/png"], PNG), "", NOTHING_TO_SEND, [], PNG),
    "copy, empty text": ("c", ([], b""), "", NOTHING_TO_SEND, [], b""),
    "paste": ("b", None, TEXT, FETCHED, [PULL], TEXT),
    "paste, 16 MB": ("b", None, BIG, FETCHED, [PULL], BIG),
}


@pytest.mark.parametrize("key, before, tool, shown, runs, after", CASES.values(), ids=CASES)
def test_press(sway, key, before, tool, shown, runs, after):
    sway.start(tool)
    if before:
        sway.copy(*before)
    sway.press(key)
    assert sway.notification() == shown and sway.runs() == runs
    assert (sway.dir / "tool.in").read_bytes() == after if shown == SENT else \
        sway.clipboard() == after


# what is ended and how, the agent's exit status, its last words, what wl-paste gives then
ENDS = {"the agent, by SIGTERM": ("varkel-agent", "TERM", -signal.SIGTERM, b"", TEXT),
        "the compositor": ("sway", "KILL", 1, (T.lostWayland + "\n").encode(), None)}


@pytest.mark.parametrize("name, sig, code, err, after", ENDS.values(), ids=ENDS)
def test_a_fetched_text_at_the_end(sway, name, sig, code, err, after):
    agent = sway.start(TEXT)
    sway.press("b")
    assert sway.notification() == FETCHED
    sway.run("pkill", "-" + sig, "-x", name)
    assert (agent.exit_status(), agent.err.wait(), sway.clipboard()) == \
        (code, BINDINGS + err, after)
