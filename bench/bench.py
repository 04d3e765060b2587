#!/usr/bin/env python3
"""varkel-agent side by side with the floor and with the sxhkd + xclip pipeline a user would write.

Each side gets a desktop of its own (Xvfb, session bus, dunst, from the end-to-end harness), so
all bind ctrl+alt+c and ctrl+alt+b and all stay up for the whole run; presses alternate
between them, 150 ms apart. The floor (floor.c) is the least an X11 agent can do: it starts the
tool on a press with the agent's command line and checks nothing. All run the same stand-in
tool (varkel-bench-tool), which reports when its first instruction ran and when it was done, on
CLOCK_MONOTONIC, the clock read here when a key is pressed. Keys are pressed through XTEST, as
xdotool does, from a connection opened once, so that no figure includes starting xdotool.

Then, when sway, wl-clipboard and wtype are installed, the same on headless sway run as nobody:
sway binds the keys to signals for the agent, or to wl-paste and wl-copy pipelines. There keys
are pressed by running wtype, and figures count from starting it. The agent there has a session
bus with dunst, and is also left idle, as on X. The goals list covers both.

Usage: bench.py --agent PATH --tool PATH --floor PATH [--quick]
"""

import argparse
import contextlib
import ctypes
import math
import os
import select
import shlex
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402

SENT = "Varkel đã tung Sóng Âm"
SENT_BODY = "Nội dung đã bay sang các máy khác."
FETCHED = "Mục tiêu đã bị khoá"
FETCHED_BODY = "Truy sát ngay nào! Ctrl+V để dán."

SIZES = {"1 KB": 1 << 10, "1 MB": 1 << 20, "16 MB": 16 << 20, "64 MB": 64 << 20}
FULL = {"presses": 100, "reps": {"1 KB": 30, "1 MB": 20, "16 MB": 8, "64 MB": 5},
        "starts": 20, "idle": 60.0}
QUICK = {"presses": 10, "reps": {"1 KB": 3, "1 MB": 3, "16 MB": 2, "64 MB": 2},
         "starts": 3, "idle": 3.0}
WARM_UP = 3
PRESS_GAP = 0.15
TIMEOUT = 20.0
BIG_TIMEOUT = 120.0


def sample_text(size):
    """Vietnamese text of exactly `size` bytes, cut on a character boundary."""
    line = "Trăm năm trong cõi người ta, chữ tài chữ mệnh khéo là ghét nhau. Ngày %07d.\n"
    chunks = []
    total = 0
    i = 0
    while True:
        chunk = (line % i).encode()
        if total + len(chunk) > size:
            break
        chunks.append(chunk)
        total += len(chunk)
        i += 1
    chunks.append(b"x" * (size - total))
    return b"".join(chunks)


# --- X: keys through XTEST, owner changes of CLIPBOARD through XFixes ----------------------

class _SelectionNotify(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                ("window", ctypes.c_ulong), ("subtype", ctypes.c_int),
                ("owner", ctypes.c_ulong), ("selection", ctypes.c_ulong),
                ("timestamp", ctypes.c_ulong), ("selection_timestamp", ctypes.c_ulong)]


def _load_x():
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XPending.argtypes = [ctypes.c_void_p]
    x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
    x11.XConnectionNumber.argtypes = [ctypes.c_void_p]
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XStringToKeysym.restype = ctypes.c_ulong
    x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
    x11.XKeysymToKeycode.restype = ctypes.c_ubyte
    x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    xtst = ctypes.CDLL("libXtst.so.6")
    xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                       ctypes.c_ulong]
    xfixes = ctypes.CDLL("libXfixes.so.3")
    xfixes.XFixesQueryExtension.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                            ctypes.POINTER(ctypes.c_int)]
    xfixes.XFixesQueryVersion.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                          ctypes.POINTER(ctypes.c_int)]
    xfixes.XFixesSelectSelectionInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                                  ctypes.c_ulong, ctypes.c_ulong]
    return x11, xtst, xfixes


