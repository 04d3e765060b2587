"""What the agent hands on and to whom: no shell between it and its children, the clipboard
text only ever on the tool's standard input, no descriptor leaking into the tool, and
messages that cannot pass for options or markup."""

import os
import signal
import sys
import unittest
from pathlib import Path

import dbus_wire
from harness import TIMEOUT, Session, children_of, command_line, thread_count, wait_until
from texts import FAILED, SENT, FETCHED, KEPT


# Each would leave a file named pwned-* in the working folder if a shell ever read it.
SHELL_BAIT = "$(touch pwned-1) ; touch pwned-2 | `touch pwned-3` && touch pwned-4 &"

RECORDING_TOOL = """#!/bin/sh
# Keeps its own path, its arguments and its input, then prints what it was told to.
printf '%s\\n' "$0" "$@" >"$0.d/argv"
if [ "$2" = push ]; then cat >"$0.d/input"; fi
cat "$0.d/stdout"
"""

FD_REPORT_TOOL = """import os, sys
if sys.argv[2] == "push":
    sys.stdin.buffer.read()
listed = [int(name) for name in os.listdir("/proc/self/fd")]
def is_open(fd):
    try:
        os.fstat(fd)
        return True
    except OSError:
        return False
# The descriptor that listed the folder is closed again by now.
report = " ".join(str(fd) for fd in sorted(listed) if is_open(fd))
with open(sys.argv[0] + "." + sys.argv[2], "w") as out:
    out.write(report)
"""


