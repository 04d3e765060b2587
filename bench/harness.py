"""A private desktop for end-to-end tests: Xvfb, a session bus, dunst and the agent.

    with Session() as s:
        agent = s.start_agent()
        s.set_clipboard("xin chào".encode())
        s.press("ctrl+alt+c")
        n = s.wait_notification()

Every wait is for an event (a pipe becoming readable, a message on the bus) and is bounded;
only files written by the tool are polled. Everything started here is killed and reaped when
the session ends, failure or not.
"""

import atexit
import ctypes
import errno
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path
from typing import NamedTuple

import dbus_wire

TIMEOUT = 10.0
BIG_TIMEOUT = 90.0
# The agent names the thread of each run of the tool.
WORKER_THREAD = "varkel-run"
REPO = Path(__file__).resolve().parents[2]
VARKEL_LOCAL = REPO / "examples" / "varkel-local"
X_PEER_SOURCE = Path(__file__).resolve().parent / "x_peer.cpp"

STATUS_DEFAULT = "varkel: ctrl+alt+c = gửi đi (OK), ctrl+alt+b = lấy về (OK)\n".encode()

_NOTIFICATIONS = "org.freedesktop.Notifications"
_BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir={dir}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""
# Notifications stay up, so a screenshot or a person watching the display can see them.
_DUNSTRC = """[global]
    font = Monospace 10
    width = 600
    origin = top-right
[urgency_low]
    timeout = 0
[urgency_normal]
    timeout = 0
[urgency_critical]
    timeout = 0
"""


def agent_binary():
    path = os.environ.get("VARKEL_AGENT")
    if not path:
        raise RuntimeError("set VARKEL_AGENT to the varkel-agent binary to test")
    return path


def wait_until(predicate, timeout=TIMEOUT, what="condition"):
    """Polls a condition that has no event to wait on, such as a file a tool writes."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TimeoutError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(0.01)


_x_peer_path = None


def x_peer_binary():
    """Builds x_peer.cpp, the misbehaving X clients, once per test process."""
    global _x_peer_path
    if _x_peer_path is None:
        out = Path(tempfile.mkdtemp(prefix="varkel-x-peer-"))
        atexit.register(shutil.rmtree, out, ignore_errors=True)
        flags = subprocess.run(["pkg-config", "--cflags", "--libs", "xcb"], check=True,
                               capture_output=True, text=True).stdout.split()
        subprocess.run(["c++", "-std=c++20", "-O1", "-o", str(out / "x_peer"),
                        str(X_PEER_SOURCE), *flags], check=True, timeout=120)
        _x_peer_path = out / "x_peer"
    return _x_peer_path


def thread_count(pid):
    """How many threads the process has."""
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("Threads:"):
            return int(line.split()[1])
    raise RuntimeError(f"no thread count for {pid}")


def direct_children(pid):
    """Children of `pid`, from its threads' lists: quicker than children_of."""
    found = []
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            found += [int(c) for c in Path(f"/proc/{pid}/task/{task}/children").read_text().split()]
        except OSError:
            pass
    return found


def runner_free(pid):
    """True once the agent's last run has ended all the way, its worker thread included.

    A notification only says that the run's outcome is known: the worker that showed it
    frees the runner just after, and a press in between is dropped."""
    return WORKER_THREAD not in thread_names(pid)


def thread_names(pid):
    names = []
    for task in Path(f"/proc/{pid}/task").iterdir():
        try:
            names.append((task / "comm").read_text().strip())
        except OSError:
            pass
    return names


def resident_kib(pid):
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    raise RuntimeError(f"no VmRSS for {pid}")


def open_descriptors(pid):
    """What each open descriptor of the process points at, by number."""
    found = {}
    for entry in os.listdir(f"/proc/{pid}/fd"):
        try:
            found[int(entry)] = os.readlink(f"/proc/{pid}/fd/{entry}")
        except OSError:
            pass
    return found


def command_line(pid):
    """The argument list of a process, or None once it is gone."""
    try:
        raw = Path(f"/proc/{pid}/cmdline").read_bytes()
    except OSError:
        return None
    return raw.split(b"\0")[:-1]


