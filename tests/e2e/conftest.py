"""A private desktop per test: Xvfb, a session bus with dunst, the agent and a stand-in tool.
Every wait is for an event (bytes on a pipe, an X event, a bus message) and bounded."""

import json
import os
import re
import select
import signal
import subprocess
import sys
import threading
from contextlib import suppress
from pathlib import Path
from subprocess import DEVNULL, PIPE
from types import SimpleNamespace

import pytest
from Xlib import X, XK, display
from Xlib.ext import xfixes

TIMEOUT = 60
HERE = Path(__file__).parent
T = SimpleNamespace(**dict(re.findall(r'(\w+) = "(.*)";', (HERE.parent / "texts.h").read_text())))
NOTHING_TO_SEND = (T.nothingToSendTitle, T.nothingToSendBody)
SENT = (T.sentTitle, T.sentBody)
NOTHING_FETCHED = (T.nothingFetchedTitle, T.nothingFetchedBody)
FETCHED = (T.fetchedTitle, T.fetchedBody)
BUS = """<busconfig><type>session</type><listen>unix:dir={}</listen><auth>EXTERNAL</auth><policy
context="default"><allow send_destination="*"/><allow eavesdrop="true"/><allow own="*"/></policy>
</busconfig>"""
# The tool and the program that runs it live in a folder named in shell syntax: a shell that
# ever read a path or a text would leave a file named pwned in the working folder.
BAIT = "$(touch pwned); touch pwned | `touch pwned` && touch pwned & '\"; touch pwned"
# Each run of the tool notes its arguments, and waits at the gate while the test holds it.
TOOL = ('#!/bin/sh\nprintf "%s\\n" "$*" >>"$0.runs"\n'
        '[ ! -p "$0.gate" ] || cat "$0.gate" >/dev/null\n')


def status(copy="ctrl+alt+c", paste="ctrl+alt+b", ok_copy="OK", ok_paste="OK"):
    return T.statusLine.format(copy, ok_copy, paste, ok_paste) + "\n"


def emit(data, stream=""):
    """A shell command that prints these bytes, whatever they are."""
    return "printf '" + "".join(f"\\{b:03o}" for b in data) + "'" + stream + "\n"