class XClient:
    """One connection to a desk's X server: presses chords, sees CLIPBOARD change hands."""

    def __init__(self, display):
        self.x11, self.xtst, xfixes = _load_x()
        self.dpy = self.x11.XOpenDisplay(display.encode())
        if not self.dpy:
            raise RuntimeError(f"cannot open display {display}")
        self.modifiers = [self._keycode(b"Control_L"), self._keycode(b"Alt_L")]
        event_base, error_base = ctypes.c_int(), ctypes.c_int()
        if not xfixes.XFixesQueryExtension(self.dpy, ctypes.byref(event_base),
                                           ctypes.byref(error_base)):
            raise RuntimeError("the X server has no XFixes")
        major, minor = ctypes.c_int(5), ctypes.c_int(0)
        xfixes.XFixesQueryVersion(self.dpy, ctypes.byref(major), ctypes.byref(minor))
        self.owner_notify = event_base.value  # XFixesSelectionNotify
        clipboard = self.x11.XInternAtom(self.dpy, b"CLIPBOARD", 0)
        set_owner_mask = 1
        xfixes.XFixesSelectSelectionInput(self.dpy, self.x11.XDefaultRootWindow(self.dpy),
                                          clipboard, set_owner_mask)
        self.x11.XSync(self.dpy, 0)
        self.fd = self.x11.XConnectionNumber(self.dpy)
        self.event = ctypes.create_string_buffer(192)  # sizeof(XEvent)

    def close(self):
        if self.dpy:
            self.x11.XCloseDisplay(self.dpy)
            self.dpy = None

    def _keycode(self, name):
        code = self.x11.XKeysymToKeycode(self.dpy, self.x11.XStringToKeysym(name))
        if code == 0:
            raise RuntimeError(f"no key for {name.decode()}")
        return code

    def press(self, letter):
        """Presses and releases ctrl+alt+letter; returns the time the requests left."""
        key = self._keycode(letter.encode())
        fake = self.xtst.XTestFakeKeyEvent
        for code in self.modifiers:
            fake(self.dpy, code, 1, 0)
        fake(self.dpy, key, 1, 0)
        fake(self.dpy, key, 0, 0)
        for code in reversed(self.modifiers):
            fake(self.dpy, code, 0, 0)
        start = time.monotonic_ns()
        self.x11.XFlush(self.dpy)
        return start

    def forget_owner_changes(self):
        self.x11.XSync(self.dpy, 0)
        while self.x11.XPending(self.dpy):
            self.x11.XNextEvent(self.dpy, self.event)

    def wait_owner(self, timeout):
        """Waits until a client takes CLIPBOARD; returns when that was seen."""
        deadline = time.monotonic() + timeout
        while True:
            while self.x11.XPending(self.dpy):
                self.x11.XNextEvent(self.dpy, self.event)
                notify = _SelectionNotify.from_buffer(self.event)
                if notify.type == self.owner_notify and notify.owner != 0:
                    return time.monotonic_ns()
            remaining = deadline - time.monotonic()
            if remaining <= 0 or not select.select([self.fd], [], [], remaining)[0]:
                raise TimeoutError(f"nobody took the clipboard within {timeout} s")


# --- the stand-in tool's reports -------------------------------------------------------------

class Records:
    """The FIFO on which the tool reports each run: verb, start, end, bytes, byte sum."""

    def __init__(self, state_dir):
        path = state_dir / "records"
        os.mkfifo(path)
        # Open for writing too, so the FIFO never reports an end between two runs.
        self.fd = os.open(path, os.O_RDWR | os.O_NONBLOCK | os.O_CLOEXEC)
        self.pending = b""

    def close(self):
        os.close(self.fd)

    def next(self, timeout):
        deadline = time.monotonic() + timeout
        while b"\n" not in self.pending:
            remaining = deadline - time.monotonic()
            if remaining <= 0 or not select.select([self.fd], [], [], remaining)[0]:
                raise TimeoutError(f"the tool reported no run within {timeout} s")
            self.pending += os.read(self.fd, 4096)
        line, self.pending = self.pending.split(b"\n", 1)
        verb, start, end, count, total = line.split()
        return verb.decode(), int(start), int(end), int(count), int(total)


class RunFailed(Exception):
    """A run that ended without doing its job: counted, and left out of the figures."""


# --- the sides ------------------------------------------------------------------------------

class Side:
    """A desk with one way of binding the shortcuts to the tool."""

    notifies = True

    def __init__(self, name, session, tool):
        self.name = name
        self.session = session
        self.tool = tool
        self.state = session.dir / "bench-tool"
        self.state.mkdir()
        self.records = Records(self.state)
        self.x = XClient(session.display)
        # Started through /usr/bin/env, the tool gets no state folder among its arguments.
        self.env = {"VARKEL_BENCH_STATE": str(self.state)}

    def close(self):
        self.stop()
        self.x.close()
        self.records.close()

    def copy(self, size, total, timeout):
        """One press of the copy shortcut: (to tool start, to all bytes read, to Notify) in ns."""
        pressed = self.x.press("c")
        notified = None
        if self.notifies:
            n = self.session.wait_notification(timeout)
            notified = time.monotonic_ns() - pressed
            if n.title != SENT:
                raise RunFailed(f"{self.name}: {n.title}: {n.body}")
        verb, start, end, count, got_total = self.records.next(timeout)
        if verb != "push" or count != size or got_total != total:
            raise RunFailed(f"{self.name}: the tool got {count} bytes (sum {got_total}), "
                            f"expected {size} (sum {total})")
        return start - pressed, end - pressed, notified

    def paste_start(self, timeout):
        """One press of the paste shortcut: ns until the tool started."""
        pressed = self.x.press("b")
        verb, start, _, _, _ = self.records.next(timeout)
        if self.notifies:
            n = self.session.wait_notification(timeout)
            if n.title != FETCHED:
                raise RunFailed(f"{self.name}: {n.title}: {n.body}")
        if verb != "pull":
            raise RunFailed(f"{self.name}: the tool ran {verb}")
        return start - pressed

    def paste(self, text, timeout):
        """One press of the paste shortcut: ns until xclip -o reads the whole text."""
        self.x.forget_owner_changes()
        pressed = self.x.press("b")
        self.x.wait_owner(timeout)
        status, data = read_all(["xclip", "-selection", "clipboard", "-o"],
                                self.session.env(), timeout)
        done = time.monotonic_ns()
        self.records.next(timeout)
        n = self.session.wait_notification(timeout)
        if n.title != FETCHED:
            raise RunFailed(f"{self.name}: {n.title}: {n.body}")
        if status != 0 or data != text:
            raise RunFailed(f"{self.name}: xclip -o gave {len(data)} bytes (status {status}),"
                            f" expected {len(text)}")
        return done - pressed


