"""What the agent hands on and to whom: no program but the tool, no shell anywhere, no descriptor
of its own in the tool, and messages that stay text."""

import os
import re
import signal

from conftest import (BAIT, FETCHED, NOTHING_FETCHED, NOTHING_TO_SEND, SENT, T, emit, escaped,
                      status)



def test_paths_clipboard_and_output_full_of_shell_syntax_are_taken_as_they_are(desktop):
    folder = desktop.dir / f"thư mục {BAIT}"
    folder.mkdir()
    (folder / f"node {BAIT}").write_text('#!/bin/sh\nexec /bin/sh "$@"\n')
    (folder / f"node {BAIT}").chmod(0o755)
    tool = desktop.write_tool('echo "$0" >"$0.argv"\n[ "$2" = push ] && exec cat >"$0.in"\n' +
                              emit(BAIT.encode()), f"{folder.name}/tool {BAIT}")
    desktop.agent(node=folder / f"node {BAIT}", cli=tool, cwd=desktop.dir)
    desktop.set_clipboard(BAIT.encode())
    desktop.press("ctrl+alt+c")
    assert desktop.notification() == SENT and desktop.runs(tool) == ["clip push --stdin"]
    assert (folder / f"tool {BAIT}.in").read_text() == BAIT
    assert (folder / f"tool {BAIT}.argv").read_text() == f"{tool}\n"
    desktop.press("ctrl+alt+b")
    assert desktop.notification() == FETCHED and desktop.clipboard() == BAIT.encode()
    assert not list(desktop.dir.rglob("pwned*"))


# What a last line may hold: options a notification program would take, markup, escapes, shell and terminal syntax,
# format strings, a NUL; and what the notification shows of it.
SHOWN = {m: escaped(m) for m in [
    "--urgency=critical", "-u critical", "-t 1", "--expire-time=1", "--app-name=khác", "--wait",
    "--icon=/etc/passwd", "--hint=string:x-dunst-stack-tag:x", "--action=ok=OK", "--help", "-",
    "--", "<b>đậm</b> <a href='http://x'>liên</a> <img src='/x'/>", "&lt;thoát&gt; &amp; \\n \\\\",
    BAIT, "\x1b]0;tiêu đề\x07\x1b[2J\x1b[31mđỏ", "%n%s%x%s%n"]} | {"trước\0sau": "trước\ufffdsau"}


def test_a_message_shows_as_text_and_changes_nothing_else(desktop):
    desktop.agent(cwd=desktop.dir)
    for message, shown in {"plain": "plain", **SHOWN}.items():
        desktop.write_tool(emit(f"trước\n{message}\n".encode(), " >&2") + "exit 1")
        desktop.press("ctrl+alt+b")
        assert desktop.notification() == (T.failedTitle, shown)
        call = desktop.notify_calls()[-1]
        assert call[:3] + call[5:] == ["varkel", 0, "", [], {}, -1]
    assert not list(desktop.dir.rglob("pwned*"))


def test_the_tool_sees_only_the_standard_descriptors(desktop):
    inherited = os.open("/dev/null", os.O_RDONLY)
    desktop.write_tool(f'[ -e /proc/$$/fd/{inherited} ] && echo leaked >&2 && exit 1\nexit 0')
    desktop.agent(pass_fds=(inherited,))
    desktop.set_clipboard(b"x")
    for keys, shown in (("c", SENT), ("b", NOTHING_FETCHED)):
        desktop.press("ctrl+alt+" + keys)
        assert desktop.notification() == shown
    os.close(inherited)


# the tool's part, the key pressed, the notification: each outcome once
OUTCOMES = [("", "c", NOTHING_TO_SEND), ("echo lấy", "b", FETCHED), ("", "c", SENT),
            ("echo hỏng >&2; exit 1", "b", (T.failedTitle, "hỏng")), ("", "b", NOTHING_FETCHED)]


def test_the_tool_is_the_only_program_it_starts(desktop):
    log = desktop.dir / "execs"
    # Every program started in the agent's process tree, traced.
    agent = desktop.start_agent(["-f", "-qq", "-e", "trace=execve", "-e", "signal=none", "-s",
                                 "4096", "-o", log, os.environ["VARKEL_AGENT"], "--node",
                                 "/bin/sh", "--cli", desktop.tool], program="strace")
    assert agent.status_line() == status()
    for tool, keys, shown in OUTCOMES:
        desktop.write_tool(tool)  # shell built-ins only: a run starts no program of its own
        desktop.press("ctrl+alt+" + keys)
        assert desktop.notification() == shown
    os.killpg(agent.proc.pid, signal.SIGTERM)
    agent.exit_status()
    started = re.findall(r'execve\("[^"]*", \[(.*?)\]', log.read_text())
    argv = [", ".join(f'"{a}"' for a in ("/bin/sh", desktop.tool, *run.split()))
            for run in desktop.runs()]
    assert len(argv) == 4 and started[1:] == argv
