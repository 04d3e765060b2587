"""Faults a user can meet, on the real binary: clipboard owners that stall or die, the X
server going away, tools that crash, hang, refuse their input or print garbage, a flood
of presses, a long session of runs, and a desktop without notifications.

A clipboard holding only an image or an empty text is in test_outcomes.py."""

import os
import signal
import unittest
from pathlib import Path

from harness import (BIG_TIMEOUT, TIMEOUT, Session, children_of, open_descriptors,
                     process_state, resident_kib, thread_count, wait_until)
from texts import (FAILED, FETCHED, KEPT, LOST_X, NOTHING_FETCHED, NOTHING_TO_SEND, SENT,
                   UNKNOWN_ERROR)


PASTED = "Chữ lấy từ máy kia".encode()
# Reads that stall are given up after a few seconds; this leaves room for a slow machine.
STALL_TIMEOUT = 15.0


def next_outcome(session, timeout=TIMEOUT, agent=None):
    """The next notification; with `agent`, once the run it reports has ended, so that the
    next press can start another."""
    n = session.wait_notification(timeout)
    if agent:
        session.wait_runner_free(agent)
    return (n.title, n.body)


def wait_idle(agent, threads):
    """Waits until the agent has no child left and is back to its resting thread count."""
    wait_until(lambda: not children_of(agent.pid) and thread_count(agent.pid) == threads,
               TIMEOUT, "the agent to reap its children and end its threads")


class ClipboardOwnerFaultTest(unittest.TestCase):
    def test_an_owner_that_stalls_or_dies_gives_nothing_to_send_and_the_agent_carries_on(self):
        with Session() as s:
            tool = s.scripted_tool()
            tool.answer(0, stdout=PASTED)
            agent = s.start_ready_agent(cli=tool.path)
            for mode in ("silent", "incr-stall", "incr-die"):
                with self.subTest(mode):
                    peer = s.start_x_peer(mode)
                    s.press("ctrl+alt+c")
                    self.assertEqual(next_outcome(s, STALL_TIMEOUT), NOTHING_TO_SEND)
                    s.press("ctrl+alt+b")
                    self.assertEqual(next_outcome(s, agent=agent), FETCHED)
                    self.assertEqual(s.get_clipboard(), PASTED)
                    peer.stop()
            self.assertEqual(tool.runs(), ["pull"] * 3)


class XServerLossTest(unittest.TestCase):
    def test_losing_the_x_server_ends_the_agent_with_one_line_and_status_1(self):
        for during_a_run in (False, True):
            with self.subTest(during_a_run=during_a_run), Session() as s:
                tool = s.scripted_tool()
                agent = s.start_ready_agent(cli=tool.path)
                if during_a_run:
                    tool.hold()
                    s.press("ctrl+alt+b")
                    tool.wait_runs(1)
                s.kill_x()
                self.assertEqual(agent.wait_exit(5.0), 1)
                self.assertEqual(agent.stderr.wait_closed(), LOST_X)
                if during_a_run:
                    tool.release()