class AgentSide(Side):
    """The agent with its default --node, /usr/bin/env, and the tool as its --cli."""

    def start(self):
        self.agent = self.session.start_agent(cli=self.tool, node=None, env=self.env)
        line = self.agent.wait_status_line()
        if line != harness.STATUS_DEFAULT:
            raise RuntimeError(f"agent: unexpected status line {line!r}")

    agent = None

    def stop(self):
        if self.agent:
            self.agent.stop()

    def pid(self):
        return self.agent.pid


class FloorSide(AgentSide):
    """floor.c, with the agent's command line, or (direct) starting the tool itself."""

    notifies = False

    def __init__(self, name, session, tool, floor, direct=False):
        super().__init__(name, session, tool)
        self.argv = [str(floor)] + (["--node", str(tool), "--cli", str(self.state)] if direct
                                    else ["--cli", str(tool)])

    def start(self):
        self.agent = harness.Agent(self.argv, self.session.env(self.env))
        if self.agent.wait_status_line() != b"ready\n":
            raise RuntimeError("floor: not ready")


class PipelineSide(Side):
    def start(self):
        tool = shlex.quote(str(self.tool))
        rc = self.session.dir / "sxhkdrc"
        rc.write_text(
            "ctrl + alt + c\n"
            f"    xclip -o -selection clipboard | {tool} clip push --stdin"
            f" && notify-send '{SENT}' '{SENT_BODY}'\n"
            "ctrl + alt + b\n"
            f"    {tool} clip pull --print | xclip -i -selection clipboard"
            f" && notify-send '{FETCHED}' '{FETCHED_BODY}'\n")
        self.log = open(self.session.dir / "sxhkd.log", "wb")
        self.proc = subprocess.Popen(
            ["sxhkd", "-c", str(rc)], env=self.session.env({"SHELL": "/bin/sh", **self.env}),
            stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT,
            start_new_session=True)

    proc = None

    def stop(self):
        if not self.proc or self.proc.poll() is not None:
            return
        self.proc.terminate()
        try:
            self.proc.wait(harness.TIMEOUT)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        self.log.close()

    def pid(self):
        return self.proc.pid


def read_all(argv, env, timeout):
    """Runs argv and reads its standard output to the end in large reads."""
    proc = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL)
    chunks = []
    deadline = time.monotonic() + timeout
    fd = proc.stdout.fileno()
    try:
        while True:
            remaining = deadline - time.monotonic()
            if remaining <= 0 or not select.select([fd], [], [], remaining)[0]:
                raise TimeoutError(f"{argv[0]} gave no end of output within {timeout} s")
            chunk = os.read(fd, 1 << 20)
            if not chunk:
                break
            chunks.append(chunk)
        return proc.wait(timeout), b"".join(chunks)
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
        proc.stdout.close()


def reap_orphans(keep):
    """Reaps finished pipeline commands, which sxhkd leaves to the nearest subreaper: us."""
    for pid in harness.children_of(os.getpid()):
        if pid not in keep and harness.process_state(pid) == "Z":
            try:
                os.waitpid(pid, os.WNOHANG)
            except ChildProcessError:
                pass


# --- figures --------------------------------------------------------------------------------

def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[max(0, math.ceil(fraction * len(ordered)) - 1)]


ROLES = ("agent", "floor", "pipeline")


class Figure:
    def __init__(self, name, unit, scale, agent=(), pipeline=(), limit=(), goal=None,
                 failures=None, floor=()):
        self.name, self.unit, self.scale = name, unit, scale
        self.agent, self.floor, self.pipeline, self.limit = agent, floor, pipeline, limit
        self.goal, self.failures = goal, failures

    def cells(self):
        def show(values, fraction=None):
            if not values:
                return "—"
            value = statistics.median(values) if fraction is None else percentile(values,
                                                                                  fraction)
            return f"{value / self.scale:.{2 if value / self.scale < 100 else 0}f}"

        def ratio(a, b):
            if not a or not b or statistics.median(b) == 0:
                return "—"
            return f"{statistics.median(a) / statistics.median(b):.2f}"

        return [self.name + f" ({self.unit})", show(self.agent), show(self.agent, 0.95),
                show(self.floor), show(self.floor, 0.95), show(self.pipeline),
                show(self.pipeline, 0.95), ratio(self.agent, self.floor),
                ratio(self.pipeline, self.agent), show(self.limit) if self.limit else "",
                ratio(self.agent, self.limit) if self.limit else "", self.failed(),
                self.verdict()]

    def failed(self):
        counts = FAILURES.get(self.failures)
        if not counts:
            return ""
        return " / ".join(str(sum(n for side, n in counts.items() if side.startswith(role)))
                          if any(side.startswith(role) for side in counts) else "—"
                          for role in ROLES)

    def verdict(self):
        return self.goal(self) if self.goal else ""


def ratio_goal(text, test):
    def goal(figure):
        counts = FAILURES.get(figure.failures)
        if counts and counts.get("agent"):
            return "NOT met: runs failed; " + text
        return ("met: " if figure.agent and test(figure) else "NOT met: ") + text
    return goal


def median(values):
    return statistics.median(values)