def _become_subreaper():
    # Orphaned grandchildren (a notify-send the agent left behind, a tool of a killed agent)
    # are then reparented to this process, where the session can find and reap them.
    PR_SET_CHILD_SUBREAPER = 36
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)


def children_of(pid):
    """Pids whose parent is `pid`, read from /proc."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            stat = Path(f"/proc/{entry}/stat").read_text()
        except OSError:
            continue
        fields = stat[stat.rindex(")") + 2:].split()
        if int(fields[1]) == pid:
            found.append(int(entry))
    return found


def process_state(pid):
    """The one-letter state of a process ('Z' for a zombie), or None once it is gone."""
    try:
        stat = Path(f"/proc/{pid}/stat").read_text()
    except OSError:
        return None
    return stat[stat.rindex(")") + 2]


class Collector:
    """Reads a pipe to its end in a thread, keeping every byte and waking up waiters."""

    def __init__(self, pipe, on_chunk=None):
        self.data = bytearray()
        self.closed = False
        self.cond = threading.Condition()
        self._pipe = pipe
        self._on_chunk = on_chunk
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def _run(self):
        fd = self._pipe.fileno()
        while True:
            chunk = os.read(fd, 1 << 16)
            with self.cond:
                if chunk:
                    self.data += chunk
                    if self._on_chunk:
                        self._on_chunk(chunk)
                else:
                    self.closed = True
                self.cond.notify_all()
            if not chunk:
                break

    def wait_for(self, predicate, timeout=TIMEOUT, what="output"):
        """Waits until predicate(bytes so far) is true; returns the bytes."""
        with self.cond:
            ok = self.cond.wait_for(lambda: predicate(bytes(self.data)) or self.closed, timeout)
            data = bytes(self.data)
            if ok and predicate(data):
                return data
        state = "the stream ended" if self.closed else f"timed out after {timeout} s"
        raise TimeoutError(f"{state} waiting for {what}; got {data!r}")

    def wait_lines(self, count, timeout=TIMEOUT):
        data = self.wait_for(lambda d: d.count(b"\n") >= count, timeout, f"{count} line(s)")
        return data.splitlines(keepends=True)[:count]

    def wait_closed(self, timeout=TIMEOUT):
        self._thread.join(timeout)
        if self._thread.is_alive():
            raise TimeoutError(f"timed out after {timeout} s waiting for the stream to end")
        return bytes(self.data)

    def bytes(self):
        with self.cond:
            return bytes(self.data)


class Notification(NamedTuple):
    app_name: str
    title: str
    body: str


class NotificationRecorder:
    """Every Notify call on the bus, as dbus-monitor saw it, in order."""

    def __init__(self, address, log):
        self.notifications = []
        self.notify_calls = []
        self.owner_changes = []
        self.monitoring = False
        self._seen = 0
        self._splitter = dbus_wire.StreamSplitter()
        self.proc = subprocess.Popen(
            ["dbus-monitor", "--address", address, "--binary",
             f"type='method_call',interface='{_NOTIFICATIONS}',member='Notify'",
             f"type='signal',interface='org.freedesktop.DBus',member='NameOwnerChanged',"
             f"arg0='{_NOTIFICATIONS}'"],
            stdout=subprocess.PIPE, stderr=log, stdin=subprocess.DEVNULL,
            start_new_session=True)
        self.stream = Collector(self.proc.stdout, self._feed)
        # Becoming a monitor costs the connection its names: that NameLost, sent to the
        # monitor itself, is the sign that it now sees everything.
        with self.stream.cond:
            if not self.stream.cond.wait_for(lambda: self.monitoring or self.stream.closed,
                                             TIMEOUT) or not self.monitoring:
                raise RuntimeError("dbus-monitor did not start monitoring")

    def _feed(self, chunk):
        for message in self._splitter.feed(chunk):
            if message.member == "Notify" and message.type == dbus_wire.METHOD_CALL:
                self.notify_calls.append(message)
                app, _, _, title, body = message.args(5)
                self.notifications.append(
                    Notification(app.decode(), title.decode(), body.decode()))
            elif message.member == "NameOwnerChanged":
                self.owner_changes.append([a.decode() for a in message.args(3)])
            elif message.member == "NameLost" and message.type == dbus_wire.SIGNAL:
                self.monitoring = True

    def wait_owned(self, timeout=TIMEOUT):
        with self.stream.cond:
            if not self.stream.cond.wait_for(
                    lambda: any(c[2] for c in self.owner_changes), timeout):
                raise TimeoutError(f"nobody took {_NOTIFICATIONS} within {timeout} s")

    def next(self, count, timeout):
        with self.stream.cond:
            wanted = self._seen + count
            if not self.stream.cond.wait_for(lambda: len(self.notifications) >= wanted,
                                             timeout):
                got = self.notifications[self._seen:]
                raise TimeoutError(
                    f"timed out after {timeout} s waiting for {count} notification(s); "
                    f"got {got!r}")
            result = self.notifications[self._seen:wanted]
            self._seen = wanted
            return result

    def unread(self):
        with self.stream.cond:
            return self.notifications[self._seen:]

    def close(self):
        self.stream.wait_closed()
        self.proc.stdout.close()


class Agent:
    """A running varkel-agent with its standard output and error captured."""

    def __init__(self, argv, env, cwd=None, pass_fds=()):
        self.argv = argv
        self.proc = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                     start_new_session=True, cwd=cwd, pass_fds=pass_fds)
        self.pid = self.proc.pid
        self.stdout = Collector(self.proc.stdout)
        self.stderr = Collector(self.proc.stderr)

    def wait_status_line(self, timeout=TIMEOUT):
        return self.stdout.wait_lines(1, timeout)[0]

    def wait_exit(self, timeout=TIMEOUT):
        return self.proc.wait(timeout)

    def running(self):
        return self.proc.poll() is None

    def stop(self):
        _stop(self.proc)
        for stream in (self.stdout, self.stderr):
            stream.wait_closed()
        self.proc.stdout.close()
        self.proc.stderr.close()


def _stop(proc):
    _kill_group(proc, signal.SIGTERM)
    try:
        proc.wait(TIMEOUT)
    except subprocess.TimeoutExpired:
        _kill_group(proc, signal.SIGKILL)
        proc.wait()


def _kill_group(proc, sig):
    try:
        os.killpg(proc.pid, sig)
    except ProcessLookupError:
        pass


def _read_line_from_fd(fd, timeout, what):
    """Reads one line that a starting daemon writes to an inherited descriptor."""
    deadline = time.monotonic() + timeout
    data = b""
    while not data.endswith(b"\n"):
        remaining = deadline - time.monotonic()
        if remaining <= 0 or not select.select([fd], [], [], remaining)[0]:
            raise TimeoutError(f"timed out waiting for {what}")
        chunk = os.read(fd, 4096)
        if not chunk:
            raise RuntimeError(f"{what}: the program ended before saying it was ready")
        data += chunk
    return data.decode().strip()


class Session:
    """An isolated desktop: its own X server, session bus and notification daemon."""

    def __init__(self, notification_daemon=True):
        self.notification_daemon = notification_daemon
        self.dir = Path(tempfile.mkdtemp(prefix="varkel-e2e-"))
        self.tool_dir = self.dir / "tool"
        self._procs = []
        self._agents = []
        self._programs = []
        self._clipboard_owners = []
        self._logs = []

    # --- life cycle ---------------------------------------------------------------------

    def __enter__(self):
        _become_subreaper()
        try:
            self._start_x()
            self._start_bus()
            self.recorder = NotificationRecorder(self.bus_address, self._log("dbus-monitor"))
            self._procs.append(self.recorder.proc)
            if self.notification_daemon:
                self._start_dunst()
        except BaseException:
            self.close(failed=True)
            raise
        return self

    def __exit__(self, exc_type, exc, tb):
        self.close(failed=exc_type is not None)
        return False

    def _log(self, name):
        handle = open(self.dir / f"{name}.log", "wb")
        self._logs.append(handle)
        return handle

    def _spawn(self, argv, log_name, **kwargs):
        proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=self._log(log_name),
                                stderr=subprocess.STDOUT, start_new_session=True, **kwargs)
        self._procs.append(proc)
        return proc

    def _start_x(self):
        read_fd, write_fd = os.pipe()
        try:
            self.x_server = self._spawn(
                ["Xvfb", "-displayfd", str(write_fd), "-nolisten", "tcp", "-noreset", "-screen",
                 "0", "1024x768x24"], "xvfb", pass_fds=(write_fd,))
            os.close(write_fd)
            write_fd = -1
            self.display = ":" + _read_line_from_fd(read_fd, TIMEOUT, "Xvfb")
        finally:
            os.close(read_fd)
            if write_fd >= 0:
                os.close(write_fd)

    def _start_bus(self):
        config = self.dir / "bus.conf"
        config.write_text(_BUS_CONFIG.format(dir=self.dir))
        read_fd, write_fd = os.pipe()
        try:
            self._spawn(["dbus-daemon", f"--config-file={config}", "--nofork", "--nopidfile",
                         f"--print-address={write_fd}"], "dbus-daemon", pass_fds=(write_fd,))
            os.close(write_fd)
            write_fd = -1
            self.bus_address = _read_line_from_fd(read_fd, TIMEOUT, "dbus-daemon")
        finally:
            os.close(read_fd)
            if write_fd >= 0:
                os.close(write_fd)

    def _start_dunst(self):
        rc = self.dir / "dunstrc"
        rc.write_text(_DUNSTRC)
        self.notification_server = self._spawn(["dunst", "-config", str(rc)], "dunst",
                                               env=self.env())
        self.recorder.wait_owned()

    def env(self, extra=None):
        """The environment of a program on this desktop; a value of None in `extra` removes
        that variable."""
        env = dict(os.environ)
        for name in ("WAYLAND_DISPLAY", "XAUTHORITY", "DBUS_SYSTEM_BUS_ADDRESS"):
            env.pop(name, None)
        env.update(DISPLAY=self.display, DBUS_SESSION_BUS_ADDRESS=self.bus_address,
                   HOME=str(self.dir), XDG_RUNTIME_DIR=str(self.dir),
                   VARKEL_LOCAL_DIR=str(self.tool_dir))
        for name, value in (extra or {}).items():
            if value is None:
                env.pop(name, None)
            else:
                env[name] = value
        return env

    def close(self, failed=False):
        """Stops everything; each step runs even when an earlier one failed."""
        steps = [self.drop_clipboard_owners]
        steps += [program.stop for program in self._programs + self._agents]
        if failed:
            steps.append(self._report)
        steps += [lambda proc=proc: _stop(proc) for proc in reversed(self._procs)]
        if getattr(self, "recorder", None):
            steps.append(self.recorder.close)
        steps += [self._reap_orphans] + [handle.close for handle in self._logs]
        steps.append(lambda: shutil.rmtree(self.dir, ignore_errors=True))
        error = None
        for step in steps:
            try:
                step()
            except Exception as e:  # noqa: BLE001 - the rest must still be cleaned up
                error = error or e
        if error and not failed:
            raise error

    def _reap_orphans(self):
        for pid in children_of(os.getpid()):
            try:
                os.kill(pid, signal.SIGKILL)
                os.waitpid(pid, 0)
            except (ProcessLookupError, ChildProcessError):
                pass

    def _report(self):
        for agent in self._agents:
            sys.stderr.write(f"--- agent {agent.argv}\nstdout: {agent.stdout.bytes()!r}\n"
                             f"stderr: {agent.stderr.bytes()!r}\n")
        if getattr(self, "recorder", None):
            sys.stderr.write(f"--- notifications: {self.recorder.notifications!r}\n")
        for handle in self._logs:
            handle.flush()
            text = Path(handle.name).read_bytes()[-2000:]
            if text:
                sys.stderr.write(f"--- {Path(handle.name).name}\n{text.decode(errors='replace')}\n")

    # --- the agent and its tool ---------------------------------------------------------

    def start_agent(self, cli=None, node="/bin/sh", copy=None, paste=None, args=None,
                    env=None, cwd=None, pass_fds=()):
        """Starts varkel-agent; by default with the varkel-local stand-in as its tool."""
        argv = [agent_binary()]
        if node is not None:
            argv += ["--node", str(node)]
        argv += ["--cli", str(cli or VARKEL_LOCAL)]
        if copy is not None:
            argv += ["--copy", copy]
        if paste is not None:
            argv += ["--paste", paste]
        argv += args or []
        agent = Agent(argv, self.env(env), cwd, pass_fds)
        self._agents.append(agent)
        return agent

    def start_ready_agent(self, **kwargs):
        """Starts the agent and waits until it has registered its shortcuts."""
        agent = self.start_agent(**kwargs)
        agent.wait_status_line()
        return agent

    def wait_runner_free(self, agent, timeout=TIMEOUT):
        """Waits until a press would start a new run: see runner_free."""
        wait_until(lambda: runner_free(agent.pid), timeout,
                   "the agent's run to end")

    def start_x_peer(self, mode):
        """Starts one of the X clients of x_peer.cpp and waits until it holds its selection."""
        peer = Agent([str(x_peer_binary()), mode], self.env())
        self._programs.append(peer)
        peer.stdout.wait_for(lambda d: d.startswith(b"ready\n"), what=f"x_peer {mode}")
        return peer

    def kill_x(self):
        """Ends the X server at once, as a crash would."""
        self.x_server.kill()
        self.x_server.wait(TIMEOUT)

    def write_tool(self, name, script):
        """Writes a stand-in tool: a POSIX shell script run as /bin/sh PATH clip ..."""
        path = self.dir / name
        path.write_text("#!/bin/sh\n" + script)
        path.chmod(0o755)
        return path

    def scripted_tool(self, name="scripted"):
        return ScriptedTool(self, name)

    def set_inbox(self, data):
        """Plays the other machine: the next pull of varkel-local prints `data`."""
        self.tool_dir.mkdir(exist_ok=True)
        (self.tool_dir / "inbox").write_bytes(data)

    def outbox(self):
        return (self.tool_dir / "outbox").read_bytes()

    # --- notifications ------------------------------------------------------------------

    def wait_notifications(self, count, timeout=TIMEOUT):
        """The next `count` notifications not yet returned."""
        return self.recorder.next(count, timeout)

    def wait_notification(self, timeout=TIMEOUT):
        return self.recorder.next(1, timeout)[0]

    def unread_notifications(self):
        return self.recorder.unread()

    # --- the keyboard and the clipboard -------------------------------------------------

    def x(self, *argv, input=None, timeout=TIMEOUT):
        """Runs an X client on this display and returns its standard output."""
        result = subprocess.run(argv, env=self.env(), input=input, capture_output=True,
                                timeout=timeout, check=True)
        return result.stdout

    def press(self, keys):
        self.x("xdotool", "key", keys)

    def keyboard(self):
        """A keyboard that stays connected, for many presses without a process for each."""
        keyboard = Keyboard(self.env())
        self._programs.append(keyboard)
        return keyboard

    def key_down(self, keys):
        self.x("xdotool", "keydown", keys)

    def key_up(self, keys):
        self.x("xdotool", "keyup", keys)

    def set_clipboard(self, data, target="UTF8_STRING", timeout=TIMEOUT):
        """Makes xclip own CLIPBOARD with `data`, and returns once it really owns it."""
        self.drop_clipboard_owners()
        source = self.dir / "clipboard-source"
        source.write_bytes(data)
        owner = _ClipboardOwner(
            ["xclip", "-quiet", "-selection", "clipboard", "-t", target, "-i", str(source)],
            self.env())
        self._clipboard_owners.append(owner)
        owner.wait_ready(timeout)
        # xclip says it is waiting before its SetSelectionOwner has left its buffer: only
        # its own answer to TARGETS proves that it owns the selection now.
        wait_until(lambda: self.clipboard_targets() == ["TARGETS", target], timeout,
                   "xclip to own the clipboard")
        return owner

    def drop_clipboard_owners(self):
        """Ends the xclip processes this session started."""
        for owner in self._clipboard_owners:
            owner.stop()
        self._clipboard_owners.clear()

    def clipboard_targets(self, timeout=TIMEOUT):
        result = subprocess.run(["xclip", "-selection", "clipboard", "-o", "-t", "TARGETS"],
                                env=self.env(), capture_output=True, timeout=timeout)
        return result.stdout.decode().split() if result.returncode == 0 else None

    def get_clipboard(self, timeout=TIMEOUT):
        """The clipboard's text as xclip reads it (UTF8_STRING); None when there is none."""
        result = subprocess.run(["xclip", "-selection", "clipboard", "-o"], env=self.env(),
                                capture_output=True, timeout=timeout)
        return result.stdout if result.returncode == 0 else None