class ToolFaultTest(unittest.TestCase):
    def test_a_tool_killed_by_a_signal_is_a_failure_with_what_it_printed(self):
        cases = {
            "KILL after a line on standard error": (
                "printf 'đang gửi\\n' >&2; kill -KILL $$", "đang gửi"),
            "TERM after printing nothing": ("kill -TERM $$", UNKNOWN_ERROR),
            "SEGV after a line on standard output": (
                "printf 'nửa chừng\\n'; kill -SEGV $$", "nửa chừng"),
        }
        with Session() as s:
            s.set_clipboard(KEPT)
            for name, (script, body) in cases.items():
                tool = s.write_tool(name.replace(" ", "-"), script + "\n")
                agent = s.start_ready_agent(cli=tool)
                for keys in ("ctrl+alt+c", "ctrl+alt+b"):
                    with self.subTest(name, keys=keys):
                        s.press(keys)
                        self.assertEqual(next_outcome(s, agent=agent), (FAILED, body))
                        self.assertEqual(s.get_clipboard(), KEPT)
                agent.stop()

    def test_a_tool_that_never_ends_takes_no_more_runs_while_the_clipboard_is_served(self):
        with Session() as s:
            tool = s.scripted_tool()
            tool.answer(0, stdout=PASTED)
            agent = s.start_ready_agent(cli=tool.path)
            s.press("ctrl+alt+b")
            self.assertEqual(next_outcome(s, agent=agent), FETCHED)

            tool.hold()
            s.press("ctrl+alt+b")
            tool.wait_runs(2)
            for keys in ("ctrl+alt+c", "ctrl+alt+b", "ctrl+alt+c"):
                s.press(keys)
            # Served after the presses, so the agent has handled them by now.
            self.assertEqual(s.get_clipboard(), PASTED)
            self.assertIn("UTF8_STRING", s.clipboard_targets())
            self.assertEqual(tool.runs(), ["pull", "pull"])
            self.assertEqual(s.unread_notifications(), [])

            tool.release()
            self.assertEqual(next_outcome(s, agent=agent), FETCHED)
            tool.answer(0)
            s.press("ctrl+alt+b")
            self.assertEqual(next_outcome(s), NOTHING_FETCHED)
            self.assertEqual(tool.runs(), ["pull", "pull", "pull"])

    def test_a_tool_that_does_not_read_its_input_leaves_the_agent_running(self):
        cases = {
            "closes it and fails": ("exec 0<&-; printf 'không đọc\\n' >&2; exit 5",
                                    (FAILED, "không đọc")),
            "closes it and succeeds": ("exec 0<&-; exit 0", SENT),
            "reads a little and succeeds": ("head -c 10 >/dev/null; exit 0", SENT),
        }
        text = "Dòng chữ dài hơn mọi ống dẫn.\n".encode() * 150_000
        with Session() as s:
            behaviour = s.dir / "behaviour"
            tool = s.write_tool("tool", f". '{behaviour}'\n")
            agent = s.start_ready_agent(cli=tool)
            s.set_clipboard(text)
            for name, (script, outcome) in cases.items():
                with self.subTest(name):
                    behaviour.write_text(script + "\n")
                    s.press("ctrl+alt+c")
                    self.assertEqual(next_outcome(s, BIG_TIMEOUT, agent), outcome)
                    # Still there and still working: an empty pull comes back.
                    behaviour.write_text("exit 0\n")
                    s.press("ctrl+alt+b")
                    self.assertEqual(next_outcome(s, agent=agent), NOTHING_FETCHED)
            agent.stop()
            self.assertEqual(agent.proc.returncode, -signal.SIGTERM)

    def test_an_error_stream_that_is_not_utf8_counts_as_empty(self):
        cases = {
            "a stray byte in an earlier line": (
                "ra: dòng cuối\n".encode(), b"caf\xe9\n" + "lỗi cuối\n".encode(),
                "ra: dòng cuối"),
            "a sequence cut at the end": (
                "ra: dòng cuối\n".encode(), "lỗi\n".encode() + b"\xe1\xbb", "ra: dòng cuối"),
            "an overlong slash": ("ra\n".encode(), b"\xc0\xaf etc\n", "ra"),
            "an encoded surrogate": ("ra\n".encode(), b"\xed\xa0\x80\n", "ra"),
            "both streams": (b"\xff\n", b"\xfe\n", UNKNOWN_ERROR),
            "only standard output": (b"\xff\n", "lỗi thật\n".encode(), "lỗi thật"),
        }
        with Session() as s:
            tool = s.scripted_tool()
            agent = s.start_ready_agent(cli=tool.path)
            s.set_clipboard(KEPT)
            for name, (stdout, stderr, body) in cases.items():
                for keys in ("ctrl+alt+c", "ctrl+alt+b"):
                    with self.subTest(name, keys=keys):
                        tool.answer(2, stdout, stderr)
                        s.press(keys)
                        self.assertEqual(next_outcome(s, agent=agent), (FAILED, body))
                        self.assertEqual(s.get_clipboard(), KEPT)


class PressFloodTest(unittest.TestCase):
    def test_a_thousand_presses_during_a_run_start_no_other_run(self):
        with Session() as s:
            tool = s.scripted_tool()
            tool.hold()
            s.start_ready_agent(cli=tool.path)
            s.set_clipboard(KEPT)
            keyboard = s.keyboard()
            keyboard.press("ctrl+alt+b")
            tool.wait_runs(1)
            keyboard.press("ctrl+alt+c ctrl+alt+b", repeat=500)
            keyboard.stop()
            # With the clipboard empty, a copy is reported even during a run: once it is, every
            # press before it has been handled.
            s.drop_clipboard_owners()
            s.press("ctrl+alt+c")
            self.assertEqual(next_outcome(s, BIG_TIMEOUT), NOTHING_TO_SEND)
            tool.release()
            self.assertEqual(next_outcome(s), NOTHING_FETCHED)
            self.assertEqual(tool.runs(), ["pull"])
            self.assertEqual(s.unread_notifications(), [])