def print_table(figures, out=sys.stdout):
    header = ["figure", "agent median", "agent p95", "floor median", "floor p95",
              "pipeline median", "pipeline p95", "agent ÷ floor", "pipeline ÷ agent",
              "limit median", "agent ÷ limit", "failed runs (agent / floor / pipeline)", "goal"]
    out.write("| " + " | ".join(header) + " |\n")
    out.write("|" + "|".join("---" for _ in header) + "|\n")
    for figure in figures:
        out.write("| " + " | ".join(figure.cells()) + " |\n")
    out.flush()


def print_goals(groups, out=sys.stdout):
    """The rows that are goals, each with whether it was met; groups are (prefix, figures)."""
    goals = [(prefix + f.name, f.verdict()) for prefix, figures in groups for f in figures
             if f.goal]
    met = sum(verdict.startswith("met") for _, verdict in goals)
    out.write(f"\nGoals: {met} of {len(goals)} met\n")
    for name, verdict in goals:
        out.write(f"  {verdict.split(':')[0]:8} {name}: {verdict.split(': ', 1)[1]}\n")
    out.flush()


FAILURES = {}
NOTES = []


def alternate(what, sides, count, measure, keep):
    """Calls measure(side) count times for each side, the sides taking turns, and the presses
    PRESS_GAP apart.

    Failed runs are counted in FAILURES[what] and said on standard error."""
    results = {side.name: [] for side in sides}
    failures = FAILURES.setdefault(what, {side.name: 0 for side in sides})
    next_press = time.monotonic()
    for i in range(count):
        for side in sides if i % 2 == 0 else reversed(sides):
            time.sleep(max(0.0, next_press - time.monotonic()))
            next_press = time.monotonic() + PRESS_GAP
            try:
                results[side.name].append(measure(side))
            except RunFailed as e:
                failures[side.name] += 1
                progress(f"failed run: {e}")
        if i % 10 == 9:
            reap_orphans(keep)
    return results


def progress(text):
    sys.stderr.write(f"bench: {text}\n")
    sys.stderr.flush()


def measure_presses(sides, direct, counts, keep):
    """Press → tool start for copy and paste, and press → Notify for copy."""
    progress(f"{counts['presses']} copy presses and as many paste presses each, short text")
    text = sample_text(64)
    for side in sides:
        side.session.set_clipboard(text)
        (side.state / "inbox").write_bytes(text)
    (direct.state / "inbox").write_bytes(text)
    copy = lambda side: side.copy(len(text), sum(text), TIMEOUT)  # noqa: E731
    paste = lambda side: side.paste_start(TIMEOUT)  # noqa: E731
    alternate("warm-up", sides, WARM_UP, copy, keep)
    copies = alternate("copy presses", sides, counts["presses"], copy, keep)
    alternate("warm-up", sides + [direct], WARM_UP, paste, keep)
    pastes = alternate("paste presses", sides + [direct], counts["presses"], paste, keep)
    floor_goal = ratio_goal("at most 1.1× the floor",
                            lambda f: median(f.agent) <= 1.1 * median(f.floor))
    notify_goal = ratio_goal("at least 5× sooner than the pipeline",
                             lambda f: median(f.pipeline) >= 5 * median(f.agent))
    starts = {name: [r[0] for r in runs] for name, runs in copies.items()}
    notified = {name: [r[2] for r in runs] for name, runs in copies.items()}
    if pastes["floor"] and pastes[direct.name]:
        hop = median(pastes["floor"]) - median(pastes[direct.name])
        NOTES.append(f"The /usr/bin/env hop costs {hop / 1e6:.2f} ms at the median: the floor's"
                     " paste press → tool start through it against the floor starting the tool"
                     " itself.")
    return [
        Figure("copy: press → tool start", "ms", 1e6, starts["agent"], starts["pipeline"],
               floor=starts["floor"], goal=floor_goal, failures="copy presses"),
        Figure("paste: press → tool start", "ms", 1e6, pastes["agent"], pastes["pipeline"],
               floor=pastes["floor"], goal=floor_goal, failures="paste presses"),
        Figure("paste: press → tool start, the floor starting the tool without /usr/bin/env",
               "ms", 1e6, floor=pastes[direct.name]),
        Figure("copy: press → Notify on the bus", "ms", 1e6, notified["agent"],
               notified["pipeline"], goal=notify_goal, failures="copy presses"),
    ]


def copy_limit(tool, state, records, source):
    """cat FILE | tool: the same bytes piped straight in; ns until the tool read them all."""
    started = time.monotonic_ns()
    cat = subprocess.Popen(["cat", str(source)], stdout=subprocess.PIPE)
    run = subprocess.Popen([str(tool), str(state), "clip", "push", "--stdin"], stdin=cat.stdout)
    cat.stdout.close()
    cat.wait(BIG_TIMEOUT)
    run.wait(BIG_TIMEOUT)
    _, _, end, count, total = records.next(TIMEOUT)
    return end - started, count, total


def xclip_out_time(session):
    """ns for xclip -o > /dev/null to read the clipboard from its owner: the X transfer alone."""
    started = time.monotonic_ns()
    subprocess.run(["xclip", "-selection", "clipboard", "-o"], env=session.env(),
                   stdout=subprocess.DEVNULL, timeout=BIG_TIMEOUT, check=True)
    return time.monotonic_ns() - started