def escaped(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


class Stream:
    """What a child writes on one pipe, read by a thread; waiters wake as bytes arrive."""

    def __init__(self, pipe):
        self.data, self.ended, self.cond = bytearray(), False, threading.Condition()
        threading.Thread(target=self._read, args=(pipe,), daemon=True).start()

    def _read(self, pipe):
        while chunk := pipe.read1(1 << 16):
            with self.cond:
                self.data += chunk
                self.cond.notify_all()
        with self.cond:
            self.ended = True
            self.cond.notify_all()

    def wait(self, done=None, timeout=TIMEOUT):  # without done: until the stream ends
        ready = (lambda: self.ended) if done is None else (lambda: done(bytes(self.data)))
        with self.cond:
            assert self.cond.wait_for(lambda: ready() or self.ended, timeout) and ready(), \
                f"waited in vain; got {bytes(self.data)[-500:]!r}"
            return bytes(self.data)


class Agent:
    def __init__(self, proc):
        self.proc, self.out, self.err = proc, Stream(proc.stdout), Stream(proc.stderr)
        self.exit_status = lambda: proc.wait(TIMEOUT)
        self.status_line = lambda: self.out.wait(lambda d: b"\n" in d).decode()


class Desktop:
    def __init__(self, folder, notifications=True):
        self.dir, self.procs, self.seen, self.owner = folder, [], 0, None
        folder.mkdir()
        self.display = ":" + self.spawn_ready(["Xvfb", "-displayfd", "{}", "-nolisten", "tcp"])
        self.xvfb = self.procs[0]
        (folder / "bus.conf").write_text(BUS.format(folder))
        self.bus = self.spawn_ready(["dbus-daemon", f"--config-file={folder}/bus.conf",
                                     "--nofork", "--print-address={}"])
        monitor = self.spawn(["busctl", f"--address={self.bus}", "monitor", "--json=short",
                              "--match=type='method_call',member='Notify'",
                              "--match=member='NameOwnerChanged',"
                              "arg0='org.freedesktop.Notifications'"],
                             stdout=PIPE, stderr=PIPE)
        self.bus_log = Stream(monitor.stdout)
        Stream(monitor.stderr).wait(lambda d: b"Monitoring" in d)
        if notifications:
            self.dunst = self.spawn(["dunst"], stdout=DEVNULL, stderr=DEVNULL)
            self.bus_log.wait(lambda d: b"NameOwnerChanged" in d)
        self.x = display.Display(self.display)
        self.x.xfixes_query_version()
        self.x.xfixes_select_selection_input(self.x.screen().root, self.x.intern_atom("CLIPBOARD"),
                                             xfixes.XFixesSetSelectionOwnerNotifyMask)
        (folder / BAIT).mkdir()
        (folder / BAIT / "node").write_text('#!/bin/sh\nexec /bin/sh "$@"\n')
        (folder / BAIT / "node").chmod(0o755)
        self.tool = self.write_tool("")

    def env(self, **extra):
        env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "XAUTHORITY")}
        env.update(DISPLAY=self.display, DBUS_SESSION_BUS_ADDRESS=self.bus, HOME=str(self.dir),
                   XDG_RUNTIME_DIR=str(self.dir))
        env.update(extra)
        return {k: v for k, v in env.items() if v is not None}

    def spawn(self, argv, **popen):
        popen["env"] = popen["env"] if "env" in popen else self.env()
        popen.setdefault("cwd", self.dir)
        self.procs.append(subprocess.Popen(argv, start_new_session=True, **popen))
        return self.procs[-1]

    def spawn_ready(self, argv):  # a server that says on the descriptor {} what it is, once ready
        ready, end = os.pipe()
        self.spawn([a.format(end) for a in argv], pass_fds=(end,), stdout=DEVNULL, stderr=DEVNULL,
                   env=os.environ)
        os.close(end)
        return Stream(open(ready, "rb")).wait(lambda d: d.endswith(b"\n")).decode().strip()

    def close(self):
        for proc in reversed(self.procs):
            with suppress(ProcessLookupError):
                os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
        assert not list(self.dir.rglob("pwned")), "a shell read a path or a text"

    def agent(self, *args, node=None, env=None, ready=True, **popen):
        node = node or self.dir / BAIT / "node"
        agent = self.start_agent(["--node", str(node), "--cli", str(self.tool), *args], env,
                                 **popen)
        assert not ready or agent.status_line() == status()
        return agent

    def start_agent(self, args, env=None, program=None, **popen):
        return Agent(self.spawn([program or os.environ["VARKEL_AGENT"], *args],
                                env=self.env(**(env or {})), stdin=DEVNULL, stdout=PIPE,
                                stderr=PIPE, **popen))

    def write_tool(self, body):  # run as /bin/sh PATH clip ...
        (self.dir / BAIT / "tool").write_text(TOOL + body + "\n")
        return self.dir / BAIT / "tool"

    def file(self, suffix):  # the tool's file of that name
        return Path(f"{self.tool}.{suffix}")

    def runs(self):
        return self.file("runs").read_text().splitlines() if self.file("runs").exists() else []

    def hold(self):  # the next run waits at the tool's gate
        os.mkfifo(f"{self.tool}.gate")

    def reached(self):  # waits until a held run is at its gate; returns what lets it go on
        signal.alarm(TIMEOUT)  # its default action ends a run that waits for good
        gate = os.open(f"{self.tool}.gate", os.O_WRONLY)
        signal.alarm(0)
        os.unlink(f"{self.tool}.gate")
        return lambda: os.close(gate)

    def run(self, *argv, check=True):
        return subprocess.run(argv, env=self.env(), capture_output=True, timeout=TIMEOUT,
                              check=check)

    def press(self, *keys):
        self.run("xdotool", "key", *keys)

    def set_clipboard(self, data, target="UTF8_STRING"):  # once the server says xclip owns it
        if self.owner:
            self.owner.kill()
        (self.dir / "clip").write_bytes(data)
        self.owner = self.new_owner(lambda: self.spawn(
            ["xclip", "-quiet", "-selection", "clipboard", "-t", target, "-i",
             str(self.dir / "clip")], stderr=DEVNULL))

    def new_owner(self, act):  # does act, then waits until someone takes the CLIPBOARD
        self.x.sync()
        while self.x.pending_events():
            self.x.next_event()
        done = act()
        while True:
            if not self.x.pending_events():
                assert select.select([self.x], [], [], TIMEOUT)[0], "nobody took the CLIPBOARD"
            elif getattr(self.x.next_event(), "owner", 0):
                return done

    def grabbable(self, key, modifiers):  # whether nobody holds the combination
        errors, root = [], self.x.screen().root
        keycode = self.x.keysym_to_keycode(XK.string_to_keysym(key))
        root.grab_key(keycode, modifiers, False, X.GrabModeAsync, X.GrabModeAsync,
                      onerror=lambda *error: errors.append(error))
        root.ungrab_key(keycode, modifiers)
        self.x.sync()
        return not errors

    def clipboard(self, target="UTF8_STRING"):  # as xclip reads it; None when it cannot
        result = self.run("xclip", "-selection", "clipboard", "-o", "-t", target, check=False)
        return result.stdout if result.returncode == 0 else None

    def notify_calls(self, data=None):
        data = bytes(self.bus_log.data) if data is None else data
        messages = map(json.loads, data[:data.rfind(b"\n") + 1].splitlines())
        return [m["payload"]["data"] for m in messages if m.get("member") == "Notify"]

    def notification(self, timeout=TIMEOUT):  # the next one, as (title, body)
        self.seen += 1
        data = self.bus_log.wait(lambda d: len(self.notify_calls(d)) >= self.seen, timeout)
        return tuple(self.notify_calls(data)[self.seen - 1][3:5])

    def x_client(self, *args):  # once it holds its selection
        proc = self.spawn([sys.executable, str(HERE / "x_clients.py"), *args], stdout=PIPE)
        Stream(proc.stdout).wait(lambda d: d == b"ready\n")
        return proc


@pytest.fixture
def desktop(tmp_path, request):  # parametrized indirectly with False: without dunst
    desktop = Desktop(tmp_path / "desktop", getattr(request, "param", True))
    yield desktop
    desktop.close()