class LongSessionTest(unittest.TestCase):
    RUNS = 1000
    WARM_UP = 100
    # Room for the allocator's and the loader's own growth; a leak per run would pass it.
    RSS_MARGIN_KIB = 2048
    # A press that started no run after this long counts as lost.
    LOST_PRESS_WAIT = 3.0
    MOST_LOST_PRESSES = 0

    def test_a_thousand_runs_leave_no_zombie_descriptor_thread_or_memory_behind(self):
        with Session() as s:
            tool = s.write_tool("quick", 'echo "$2" >>"$0.runs"\n'
                                         '[ "$2" = push ] && cat >/dev/null\nexit 0\n')
            runs = Path(f"{tool}.runs")
            agent = s.start_ready_agent(cli=tool)
            threads = thread_count(agent.pid)
            s.set_clipboard(KEPT)
            keyboard = s.keyboard()
            run = lost = 0
            while run < self.RUNS:
                if run == self.WARM_UP:
                    wait_idle(agent, threads)
                    descriptors = open_descriptors(agent.pid)
                    rss = resident_kib(agent.pid)
                copy = run % 2 == 0
                keyboard.press("ctrl+alt+c" if copy else "ctrl+alt+b")
                try:
                    outcome = next_outcome(s, self.LOST_PRESS_WAIT, agent)
                except TimeoutError:
                    if run_count(runs) == run:
                        lost += 1
                        self.assertLessEqual(lost, self.MOST_LOST_PRESSES)
                        continue
                    outcome = next_outcome(s, agent=agent)
                self.assertEqual(outcome, SENT if copy else NOTHING_FETCHED, run)
                run += 1
            self.assertEqual(run_count(runs), self.RUNS)
            wait_idle(agent, threads)
            self.assertEqual(open_descriptors(agent.pid), descriptors)
            growth = resident_kib(agent.pid) - rss
            print(f"\n{self.RUNS} runs: resident memory grew {growth} KiB after "
                  f"{self.WARM_UP} runs of warm-up; {lost} press(es) started nothing")
            # AddressSanitizer keeps freed memory in quarantine, and finds leaks itself.
            if not sanitized(agent.pid):
                self.assertLess(growth, self.RSS_MARGIN_KIB)


def sanitized(pid):
    maps = Path(f"/proc/{pid}/maps").read_text()
    return "libasan" in maps or "libtsan" in maps


def run_count(runs):
    return len(runs.read_text().split()) if runs.exists() else 0


class NotificationFaultTest(unittest.TestCase):
    RUNS = 10

    def test_runs_go_on_without_a_notification_server_or_session_bus(self):
        cases = {
            "no notification server": {},
            "a bus address that leads nowhere": {
                "DBUS_SESSION_BUS_ADDRESS": "unix:path=/nonexistent/varkel-bus"},
            "no bus address": {"DBUS_SESSION_BUS_ADDRESS": None},
        }
        for name, env in cases.items():
            with self.subTest(name), Session(notification_daemon=False) as s:
                tool = s.scripted_tool()
                agent = s.start_ready_agent(cli=tool.path, env=env)
                threads = thread_count(agent.pid)
                for run in range(1, self.RUNS + 1):
                    s.press("ctrl+alt+b")
                    tool.wait_runs(run)
                    wait_idle(agent, threads)
                self.assertEqual(len(tool.runs()), self.RUNS)
                self.assertTrue(agent.running())

    def test_a_notification_server_that_hangs_holds_up_nothing(self):
        with Session() as s:
            tool = s.scripted_tool()
            agent = s.start_ready_agent(cli=tool.path)
            threads = thread_count(agent.pid)
            server = s.notification_server
            os.kill(server.pid, signal.SIGSTOP)
            try:
                for run in range(1, self.RUNS + 1):
                    s.press("ctrl+alt+b")
                    tool.wait_runs(run)
                    s.wait_runner_free(agent)
                self.assertEqual(len(children_of(agent.pid)), self.RUNS, "notify-send left")
                self.assertNotIn("Z", [process_state(pid) for pid in children_of(agent.pid)])
            finally:
                os.kill(server.pid, signal.SIGCONT)
            self.assertEqual([(n.title, n.body) for n in s.wait_notifications(self.RUNS)],
                             [NOTHING_FETCHED] * self.RUNS)
            wait_idle(agent, threads)


if __name__ == "__main__":
    unittest.main()