def paste_limit(tool, state, text, env):
    """tool | reader: the tool's output read straight from its pipe; ns until all was read."""
    started = time.monotonic_ns()
    status, data = read_all([str(tool), str(state), "clip", "pull", "--print"], env,
                            BIG_TIMEOUT)
    done = time.monotonic_ns()
    if status != 0 or data != text:
        raise RuntimeError("the tool printed other bytes than its inbox")
    return done - started


def throughput_goal(label, size):
    big = size >= 16 << 20

    def test(f):
        faster = median(f.agent) < median(f.pipeline)
        return faster and (not big or median(f.agent) <= 1.5 * median(f.limit))

    return ratio_goal("faster than the pipeline" + (", within 1.5× of the limit" if big else ""),
                      test)


def measure_copies(sides, counts, keep, limit_side):
    figures = []
    for label, size in SIZES.items():
        reps = counts["reps"][label]
        progress(f"copy {label}: {reps} presses each")
        text = sample_text(size)
        source = limit_side.session.dir / "limit-source"
        source.write_bytes(text)
        limits = []
        for _ in range(reps):
            elapsed, count, total = copy_limit(limit_side.tool, limit_side.state,
                                               limit_side.records, source)
            limits.append(elapsed)
        if count != size:
            raise RuntimeError(f"the tool read {count} of {size} bytes from the pipe")
        for side in sides:
            side.session.set_clipboard(text)
        press = lambda side: side.copy(size, total, BIG_TIMEOUT)  # noqa: E731
        alternate("warm-up", sides, 1, press, keep)
        results = alternate(f"copy {label}", sides, reps, press, keep)
        floor = [xclip_out_time(sides[0].session) for _ in range(reps)]
        figures.append(Figure(f"copy {label}: press → tool read all", "ms", 1e6,
                              [r[1] for r in results["agent"]],
                              [r[1] for r in results["pipeline"]], limits,
                              throughput_goal(label, size), f"copy {label}"))
        figures.append(Figure(f"copy {label}: xclip -o > /dev/null, X transfer alone", "ms", 1e6, [],
                              [], floor))
        del text
    return figures


def measure_pastes(sides, counts, keep, limit_side):
    figures = []
    for label, size in SIZES.items():
        reps = counts["reps"][label]
        progress(f"paste {label}: {reps} presses each")
        text = sample_text(size)
        for side in sides:
            (side.state / "inbox").write_bytes(text)
        limits = [paste_limit(limit_side.tool, limit_side.state, text, limit_side.session.env())
                  for _ in range(reps)]
        press = lambda side: side.paste(text, BIG_TIMEOUT)  # noqa: E731
        alternate("warm-up", sides, 1, press, keep)
        results = alternate(f"paste {label}", sides, reps, press, keep)
        figures.append(Figure(f"paste {label}: press → xclip -o read all", "ms", 1e6,
                              results["agent"], results["pipeline"], limits,
                              throughput_goal(label, size), f"paste {label}"))
        del text
    return figures


def measure_starts(agent_side, count):
    progress(f"{count} starts of the agent")
    agent_side.stop()
    times = []
    for _ in range(count):
        started = time.monotonic_ns()
        agent_side.start()
        times.append(time.monotonic_ns() - started)
        agent_side.stop()
    return Figure("start-up → status line", "ms", 1e6, times, [])


def process_cost(pid):
    """CPU time (ns), context switches of all threads, resident KiB of a process."""
    stat = Path(f"/proc/{pid}/stat").read_text()
    fields = stat[stat.rindex(")") + 2:].split()
    ticks = int(fields[11]) + int(fields[12])  # utime + stime
    switches = 0
    for task in Path(f"/proc/{pid}/task").iterdir():
        for line in (task / "status").read_text().splitlines():
            if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                switches += int(line.split()[1])
    rss = 0
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            rss = int(line.split()[1])
    return ticks * 1e9 / os.sysconf("SC_CLK_TCK"), switches, rss


def wait_asleep(pid, timeout=TIMEOUT):
    """Waits until the process has finished starting and sleeps in poll()."""
    syscall_poll, syscall_ppoll = 7, 271
    def asleep():
        # The first field is the number of the call the process is blocked in, or "running".
        call = Path(f"/proc/{pid}/syscall").read_text().split()[0]
        return call in (str(syscall_poll), str(syscall_ppoll)) and \
            harness.process_state(pid) == "S"

    harness.wait_until(asleep, timeout, "the agent to wait for events")


WAKE_GOAL = ratio_goal("0 over the window", lambda f: max(f.agent) == 0)
RSS_GOAL = ratio_goal("< 4 MiB", lambda f: max(f.agent) < 4 << 10)


def measure_idle(agent_side, others, seconds):
    progress(f"idle for {seconds:.0f} s")
    agent_side.start()
    wait_asleep(agent_side.pid())
    pids = {"agent": agent_side.pid(), **{side.name: side.pid() for side in others}}
    before = {name: process_cost(pid) for name, pid in pids.items()}
    try:
        agent_side.agent.wait_exit(seconds)
        raise RuntimeError("the agent ended while idle")
    except subprocess.TimeoutExpired:
        pass
    after = {name: process_cost(pid) for name, pid in pids.items()}
    cost = {name: [a - b for a, b in zip(after[name], before[name])] for name in pids}

    def figure(name, unit, scale, values, goal=None):
        return Figure(name, unit, scale, [values["agent"]], [values["pipeline"]],
                      floor=[values["floor"]], goal=goal)

    return [
        figure(f"idle {seconds:.0f} s: CPU time", "ms", 1e6,
               {name: c[0] for name, c in cost.items()}),
        figure(f"idle {seconds:.0f} s: wake-ups", "count", 1,
               {name: c[1] for name, c in cost.items()}, WAKE_GOAL),
        figure("resident memory after idling", "KiB", 1,
               {name: a[2] for name, a in after.items()}, RSS_GOAL),
    ]