class Keyboard:
    """One xdotool reading its commands from a pipe, each carried out as it arrives."""

    def __init__(self, env):
        self.proc = subprocess.Popen(["xdotool", "-"], env=env, stdin=subprocess.PIPE,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                     start_new_session=True)

    def press(self, keys, repeat=1, delay=0):
        self.proc.stdin.write(f"key --delay {delay} --repeat {repeat} {keys}\n".encode())
        self.proc.stdin.flush()

    def stop(self):
        if not self.proc.stdin.closed:
            self.proc.stdin.close()
        try:
            self.proc.wait(TIMEOUT)
        except subprocess.TimeoutExpired:
            _stop(self.proc)


class _ClipboardOwner:
    def __init__(self, argv, env):
        self.proc = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                     start_new_session=True)
        self.log = Collector(self.proc.stderr)

    def wait_ready(self, timeout):
        self.log.wait_for(lambda d: b"Waiting for selection requests" in d, timeout,
                          "xclip to take the clipboard")

    def stop(self):
        _kill_group(self.proc, signal.SIGKILL)
        self.proc.wait()
        self.log.wait_closed()
        self.proc.stderr.close()


_SCRIPTED_TOOL = """#!/bin/sh
# Answers as the test told it, and records what it was asked.
here="$0.d"
printf '%s\\n' "$2" >>"$here/runs"
if [ "$2" = push ]; then cat >"$here/input"; fi
if [ -p "$here/gate" ]; then cat "$here/gate" >/dev/null; fi
cat "$here/stdout"
cat "$here/stderr" >&2
exit "$(cat "$here/status")"
"""