def markup_escaped(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def next_outcome(session, agent=None):
    """The next notification; with `agent`, once the run it reports has ended, so that the
    next press can start another."""
    n = session.wait_notification()
    if agent:
        session.wait_runner_free(agent)
    return (n.title, n.body)


# --- the Notify call in full ------------------------------------------------------------

_ALIGNMENT = {"y": 1, "g": 1, "v": 1, "n": 2, "q": 2, "(": 8, "{": 8, "x": 8, "t": 8, "d": 8}
_FIXED = {"b": ("I", 4), "u": ("I", 4), "i": ("i", 4), "n": ("h", 2), "q": ("H", 2),
          "x": ("q", 8), "t": ("Q", 8), "d": ("d", 8)}


def _type_end(signature, start):
    """Where the complete type that begins at `start` ends."""
    code = signature[start]
    if code == "a":
        return _type_end(signature, start + 1)
    if code in "({":
        depth, i = 0, start
        while True:
            depth += signature[i] in "({"
            depth -= signature[i] in ")}"
            i += 1
            if depth == 0:
                return i
    return start + 1


def _split(signature):
    types, i = [], 0
    while i < len(signature):
        end = _type_end(signature, i)
        types.append(signature[i:end])
        i = end
    return types


def _read(reader, type_):
    code = type_[0]
    if code in _FIXED:
        return reader.fixed(*_FIXED[code])
    if code in "sogy":
        return reader.value(code)
    if code == "v":
        return _read(reader, reader.signature())
    if code in "({":
        reader.align(8)
        values = [_read(reader, t) for t in _split(type_[1:-1])]
        return tuple(values)
    if code == "a":
        length = reader.fixed("I", 4)
        element = type_[1:]
        reader.align(_ALIGNMENT.get(element[0], 4))
        end = reader.pos + length
        items = []
        while reader.pos < end:
            items.append(_read(reader, element))
        return dict(items) if element[0] == "{" else items
    raise ValueError(f"type {type_!r} is not read here")


def notify_arguments(message):
    """app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout."""
    reader = dbus_wire._Reader(message.body, message.big_endian)
    return [_read(reader, t) for t in _split(message.fields["signature"])]


def settings_of(message):
    """Everything of a Notify call but its texts and the sender's pid."""
    app, replaces, icon, _, _, actions, hints, timeout = notify_arguments(message)
    hints = {key: value for key, value in hints.items() if key != b"sender-pid"}
    return (app, replaces, icon, actions, hints, timeout)


class NoShellTest(unittest.TestCase):
    def test_paths_clipboard_and_output_full_of_shell_syntax_are_taken_as_they_are(self):
        with Session() as s:
            folder = s.dir / f"thư mục {SHELL_BAIT}"
            folder.mkdir()
            node = folder / f"node {SHELL_BAIT}"
            node.write_text('#!/bin/sh\nexec /bin/sh "$@"\n')
            node.chmod(0o755)
            tool = folder / f"tool {SHELL_BAIT}"
            tool.write_text(RECORDING_TOOL)
            tool.chmod(0o755)
            record = folder / f"{tool.name}.d"
            record.mkdir()
            bait = f"{SHELL_BAIT}\n'; touch pwned-5; '\"; touch pwned-6\n".encode()
            (record / "stdout").write_bytes(bait)

            agent = s.start_ready_agent(cli=tool, node=node, cwd=s.dir)
            s.set_clipboard(bait)
            s.press("ctrl+alt+c")
            self.assertEqual(next_outcome(s, agent), SENT)
            self.assertEqual((record / "argv").read_bytes().splitlines(),
                             [bytes(tool), b"clip", b"push", b"--stdin"])
            self.assertEqual((record / "input").read_bytes(), bait)

            s.press("ctrl+alt+b")
            self.assertEqual(next_outcome(s), FETCHED)
            self.assertEqual(s.get_clipboard(), bait)
            self.assertEqual(sorted(p.name for p in s.dir.rglob("pwned*")), [])


class SecretTest(unittest.TestCase):
    def test_the_clipboard_text_is_on_no_command_line(self):
        secret = "mật khẩu: correct-horse-battery-staple-7f3a9c"
        with Session() as s:
            tool = s.scripted_tool()
            tool.hold()
            agent = s.start_ready_agent(cli=tool.path)
            s.set_clipboard(secret.encode())
            # Held, the notification server keeps each notify-send waiting where it can be read.
            os.kill(s.notification_server.pid, signal.SIGSTOP)
            try:
                s.press("ctrl+alt+c")
                tool.wait_runs(1)
                run = descendants(agent.pid)
                self.assertIn([b"/bin/sh", bytes(tool.path), b"clip", b"push", b"--stdin"],
                              [command_line(pid) for pid in run])
                tool.release()
                notify_send = wait_until(lambda: notify_sends(agent.pid), TIMEOUT,
                                         "notify-send to start")
                self.assertEqual([argv[:3] for argv in notify_send],
                                 [[b"/usr/bin/notify-send", b"--app-name=varkel", b"--"]])
                seen = [command_line(pid) for pid in run] + notify_send
                for argv in seen:
                    if argv is not None:
                        self.assertNotIn(secret.encode(), b"\0".join(argv))
            finally:
                os.kill(s.notification_server.pid, signal.SIGCONT)
            self.assertEqual(next_outcome(s), SENT)
            self.assertEqual(tool.input(), secret.encode())


def descendants(pid):
    found = []
    for child in children_of(pid):
        found += [child] + descendants(child)
    return found


def notify_sends(pid):
    lines = [command_line(child) for child in children_of(pid)]
    return [argv for argv in lines if argv and argv[0] == b"/usr/bin/notify-send"]


class DescriptorTest(unittest.TestCase):
    def test_the_tool_sees_only_its_three_standard_descriptors(self):
        with Session() as s:
            tool = s.dir / "fds.py"
            tool.write_text(FD_REPORT_TOOL)
            # A descriptor the agent inherited without close-on-exec, as from a careless
            # launcher: the tool must not get it either.
            read_end, write_end = os.pipe()
            try:
                agent = s.start_ready_agent(cli=tool, node=sys.executable,
                                            pass_fds=(write_end,))
            finally:
                os.close(read_end)
                os.close(write_end)
            self.assertIn(write_end, open_fds_of(agent.pid))
            s.set_clipboard(KEPT)
            for keys, action in (("ctrl+alt+c", "push"), ("ctrl+alt+b", "pull")):
                with self.subTest(action):
                    s.press(keys)
                    next_outcome(s, agent)
                    self.assertEqual(Path(f"{tool}.{action}").read_text(), "0 1 2")


def open_fds_of(pid):
    return [int(name) for name in os.listdir(f"/proc/{pid}/fd")]


class NotificationTextTest(unittest.TestCase):
    MESSAGES = ["--urgency=critical", "-u critical", "--expire-time=1", "-t 1",
                "--app-name=khác", "--icon=/etc/passwd", "--category=im.received",
                "--hint=string:x-dunst-stack-tag:x", "--action=ok=OK", "--wait", "--help",
                "-?", "--version", "-", "--", "-e 'display dialog \"x\"'",
                "<b>đậm</b> <a href='http://x'>liên kết</a> <img src='/etc/passwd'/>",
                "&lt;đã thoát&gt; &amp; \\n \\\\"]

    def test_a_message_like_an_option_or_markup_changes_nothing_but_the_text(self):
        with Session() as s:
            tool = s.scripted_tool()
            agent = s.start_ready_agent(cli=tool.path)
            tool.answer(1, stderr="lỗi bình thường\n".encode())
            s.press("ctrl+alt+b")
            next_outcome(s, agent)
            usual = settings_of(s.recorder.notify_calls[-1])
            app, replaces, icon, actions, hints, timeout = usual
            self.assertEqual((app, replaces, icon, actions, hints.get(b"urgency"), timeout),
                             (b"varkel", 0, b"", [], 1, -1))
            for message in self.MESSAGES:
                with self.subTest(message):
                    tool.answer(1, stderr=f"trước\n{message}\n".encode())
                    s.press("ctrl+alt+b")
                    self.assertEqual(next_outcome(s, agent), (FAILED, markup_escaped(message)))
                    self.assertEqual(settings_of(s.recorder.notify_calls[-1]), usual)

    def test_a_nul_in_a_message_does_not_cut_it_short(self):
        with Session() as s:
            tool = s.scripted_tool()
            s.start_ready_agent(cli=tool.path)
            tool.answer(1, stderr="trước\0sau\n".encode())
            s.press("ctrl+alt+b")
            self.assertEqual(next_outcome(s), (FAILED, "trước\ufffdsau"))

    def test_a_message_too_long_for_one_argument_is_still_shown(self):
        # One argument of a new program holds at most 128 KiB.
        with Session() as s:
            tool = s.scripted_tool()
            s.start_ready_agent(cli=tool.path)
            line = "Lỗi dài " * 40_000
            tool.answer(1, stderr=line.encode() + b"\n")
            s.press("ctrl+alt+b")
            title, body = next_outcome(s)
            self.assertEqual(title, FAILED)
            self.assertTrue(line.startswith(body[:1000]), body[:100])


class ToolOutputTest(unittest.TestCase):
    def test_nothing_the_tool_prints_runs_a_program(self):
        with Session() as s:
            marks = s.dir / "marks"
            marks.mkdir()
            m = str(marks)
            bait = [f"$(touch {m}/1)", f"`touch {m}/2`", f"; touch {m}/3", f"| touch {m}/4",
                    f"&& touch {m}/5", f"'; touch {m}/6; '", f"\"; touch {m}/7; \"",
                    f"${{IFS}}touch${{IFS}}{m}/8", "\x1b]0;tiêu đề\x07\x1b[2J\x1b[31m đỏ",
                    "%n%s%x%s%n", "\\\"$(touch " + m + "/9)\\\""]
            tool = s.scripted_tool()
            agent = s.start_ready_agent(cli=tool.path, cwd=s.dir)
            threads = thread_count(agent.pid)
            s.set_clipboard(KEPT)
            for text in bait:
                with self.subTest(text):
                    line = text.encode() + b"\n"
                    tool.answer(0, stdout=line, stderr=line)
                    s.press("ctrl+alt+b")
                    self.assertEqual(next_outcome(s, agent), FETCHED)
                    self.assertEqual(s.get_clipboard(), line)
                    for keys in ("ctrl+alt+c", "ctrl+alt+b"):
                        tool.answer(1, stdout=line, stderr=line)
                        s.press(keys)
                        self.assertEqual(next_outcome(s, agent), (FAILED, markup_escaped(text)))
                    wait_until(lambda: not children_of(agent.pid)
                               and thread_count(agent.pid) == threads, TIMEOUT,
                               "the agent to reap its children")
            self.assertEqual(list(marks.iterdir()), [])
            self.assertEqual(list(s.dir.glob("pwned*")), [])
            self.assertEqual(len(tool.runs()), 3 * len(bait))


if __name__ == "__main__":
    unittest.main()
