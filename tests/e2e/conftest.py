"""A private desktop per test: Xvfb, a session bus with dunst, the agent and a stand-in tool.
Every wait is for an event (bytes on a pipe, an X event, a message on the bus) and bounded;
all that is started here is killed with its process group when the test ends."""

import json
import os
import re
import select
import signal
import subprocess
import sys
import threading
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
# Each leaves a file named pwned-N in the working folder if a shell ever reads it.
BAIT = "$(touch pwned-1); touch pwned-2 | `touch pwned-3` && touch pwned-4 & '\"; touch pwned-5"
BUS = """<busconfig><type>session</type><listen>unix:path={}/bus</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*"/><allow eavesdrop="true"/>
<allow own="*"/></policy></busconfig>"""
# Each run of the tool notes its arguments, and waits at the gate while the test holds it.
TOOL = '#!/bin/sh\nprintf "%s\\n" "$*" >>"$0.runs"\n[ ! -p "$0.gate" ] || cat "$0.gate" >/dev/null\n'


def status(copy="ctrl+alt+c", paste="ctrl+alt+b", ok_copy="OK", ok_paste="OK"):
    return T.statusLine.format(copy, ok_copy, paste, ok_paste) + "\n"


def emit(data, stream=""):
    """A shell command that prints these bytes, whatever they are."""
    return "printf '" + "".join(f"\\{b:03o}" for b in data) + "'" + stream + "\n"