class ScriptedTool:
    """A stand-in tool whose answer the test sets: exit status, standard output and error.

    It appends "push" or "pull" to its list of runs when it starts, keeps the input of a
    push, and while held it waits, after recording its start, until released.
    """

    def __init__(self, session, name):
        self.path = session.dir / name
        self.dir = session.dir / f"{name}.d"
        self.dir.mkdir()
        self.path.write_text(_SCRIPTED_TOOL)
        self.path.chmod(0o755)
        self.answer()

    def answer(self, status=0, stdout=b"", stderr=b""):
        (self.dir / "status").write_text(str(status))
        (self.dir / "stdout").write_bytes(stdout)
        (self.dir / "stderr").write_bytes(stderr)

    def runs(self):
        try:
            return (self.dir / "runs").read_text().split()
        except FileNotFoundError:
            return []

    def wait_runs(self, count, timeout=TIMEOUT):
        return wait_until(lambda: len(self.runs()) >= count and self.runs(), timeout,
                          f"{count} run(s) of the tool")

    def input(self):
        return (self.dir / "input").read_bytes()

    def hold(self):
        os.mkfifo(self.dir / "gate")

    def release(self, timeout=TIMEOUT):
        """Lets the held run go on; it must already have started."""
        gate = self.dir / "gate"

        def open_gate():
            try:
                return os.open(gate, os.O_WRONLY | os.O_NONBLOCK) + 1
            except OSError as error:
                if error.errno != errno.ENXIO:
                    raise
                return 0  # no reader yet: the tool is between its start and the gate

        fd = wait_until(open_gate, timeout, "the held tool to wait at its gate") - 1
        os.unlink(gate)
        os.close(fd)