# --- Wayland: headless sway, where the compositor owns the shortcuts ------------------------

WAYLAND_USER = 65534  # nobody: sway refuses to run as root
WAYLAND_PROGRAMS = ("sway", "swaymsg", "wl-copy", "wl-paste", "wtype", "setpriv", "pkill",
                    "gdbus")
WAYLAND_LAYER = b"varkel: Wayland ("
# As setpriv --reuid --regid --clear-groups, without a program of its own in the figures.
AS_USER = {"user": WAYLAND_USER, "group": WAYLAND_USER, "extra_groups": []}
SETPRIV = ["setpriv", f"--reuid={WAYLAND_USER}", f"--regid={WAYLAND_USER}", "--clear-groups"]


class SwaySide:
    """Headless sway as WAYLAND_USER in a private runtime folder, with the bench tool and the
    shortcuts bound one way. Presses are wtype runs, so figures count from starting wtype."""

    agent = None

    def __init__(self, name, tool):
        self.name = name
        self.wtype = []  # how long each wtype ran
        self.dir = Path(tempfile.mkdtemp(prefix="varkel-bench-sway-"))
        self.procs = []
        try:
            self._start(tool)
        except BaseException:
            self.close()
            raise

    def _own(self, path):
        os.chown(path, WAYLAND_USER, WAYLAND_USER)
        return path

    def _start(self, tool):
        self._own(self.dir)  # mkdtemp made it 0700
        self.tool = self._own(Path(shutil.copy(tool, self.dir)))
        self.state = self.dir / "bench-tool"
        self.state.mkdir()
        self._own(self.state)
        self.records = Records(self.state)
        self._own(self.state / "records")
        ready = self.dir / "ready"
        os.mkfifo(ready)
        self._own(ready)
        fd = os.open(ready, os.O_RDWR | os.O_NONBLOCK | os.O_CLOEXEC)
        config = self.dir / "config"
        config.write_text(f'exec echo "$WAYLAND_DISPLAY $SWAYSOCK" >{ready}\n')
        self.env = {"PATH": os.environ["PATH"], "HOME": str(self.dir),
                    "XDG_RUNTIME_DIR": str(self.dir), "VARKEL_BENCH_STATE": str(self.state)}
        self.log = open(self.dir / "sway.log", "wb")
        self.procs.append(subprocess.Popen(
            SETPRIV + ["sway", "-c", str(config)], stdin=subprocess.DEVNULL, stdout=self.log,
            stderr=subprocess.STDOUT, start_new_session=True,
            env={**self.env, "WLR_BACKENDS": "headless", "WLR_LIBINPUT_NO_DEVICES": "1",
                 "WLR_RENDERER": "pixman"}))
        try:
            if not select.select([fd], [], [], TIMEOUT)[0]:
                raise TimeoutError(f"sway did not start within {TIMEOUT} s; see {self.log.name}")
            display, sock = os.read(fd, 4096).decode().split()
        finally:
            os.close(fd)
        self.env.update(WAYLAND_DISPLAY=display, SWAYSOCK=sock)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        if self.agent:
            self.agent.stop()
        for proc in reversed(self.procs):
            harness._stop(proc)
        if hasattr(self, "records"):
            self.records.close()
        if hasattr(self, "log"):
            self.log.close()
        shutil.rmtree(self.dir, ignore_errors=True)

    def run(self, argv, timeout=TIMEOUT, **kwargs):
        return subprocess.run(argv, env=self.env, timeout=timeout, check=True, **AS_USER,
                              **kwargs)

    def bind(self, copy, paste):
        for keys, command in (("c", copy), ("b", paste)):
            self.run(["swaymsg", f"bindsym Ctrl+Alt+{keys} exec {command}"],
                     stdout=subprocess.DEVNULL)

    def bind_pipeline(self):
        tool = shlex.quote(str(self.tool))
        # -n: otherwise wl-paste adds a line feed that the text did not have.
        self.bind(f"wl-paste -n | {tool} clip push --stdin",
                  f"{tool} clip pull --print | wl-copy")

    def start_notifications(self):
        """A session bus with dunst on it, as nobody. The bus is configured with no service
        folder, so it starts nothing on demand: the agent's look for the global-shortcuts portal
        then finds none at once, instead of starting xdg-desktop-portal in the middle of the
        figures, and dunst is started here."""
        config = self.dir / "bus.conf"
        config.write_text(harness._BUS_CONFIG.format(dir=self.dir))
        read_fd, write_fd = os.pipe()
        try:
            self.procs.append(subprocess.Popen(
                ["dbus-daemon", f"--config-file={config}", "--nofork", "--nopidfile",
                 f"--print-address={write_fd}"], stdin=subprocess.DEVNULL, stdout=self.log,
                stderr=subprocess.STDOUT, pass_fds=(write_fd,), start_new_session=True,
                **AS_USER))
            os.close(write_fd)
            write_fd = -1
            self.env["DBUS_SESSION_BUS_ADDRESS"] = harness._read_line_from_fd(
                read_fd, TIMEOUT, "dbus-daemon")
        finally:
            os.close(read_fd)
            if write_fd >= 0:
                os.close(write_fd)
        rc = self.dir / "dunstrc"
        rc.write_text(harness._DUNSTRC)
        self.procs.append(subprocess.Popen(
            ["dunst", "-config", str(rc)], env=self.env, stdin=subprocess.DEVNULL,
            stdout=self.log, stderr=subprocess.STDOUT, start_new_session=True, **AS_USER))
        self.run(["gdbus", "wait", "--session", "--timeout", str(int(TIMEOUT)),
                  "org.freedesktop.Notifications"])

    def start_agent(self, binary):
        """Starts the agent as sway's shortcuts expect it, on its Wayland layer."""
        agent = self._own(Path(shutil.copy(binary, self.dir / "varkel-agent")))
        self.agent = harness.Agent(SETPRIV + [str(agent), "--cli", str(self.tool)], self.env)
        try:
            self.agent.wait_status_line()
            said = self.agent.stderr.wait_for(lambda d: b"\n" in d)
        except TimeoutError:
            if self.agent.running():
                raise
            said = self.agent.stderr.wait_closed()
        if not said.startswith(WAYLAND_LAYER):
            raise RuntimeError("the agent is not on its Wayland layer: "
                               + said.decode(errors="replace").strip())
        # The agent leads a session of its own: its pid picks it out from other agents of the
        # same user on this machine, at no cost to pkill, which reads every process anyway.
        self.bind(f"pkill -USR1 -x -s {self.agent.pid} varkel-agent",
                  f"pkill -USR2 -x -s {self.agent.pid} varkel-agent")

    def pids(self):
        return {proc.pid for proc in self.procs} | ({self.agent.pid} if self.agent else set())

    def press(self, key):
        pressed = time.monotonic_ns()
        self.run(["wtype", "-M", "ctrl", "-M", "alt", key, "-m", "alt", "-m", "ctrl"])
        self.wtype.append(time.monotonic_ns() - pressed)
        return pressed

    def copy(self, size, total, timeout):
        """A copy press: ns from starting wtype to the tool's start and to all bytes read."""
        pressed = self.press("c")
        verb, start, end, count, got_total = self.records.next(timeout)
        if verb != "push" or count != size or got_total != total:
            raise RunFailed(f"{self.name}: the tool got {count} bytes (sum {got_total}), "
                            f"expected {size} (sum {total})")
        return start - pressed, end - pressed

    def paste_start(self, timeout):
        pressed = self.press("b")
        verb, start, _, _, _ = self.records.next(timeout)
        if verb != "pull":
            raise RunFailed(f"{self.name}: the tool ran {verb}")
        return start - pressed

    def set_clipboard(self, source):
        with open(source, "rb") as data:
            self.run(["wl-copy"], stdin=data, stdout=subprocess.DEVNULL, timeout=BIG_TIMEOUT)

    def watch_clipboard(self):
        """A client that reads every new clipboard text, as it comes; the clipboard is
        emptied first so that the first thing it reads is the next text."""
        self.run(["wl-copy", "--clear"])
        self.watcher = subprocess.Popen(["wl-paste", "--watch", "cat"], env=self.env,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        start_new_session=True, **AS_USER)
        self.procs.append(self.watcher)

    def paste(self, text, timeout):
        """A paste press: ns from starting wtype until the watcher read the whole text."""
        pressed = self.press("b")
        self.records.next(timeout)
        deadline = time.monotonic() + timeout
        fd = self.watcher.stdout.fileno()
        chunks, got = [], 0
        while got < len(text):
            remaining = deadline - time.monotonic()
            if remaining <= 0 or not select.select([fd], [], [], remaining)[0]:
                raise TimeoutError(f"{self.name}: no new clipboard text within {timeout} s")
            chunks.append(os.read(fd, min(1 << 20, len(text) - got)))
            got += len(chunks[-1])
        done = time.monotonic_ns()
        if b"".join(chunks) != text:
            raise RunFailed(f"{self.name}: the clipboard held other bytes than the tool printed")
        return done - pressed


