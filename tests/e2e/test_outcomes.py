"""Every outcome of a shortcut press, as the user sees it: the notification on the bus and
what the clipboard holds afterwards."""

import unittest

from harness import Session
from texts import (CANNOT_START, FAILED, FETCHED, KEPT, NOTHING_FETCHED, NOTHING_TO_SEND,
                   SENT)


def markup_escaped(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


class OutcomeTest(unittest.TestCase):
    def next_notification(self, session):
        n = session.wait_notification()
        return (n.title, n.body)

    def test_nothing_to_send(self):
        with Session() as s:
            tool = s.scripted_tool()
            s.start_ready_agent(cli=tool.path)
            with self.subTest("no clipboard owner"):
                s.press("ctrl+alt+c")
                self.assertEqual(self.next_notification(s), NOTHING_TO_SEND)
            with self.subTest("empty text"):
                s.set_clipboard(b"")
                s.press("ctrl+alt+c")
                self.assertEqual(self.next_notification(s), NOTHING_TO_SEND)
            with self.subTest("only an image"):
                s.set_clipboard(b"\x89PNG\r\n\x1a\n\0\0\0\rIHDR", target="image/png")
                s.press("ctrl+alt+c")
                self.assertEqual(self.next_notification(s), NOTHING_TO_SEND)
            self.assertEqual(tool.runs(), [])

    def test_a_failing_tool_shows_its_last_message_line(self):
        cases = {
            "last line of standard error": (b"", "thử lại\nMất kết nối tới máy chủ\n".encode(),
                                            "Mất kết nối tới máy chủ"),
            "standard output when standard error is empty": (
                "đang gửi\nHết hạn đăng nhập\n".encode(), b"", "Hết hạn đăng nhập"),
            "nothing printed": (b"", b"", "Không rõ lỗi."),
            "standard error of line feeds only": (b"ignored\n", b"\n\n", "Không rõ lỗi."),
            "a last line of blanks": (b"", b"first\n   \n", "   "),
        }
        with Session() as s:
            tool = s.scripted_tool()
            s.start_ready_agent(cli=tool.path)
            s.set_clipboard(KEPT)
            for name, (stdout, stderr, body) in cases.items():
                for keys in ("ctrl+alt+c", "ctrl+alt+b"):
                    with self.subTest(name, keys=keys):
                        tool.answer(3, stdout, stderr)
                        s.press(keys)
                        self.assertEqual(self.next_notification(s), (FAILED, body))
                        self.assertEqual(s.get_clipboard(), KEPT)

    def test_paste_with_nothing_fetched_leaves_the_clipboard(self):
        cases = {
            "empty output": (b"", b""),
            "empty output, words on standard error": (b"", "không có gì\n".encode()),
            "output that is not UTF-8": (b"\xff\xfe caf\xe9\n", b""),
        }
        with Session() as s:
            tool = s.scripted_tool()
            s.start_ready_agent(cli=tool.path)
            s.set_clipboard(KEPT)
            for name, (stdout, stderr) in cases.items():
                with self.subTest(name):
                    tool.answer(0, stdout, stderr)
                    s.press("ctrl+alt+b")
                    self.assertEqual(self.next_notification(s), NOTHING_FETCHED)
                    self.assertEqual(s.get_clipboard(), KEPT)

    def test_a_tool_that_cannot_start(self):
        with Session() as s:
            not_executable = s.dir / "not-executable"
            not_executable.write_text("#!/bin/sh\n")
            nodes = {"missing": s.dir / "no-such-node", "not executable": not_executable,
                     "a folder": s.dir}
            s.set_clipboard(KEPT)
            for name, node in nodes.items():
                with self.subTest(name):
                    agent = s.start_ready_agent(node=node)
                    # Each press is reported, so a failed start leaves the runner free.
                    for keys in ("ctrl+alt+c", "ctrl+alt+b"):
                        title, body = self.next_notification_after(s, keys)
                        self.assertEqual(title, FAILED)
                        self.assertTrue(body.startswith(CANNOT_START), body)
                        self.assertGreater(len(body), len(CANNOT_START), body)
                        self.assertNotIn("\n", body)
                    self.assertEqual(s.get_clipboard(), KEPT)
                    agent.stop()

    def next_notification_after(self, session, keys):
        session.press(keys)
        return self.next_notification(session)

    def test_presses_during_a_run_start_nothing(self):
        with Session() as s:
            tool = s.scripted_tool()
            tool.hold()
            s.start_ready_agent(cli=tool.path)
            s.press("ctrl+alt+b")
            tool.wait_runs(1)
            s.press("ctrl+alt+b")
            # An empty clipboard is reported even during a run; the notification also
            # shows that the agent has handled every press before it.
            s.press("ctrl+alt+c")
            self.assertEqual(self.next_notification(s), NOTHING_TO_SEND)
            tool.release()
            self.assertEqual(self.next_notification(s), NOTHING_FETCHED)
            self.assertEqual(tool.runs(), ["pull"])

    def test_a_message_with_markup_backslashes_and_a_leading_dash_arrives_as_written(self):
        message = "-<b>đậm</b> & <i>nghiêng</i> &amp; C:\\tmp\\new \\\\server\\n \"q\" 'a'"
        with Session() as s:
            tool = s.scripted_tool()
            tool.answer(1, stderr=f"trước\n{message}\n".encode())
            s.start_ready_agent(cli=tool.path)
            s.set_clipboard(KEPT)
            for keys in ("ctrl+alt+c", "ctrl+alt+b"):
                with self.subTest(keys=keys):
                    s.press(keys)
                    self.assertEqual(self.next_notification(s), (FAILED, markup_escaped(message)))


if __name__ == "__main__":
    unittest.main()