def escaped(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


class Stream:
    """What a child writes on one pipe, read by a thread; waiters wake as bytes arrive."""

    def __init__(self, pipe, first_line_apart=False):
        self.data, self.ended, self.cond = bytearray(), False, threading.Condition()
        self.first_line = b"" if first_line_apart else None
        threading.Thread(target=self._read, args=(pipe,), daemon=True).start()

    def _read(self, pipe):
        while chunk := pipe.read1(1 << 16):
            with self.cond:
                if self.first_line is not None and not self.first_line.endswith(b"\n"):
                    line, newline, chunk = chunk.partition(b"\n")
                    self.first_line += line + newline
                    if newline and not re.match(rb"varkel: (X11|Wayland) \(", self.first_line):
                        chunk, self.first_line = self.first_line + chunk, b"\n"
                self.data += chunk
                self.cond.notify_all()
        with self.cond:
            self.ended = True
            self.cond.notify_all()

    def wait(self, done=None, timeout=TIMEOUT):
        """The bytes once done(bytes) holds; without done, once the stream has ended."""
        ready = (lambda: self.ended) if done is None else (lambda: done(bytes(self.data)))
        with self.cond:
            assert self.cond.wait_for(lambda: ready() or self.ended, timeout) and ready(), \
                f"waited in vain; got {bytes(self.data)[-500:]!r}"
            return bytes(self.data)


class Agent:
    def __init__(self, proc):
        self.proc, self.out = proc, Stream(proc.stdout)
        # The first line on standard error names the desktop layer; err holds the rest.
        self.err = Stream(proc.stderr, first_line_apart=True)

    def layer_line(self):
        self.err.wait(lambda d: self.err.first_line.endswith(b"\n") or bool(d))
        return self.err.first_line.decode()

    def status_line(self):
        return self.out.wait(lambda d: b"\n" in d).decode()

    def exit_status(self):
        return self.proc.wait(TIMEOUT)


class Desktop:
    prefix = []  # what every process of this desktop is started through

    def __init__(self, folder, notifications=True):
        self.dir, self.procs, self.seen, self.owner = folder, [], 0, None
        folder.mkdir()
        self.start_display()
        (folder / "bus.conf").write_text(BUS.format(folder))
        # Without the guid the daemon adds, the address also names a bus restarted there.
        self.bus = f"unix:path={folder}/bus"
        self.start_bus(notifications)
        self.tool = self.write_tool("")

    def start_display(self):
        self.display = ":" + self.spawn_ready(["Xvfb", "-displayfd", "{}", "-nolisten", "tcp"])
        self.xvfb = self.procs[0]
        self.x = display.Display(self.display)
        self.x.xfixes_query_version()
        self.x.xfixes_select_selection_input(self.x.screen().root, self.x.intern_atom("CLIPBOARD"),
                                             xfixes.XFixesSetSelectionOwnerNotifyMask)

    def env(self, **extra):
        env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "XAUTHORITY")}
        env.update(DISPLAY=self.display, DBUS_SESSION_BUS_ADDRESS=self.bus, HOME=str(self.dir),
                   XDG_RUNTIME_DIR=str(self.dir))
        env.update(extra)
        return {k: v for k, v in env.items() if v is not None}

    def spawn(self, argv, **popen):
        popen["env"] = popen["env"] if "env" in popen else self.env()
        self.procs.append(subprocess.Popen([*self.prefix, *argv], start_new_session=True,
                                           **popen))
        return self.procs[-1]

    def spawn_ready(self, argv, env=os.environ):
        """Starts a server that says on the descriptor in place of {} when it is ready: what."""
        ready, end = os.pipe()
        self.spawn([a.format(end) for a in argv], pass_fds=(end,), stdout=DEVNULL, stderr=DEVNULL,
                   env=env)
        os.close(end)
        return Stream(open(ready, "rb")).wait(lambda d: d.endswith(b"\n")).decode().strip()

    def close(self):
        for proc in reversed(self.procs):
            try:
                os.killpg(proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            proc.wait()

    def agent(self, *args, node="/bin/sh", cli=None, env=None, ready=True, **popen):
        agent = self.start_agent(["--node", str(node), "--cli", str(cli or self.tool), *args],
                                 env, **popen)
        assert not ready or agent.status_line() == status()
        return agent

    def start_agent(self, args, env=None, program=None, **popen):
        return Agent(self.spawn([program or os.environ["VARKEL_AGENT"], *args],
                                env=self.env(**(env or {})), stdin=DEVNULL, stdout=PIPE,
                                stderr=PIPE, **popen))

    def write_tool(self, body, name="tool"):
        """The stand-in tool, run as /bin/sh PATH clip ...: notes its run, then does body."""
        (self.dir / name).write_text(TOOL + body + "\n")
        return self.dir / name

    def file(self, suffix):  # the tool's file of that name
        return Path(f"{self.tool}.{suffix}")

    def runs(self, tool=None):
        path = Path(f"{tool or self.tool}.runs")
        return path.read_text().splitlines() if path.exists() else []

    def hold(self):
        """Makes the tool's next run wait at its gate."""
        os.mkfifo(f"{self.tool}.gate")

    def reached(self):
        """Waits until a held run is at its gate; returns what lets it go on."""
        signal.alarm(TIMEOUT)  # its default action ends a run that waits for good
        gate = os.open(f"{self.tool}.gate", os.O_WRONLY)
        signal.alarm(0)
        os.unlink(f"{self.tool}.gate")
        return lambda: os.close(gate)

    def run(self, *argv, check=True):
        return subprocess.run([*self.prefix, *argv], env=self.env(), capture_output=True,
                              timeout=TIMEOUT, check=check)

    def press(self, *keys):
        self.run("xdotool", "key", *keys)

    def set_clipboard(self, data, target="UTF8_STRING"):
        """Makes a new xclip own the CLIPBOARD with data; returns once the server says it does."""
        if self.owner:
            self.owner.kill()
        (self.dir / "clip").write_bytes(data)
        self.owner = self.new_owner(lambda: self.spawn(
            ["xclip", "-quiet", "-selection", "clipboard", "-t", target, "-i",
             str(self.dir / "clip")], stderr=DEVNULL))

    def new_owner(self, act):
        """Does act, then waits until someone takes the CLIPBOARD; what act returned."""
        self.x.sync()
        while self.x.pending_events():
            self.x.next_event()
        done = act()
        while True:
            if not self.x.pending_events():
                assert select.select([self.x], [], [], TIMEOUT)[0], "nobody took the CLIPBOARD"
            elif getattr(self.x.next_event(), "owner", 0):
                return done

    def grabbable(self, key, modifiers):
        """Whether another client may grab the key with the modifiers: nobody holds it."""
        errors, root = [], self.x.screen().root
        keycode = self.x.keysym_to_keycode(XK.string_to_keysym(key))
        root.grab_key(keycode, modifiers, False, X.GrabModeAsync, X.GrabModeAsync,
                      onerror=lambda *error: errors.append(error))
        root.ungrab_key(keycode, modifiers)
        self.x.sync()
        return not errors

    def clipboard(self, target="UTF8_STRING"):
        """The CLIPBOARD as xclip reads it; None when it cannot."""
        result = self.run("xclip", "-selection", "clipboard", "-o", "-t", target, check=False)
        return result.stdout if result.returncode == 0 else None

    def start_bus(self, notifications=True):
        """The session bus, watched by busctl for notifications and portal replies and shortcuts;
        dunst on it unless told otherwise."""
        self.spawn_ready(["dbus-daemon", f"--config-file={self.dir}/bus.conf", "--nofork",
                          "--print-address={}"])
        self.on_bus, self.seen = [self.procs[-1]], 0
        self.on_bus.append(self.spawn(
            ["busctl", f"--address={self.bus}", "monitor", "--json=short",
             "--match=type='method_call',member='Notify'", "--match=member='Response'",
             "--match=interface='org.freedesktop.portal.GlobalShortcuts'",
             "--match=member='NameOwnerChanged',arg0='org.freedesktop.Notifications'"],
            stdout=PIPE, stderr=PIPE))
        self.bus_log = Stream(self.on_bus[-1].stdout)
        Stream(self.on_bus[-1].stderr).wait(lambda d: b"Monitoring" in d)
        if notifications:
            self.start_dunst()

    def start_dunst(self):
        self.dunst = self.spawn(["dunst"], stdout=DEVNULL, stderr=DEVNULL)
        self.on_bus.append(self.dunst)
        self.bus_log.wait(lambda d: b"NameOwnerChanged" in d)

    def stop_bus(self):
        """Ends the bus and what start_bus started; the address then leads nowhere."""
        for proc in self.on_bus:
            proc.kill()
            proc.wait()

    def bus_messages(self, member, data=None):
        """The payloads of the messages seen on the bus with this member."""
        data = bytes(self.bus_log.data) if data is None else data
        messages = map(json.loads, data[:data.rfind(b"\n") + 1].splitlines())
        return [m["payload"]["data"] for m in messages if m.get("member") == member]

    def notify_calls(self, data=None):
        return self.bus_messages("Notify", data)

    def notification(self, timeout=TIMEOUT):
        """The next notification not returned yet, as (title, body)."""
        self.seen += 1
        data = self.bus_log.wait(lambda d: len(self.notify_calls(d)) >= self.seen, timeout)
        return tuple(self.notify_calls(data)[self.seen - 1][3:5])

    def x_client(self, *args):
        """One of the clients of x_clients.py, once it holds its selection."""
        proc = self.spawn([sys.executable, str(HERE / "x_clients.py"), *args], stdout=PIPE)
        Stream(proc.stdout).wait(lambda d: d == b"ready\n")
        return proc


@pytest.fixture
def new_desktop(tmp_path):
    made = []

    def make(notifications=True):
        made.append(Desktop(tmp_path / str(len(made)), notifications))
        return made[-1]

    yield make
    for desktop in made:
        desktop.close()


@pytest.fixture
def desktop(new_desktop):
    return new_desktop()