def measure_wayland(sides, counts):
    keep = set().union(*(side.pids() for side in sides))
    progress(f"Wayland: {counts['presses']} copy and paste presses each, short text")
    text = sample_text(64)
    source = sides[0].dir / "source"
    source.write_bytes(text)
    for side in sides:
        side.set_clipboard(source)
        (side.state / "inbox").write_bytes(text)
    copy = lambda side: side.copy(len(text), sum(text), TIMEOUT)  # noqa: E731
    paste = lambda side: side.paste_start(TIMEOUT)  # noqa: E731
    alternate("warm-up", sides, WARM_UP, copy, keep)
    copies = alternate("Wayland copy presses", sides, counts["presses"], copy, keep)
    alternate("warm-up", sides, WARM_UP, paste, keep)
    pastes = alternate("Wayland paste presses", sides, counts["presses"], paste, keep)
    wtype = [t for side in sides for t in side.wtype]

    reps = counts["reps"]["16 MB"]
    progress(f"Wayland: copy and paste 16 MB, {reps} presses each")
    text = sample_text(16 << 20)
    source.write_bytes(text)
    for side in sides:
        side.set_clipboard(source)
    big = lambda side: side.copy(len(text), sum(text), BIG_TIMEOUT)  # noqa: E731
    alternate("warm-up", sides, 1, big, keep)
    big_copies = alternate("Wayland copy 16 MB", sides, reps, big, keep)
    for side in sides:
        (side.state / "inbox").write_bytes(text)
        side.watch_clipboard()
    keep |= {side.watcher.pid for side in sides}
    round_trip = lambda side: side.paste(text, BIG_TIMEOUT)  # noqa: E731
    alternate("warm-up", sides, 1, round_trip, keep)
    big_pastes = alternate("Wayland paste 16 MB", sides, reps, round_trip, keep)

    def figure(name, results, failures, pick=lambda r: r):
        return Figure(name, "ms", 1e6, [pick(r) for r in results.get("agent", [])],
                      [pick(r) for r in results.get("pipeline", [])], failures=failures)

    return [
        figure("copy: wtype start → tool start", copies, "Wayland copy presses", lambda r: r[0]),
        figure("paste: wtype start → tool start", pastes, "Wayland paste presses"),
        Figure("wtype alone: start → exit, in the rows above", "ms", 1e6, limit=wtype),
        figure("copy 16 MB: wtype start → tool read all", big_copies, "Wayland copy 16 MB",
               lambda r: r[1]),
        figure("paste 16 MB: wtype start → wl-paste read all", big_pastes,
               "Wayland paste 16 MB"),
    ]


