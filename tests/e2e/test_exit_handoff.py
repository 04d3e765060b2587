"""A fetched text lives only in the agent: stopped while it owns the clipboard, the agent
hands the text to the clipboard manager and then ends as the signal would have it."""

import signal
import unittest

from harness import BIG_TIMEOUT, Session
from texts import FETCHED

TEXT = "Chữ lấy về phải sống sót khi agent dừng.\n".encode()


class ExitHandOffTest(unittest.TestCase):
    def paste(self, session, text):
        session.set_inbox(text)
        session.press("ctrl+alt+b")
        n = session.wait_notification(BIG_TIMEOUT)
        self.assertEqual((n.title, n.body), FETCHED)

    def test_the_clipboard_manager_keeps_the_text_after_the_agent_is_stopped(self):
        cases = {
            "SIGTERM": (signal.SIGTERM, TEXT),
            "SIGINT": (signal.SIGINT, TEXT),
            "SIGHUP": (signal.SIGHUP, TEXT),
            "SIGTERM with a text sent in pieces": (signal.SIGTERM, TEXT * 30_000),
        }
        with Session() as s:
            for name, (sig, text) in cases.items():
                with self.subTest(name):
                    agent = s.start_ready_agent()
                    self.paste(s, text)
                    manager = s.start_x_peer("manager")
                    agent.proc.send_signal(sig)
                    self.assertEqual(agent.wait_exit(), -sig)
                    self.assertEqual(manager.stdout.wait_lines(2)[1],
                                     f"saved {len(text)}\n".encode())
                    self.assertTrue(s.get_clipboard() == text, "the manager holds other bytes")
                    self.assertEqual(agent.stderr.wait_closed(), b"")
                    manager.stop()

    def test_without_a_clipboard_manager_the_agent_still_ends_at_once(self):
        with Session() as s:
            agent = s.start_ready_agent()
            self.paste(s, TEXT)
            agent.proc.send_signal(signal.SIGTERM)
            self.assertEqual(agent.wait_exit(), -signal.SIGTERM)
            self.assertIsNone(s.get_clipboard())


if __name__ == "__main__":
    unittest.main()
