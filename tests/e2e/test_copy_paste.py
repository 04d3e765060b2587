"""The whole job on a real X server: the status line, copy and paste, byte for byte."""

import unittest

from harness import BIG_TIMEOUT, STATUS_DEFAULT, Notification, Session

SENT = Notification("varkel", "Varkel đã tung Sóng Âm", "Nội dung đã bay sang các máy khác.")
FETCHED = Notification("varkel", "Mục tiêu đã bị khoá", "Truy sát ngay nào! Ctrl+V để dán.")

VIETNAMESE = "Tiếng Việt có dấu: ă â đ ê ô ơ ư — Xin chào thế giới!".encode()


def big_text():
    """About 20 MB of Vietnamese text, well past any single X request."""
    line = "Dòng %07d: Trăm năm trong cõi người ta, chữ tài chữ mệnh khéo là ghét nhau.\n"
    return "".join(line % i for i in range(250_000)).encode()


class CopyPasteTest(unittest.TestCase):
    def assert_notified(self, session, expected, timeout=10.0):
        n = session.wait_notification(timeout)
        self.assertEqual((n.title, n.body), (expected.title, expected.body))

    def test_status_line_with_the_defaults_is_all_of_standard_output(self):
        with Session() as s:
            agent = s.start_agent()
            self.assertEqual(agent.wait_status_line(), STATUS_DEFAULT)
            agent.stop()
            self.assertEqual(agent.stdout.bytes(), STATUS_DEFAULT)
            self.assertEqual(agent.stderr.bytes(), b"")
            self.assertEqual(s.unread_notifications(), [])

    def test_copy_sends_the_clipboard_text_byte_for_byte(self):
        texts = {
            "Vietnamese": VIETNAMESE,
            "trailing line feed": VIETNAMESE + b"\n",
            "blanks only": b"  \t ",
            "one line feed": b"\n",
            "carriage returns and tabs": b"a\r\nb\tc\r",
        }
        with Session() as s:
            s.start_ready_agent()
            for name, text in texts.items():
                with self.subTest(name):
                    s.set_clipboard(text)
                    s.press("ctrl+alt+c")
                    self.assert_notified(s, SENT)
                    self.assertEqual(s.outbox(), text)

    def test_copies_of_20_mb_through_incr(self):
        # Each INCR transfer races the owner's writes against the reader's deletes, chunk
        # by chunk: a few transfers in a row give a lost chunk a fair chance to show.
        text = big_text()
        with Session() as s:
            s.start_ready_agent()
            for round in range(3):
                with self.subTest(round=round):
                    sent = f"Lần {round}\n".encode() + text
                    s.set_clipboard(sent)
                    s.press("ctrl+alt+c")
                    self.assert_notified(s, SENT, BIG_TIMEOUT)
                    received = s.outbox()
                    self.assertEqual(len(received), len(sent))
                    self.assertTrue(received == sent, "the tool received other bytes")

    def test_paste_puts_the_tool_output_on_the_clipboard(self):
        texts = {
            "trailing line feed kept": VIETNAMESE + b"\n",
            "one line feed": b"\n",
            "no line end": "ổn định".encode(),
        }
        with Session() as s:
            s.start_ready_agent()
            for name, text in texts.items():
                with self.subTest(name):
                    s.set_inbox(text)
                    s.press("ctrl+alt+b")
                    self.assert_notified(s, FETCHED)
                    self.assertEqual(s.get_clipboard(), text)

    def test_pasted_text_is_offered_as_utf8_text_and_copied_back_from_memory(self):
        with Session() as s:
            s.start_ready_agent()
            s.set_inbox(VIETNAMESE)
            s.press("ctrl+alt+b")
            self.assert_notified(s, FETCHED)
            targets = s.clipboard_targets()
            for target in ("TARGETS", "UTF8_STRING", "text/plain;charset=utf-8"):
                self.assertIn(target, targets)
            self.assertEqual(s.x("xclip", "-selection", "clipboard", "-o", "-t",
                                 "text/plain;charset=utf-8"), VIETNAMESE)
            # The agent now owns the clipboard: the copy shortcut reads its own text.
            s.press("ctrl+alt+c")
            self.assert_notified(s, SENT)
            self.assertEqual(s.outbox(), VIETNAMESE)

    def test_paste_of_20_mb(self):
        text = big_text()
        with Session() as s:
            s.start_ready_agent()
            s.set_inbox(text)
            s.press("ctrl+alt+b")
            self.assert_notified(s, FETCHED, BIG_TIMEOUT)
            pasted = s.get_clipboard(BIG_TIMEOUT)
            self.assertEqual(len(pasted), len(text))
            self.assertTrue(pasted == text, "the clipboard holds other bytes")


if __name__ == "__main__":
    unittest.main()