def measure_wayland_idle(side, seconds):
    """The agent just started on sway, left alone: as measure_idle does on X."""
    progress(f"Wayland: idle for {seconds:.0f} s")
    pid = side.agent.pid
    wait_asleep(pid)
    before = process_cost(pid)
    try:
        side.agent.wait_exit(seconds)
        raise RuntimeError("the agent ended while idle on Wayland")
    except subprocess.TimeoutExpired:
        pass
    after = process_cost(pid)
    return [
        Figure(f"idle {seconds:.0f} s: CPU time", "ms", 1e6, [after[0] - before[0]]),
        Figure(f"idle {seconds:.0f} s: wake-ups", "count", 1, [after[1] - before[1]],
               goal=WAKE_GOAL),
        Figure("resident memory after idling", "KiB", 1, [after[2]], goal=RSS_GOAL),
    ]


def run_wayland(args, counts, figures):
    """The agent against sway bindings running wl-clipboard pipelines, into figures; nothing
    when the programs it needs are missing."""
    missing = [name for name in WAYLAND_PROGRAMS if not shutil.which(name)]
    if missing:
        progress(f"Wayland side skipped: {', '.join(missing)} not installed")
        return
    with SwaySide("agent", args.tool) as agent:
        agent.start_notifications()
        agent.start_agent(args.agent)
        # First, while nothing else runs on the agent's compositor or bus.
        idle = measure_wayland_idle(agent, counts["idle"])
        with SwaySide("pipeline", args.tool) as pipeline:
            pipeline.bind_pipeline()
            figures += measure_wayland([agent, pipeline], counts) + idle


def run(args):
    counts = QUICK if args.quick else FULL
    began = time.monotonic()
    figures, wayland = [], []
    try:
        with contextlib.ExitStack() as stack:
            desk = lambda: stack.enter_context(harness.Session())  # noqa: E731
            agent_side = AgentSide("agent", desk(), args.tool)
            floor_side = FloorSide("floor", desk(), args.tool, args.floor)
            direct = FloorSide("floor, direct", desk(), args.tool, args.floor, direct=True)
            pipeline_side = PipelineSide("pipeline", desk(), args.tool)
            sides = [agent_side, floor_side, pipeline_side]
            for side in sides + [direct]:
                stack.callback(side.close)
                side.start()
            keep = {side.pid() for side in sides + [direct]}
            figures += measure_presses(sides, direct, counts, keep)
            sides.remove(floor_side)
            figures += measure_copies(sides, counts, keep, pipeline_side)
            figures += measure_pastes(sides, counts, keep, pipeline_side)
            figures.append(measure_starts(agent_side, counts["starts"]))
            figures += measure_idle(agent_side, [floor_side, pipeline_side], counts["idle"])
        run_wayland(args, counts, wayland)
    finally:
        # What was measured before a failure is still worth seeing.
        print_table(figures)
        if wayland:
            print("\n== Wayland, headless sway: the agent and sway bindings running"
                  " wl-clipboard pipelines, from starting wtype")
            print_table(wayland)
        print_goals([("", figures), ("Wayland, ", wayland)])
        print("\n".join([""] + NOTES))
    progress(f"done in {time.monotonic() - began:.0f} s")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--agent", required=True, help="the varkel-agent binary")
    parser.add_argument("--tool", required=True, help="the varkel-bench-tool binary")
    parser.add_argument("--floor", required=True, help="the floor binary, built from floor.c")
    parser.add_argument("--quick", action="store_true", help="few repetitions, a short idle")
    args = parser.parse_args()
    os.environ["VARKEL_AGENT"] = str(Path(args.agent).resolve())
    args.tool = Path(args.tool).resolve()
    args.floor = Path(args.floor).resolve()
    run(args)


if __name__ == "__main__":
    main()
