"""What the agent hands on: no descriptor of its own to the tool, and messages that stay text.
Every test runs the tool from a folder named in shell syntax (see conftest.py)."""

import os

from conftest import BAIT, NOTHING_FETCHED, SENT, T, emit, escaped

# What a last line may hold: options of notify-send, markup, escapes, shell and terminal syntax,
# format strings, a NUL; and what the notification shows of it.
SHOWN = {m: escaped(m) for m in [
    "--urgency=critical", "-u critical", "-t 1", "--expire-time=1", "--app-name=khác", "--wait",
    "--icon=/etc/passwd", "--hint=string:x-dunst-stack-tag:x", "--action=ok=OK", "--help", "-",
    "--", "<b>đậm</b> <a href='http://x'>liên</a> <img src='/x'/>", "&lt;&gt; &amp; \\n \\\\",
    BAIT, "\x1b]0;tiêu đề\x07\x1b[2J\x1b[31mđỏ", "%n%s%x%s%n"]}
SHOWN["trước\0sau"] = "trước\ufffdsau"


def test_a_message_shows_as_text_and_changes_nothing_else(desktop):
    desktop.agent()
    for message, shown in {"plain": "plain", **SHOWN}.items():
        desktop.write_tool(emit(f"trước\n{message}\n".encode(), " >&2") + "exit 1")
        desktop.press("ctrl+alt+b")
        assert desktop.notification() == (T.failedTitle, shown)
        call = desktop.notify_calls()[-1]
        call[6].pop("sender-pid")
        urgency = {"urgency": {"type": "y", "data": 1}}
        assert call[:3] + call[5:] == ["varkel", 0, "", [], urgency, -1]


def test_the_tool_sees_only_the_standard_descriptors(desktop):
    inherited = os.dup2(os.open("/dev/null", os.O_RDONLY), 200)  # above any the shell takes
    desktop.write_tool(f'[ -e /proc/$$/fd/{inherited} ] && echo leaked >&2 && exit 1\nexit 0')
    desktop.agent(pass_fds=(inherited,))
    desktop.set_clipboard(b"x")
    for keys, shown in (("c", SENT), ("b", NOTHING_FETCHED)):
        desktop.press("ctrl+alt+" + keys)
        assert desktop.notification() == shown
    os.close(inherited)
