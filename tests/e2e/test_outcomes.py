"""Each outcome of a press as the user meets it: the notification, what the tool was run with
and given, and what the clipboard holds afterwards; and the shortcuts refused at start-up."""

import os
import sys
from concurrent.futures import ThreadPoolExecutor

import pytest

from conftest import BAIT, FETCHED, HERE, NOTHING_FETCHED, NOTHING_TO_SEND, SENT, T, emit, status

TEXT = f"Tiếng Việt: ă â đ ê ô ơ ư\r\n\t{BAIT}\n".encode()
KEPT = "Chữ cũ vẫn còn".encode()
PUSH, PULL = "clip push --stdin", "clip pull --print"
FAILS = emit(b"out\n") + emit("một\nhai\n".encode(), " >&2") + "exit 3"
NOT_UTF8 = emit(b"out\n") + emit(b"\xff\n", " >&2") + "exit 3"
FAILED = (T.failedTitle, "hai")
SAVE_INPUT = '[ "$2" = push ] && exec cat >"$0.in"\n'
BIG = "".join(f"Dòng {i:07}: trăm năm trong cõi người ta\n" for i in range(400_000)).encode()

# keys, clipboard before, tool, notification, runs, the tool's input (copy) or clipboard after
CASES = {
    "copy, no owner": ("c", None, "", NOTHING_TO_SEND, [], None),
    "copy, an image": ("c", (b"\x89PNG\r\n", "image/png"), "", NOTHING_TO_SEND, [], b"\x89PNG\r\n"),
    "copy, empty text": ("c", (b"",), "", NOTHING_TO_SEND, [], b""),
    "copy": ("c", (TEXT,), SAVE_INPUT, SENT, [PUSH], TEXT),
    "copy, 20 MB": ("c", (BIG,), SAVE_INPUT, SENT, [PUSH], BIG),
    "copy, Latin-1": ("c", ("café".encode("latin-1"), "STRING"), SAVE_INPUT, SENT, [PUSH],
                      "café".encode()),
    "copy fails": ("c", (KEPT,), FAILS, FAILED, [PUSH], KEPT),
    "copy, tool killed": ("c", (KEPT,), emit(b"half\n") + "kill -SEGV $$", (T.failedTitle, "half"),
                          [PUSH], KEPT),
    "paste, nothing": ("b", (KEPT,), emit(b"", " >&2"), NOTHING_FETCHED, [PULL], KEPT),
    "paste, not UTF-8": ("b", (KEPT,), emit(b"\xff caf\xe9\n"), NOTHING_FETCHED, [PULL], KEPT),
    "paste": ("b", (KEPT,), emit(TEXT), FETCHED, [PULL], TEXT),
    "paste, 20 MB": ("b", (KEPT,), BIG, FETCHED, [PULL], BIG),
    "paste fails": ("b", (KEPT,), FAILS, FAILED, [PULL], KEPT),
    "paste fails, error not UTF-8": ("b", (KEPT,), NOT_UTF8,
                                     (T.failedTitle, "out"), [PULL], KEPT),
    "paste fails silently": ("b", (KEPT,), "kill -TERM $$", (T.failedTitle, T.unknownError), [PULL],
                             KEPT),
}


@pytest.mark.parametrize("keys, before, tool, shown, runs, after", CASES.values(), ids=CASES)
def test_press(desktop, keys, before, tool, shown, runs, after):
    if isinstance(tool, bytes):  # printed from a file
        desktop.file("out").write_bytes(tool)
        tool = 'cat "$0.out"'
    desktop.write_tool(tool)
    desktop.agent()
    if before:
        desktop.set_clipboard(*before)
    desktop.press("ctrl+alt+" + keys)
    assert desktop.notification() == shown and desktop.runs() == runs
    if shown == SENT:
        assert desktop.file("in").read_bytes() == after
    else:  # two readers at once: two transfers in pieces at a time for a large text
        with ThreadPoolExecutor() as readers:
            assert list(readers.map(lambda _: desktop.clipboard(), "ab")) == [after, after]


def test_a_fetched_text_is_served_as_text_and_sent_from_memory(desktop):
    desktop.write_tool(SAVE_INPUT + emit(TEXT))
    desktop.agent()
    desktop.press("ctrl+alt+b")
    assert desktop.notification() == FETCHED
    targets = set(desktop.clipboard("TARGETS").split())
    assert {b"UTF8_STRING", b"text/plain;charset=utf-8", b"TEXT"} <= targets
    assert b"STRING" not in targets and desktop.clipboard("STRING") is None
    assert desktop.clipboard("text/plain;charset=utf-8") == desktop.clipboard("TEXT") == TEXT
    # Two targets in one MULTIPLE request, then a request from before the agent owned it.
    multiple = desktop.run(sys.executable, HERE / "x_clients.py", "multiple").stdout
    assert multiple == b"True " + TEXT + b" True\n"
    desktop.press("ctrl+alt+c")
    assert desktop.notification() == SENT and desktop.file("in").read_bytes() == TEXT
    desktop.write_tool(SAVE_INPUT + emit("café\n".encode()))
    desktop.press("ctrl+alt+b")
    assert desktop.notification() == FETCHED
    assert desktop.clipboard("STRING") == "café\n".encode("latin-1")
    # Another program takes the clipboard: a copy sends its text, not the one held.
    desktop.set_clipboard(KEPT)
    desktop.press("ctrl+alt+c")
    assert desktop.notification() == SENT and desktop.file("in").read_bytes() == KEPT


@pytest.mark.parametrize("node", ["/nonexistent/node", "sh"])  # never looked up on PATH
def test_a_tool_that_cannot_start(desktop, node):
    desktop.agent(node=node)
    desktop.set_clipboard(KEPT)
    for keys in "cb":
        desktop.press("ctrl+alt+" + keys)
        assert desktop.notification() == (T.failedTitle, f"{T.cannotStart}{os.strerror(2)}")
    assert desktop.clipboard() == KEPT


# the shortcuts of a second agent, the paste one refused
REFUSED = {"held by another agent": ("shift+ctrl+F5", "ctrl+alt+b"),
           "the same for both": ("ctrl+alt+c", "Alt + CTRL + C")}


@pytest.mark.parametrize("copy, paste", REFUSED.values(), ids=REFUSED)
def test_a_refused_shortcut_is_told_and_the_other_works(desktop, copy, paste):
    first = desktop.agent("--copy", "F1+ctrl", ready=False)
    assert first.status_line() == status("F1+ctrl")
    agent = desktop.agent("--copy", copy, "--paste", paste, ready=False)
    assert agent.status_line() == status(copy, paste, "OK", "HỎNG")
    held = f"{T.pasteName} ({paste})"
    assert agent.err.wait(lambda d: d.endswith(b"\n")) == f"{T.refusedLine.format(held)}\n".encode()
    assert desktop.notification() == (T.takenTitle, T.takenBody.format(held))
    desktop.set_clipboard(KEPT)
    desktop.press(copy)
    assert desktop.notification() == SENT
    desktop.press("ctrl+alt+b")
    assert desktop.notification() == NOTHING_FETCHED
    assert desktop.runs() == [PUSH, PULL]
    assert first.proc.poll() is None and agent.proc.poll() is None
