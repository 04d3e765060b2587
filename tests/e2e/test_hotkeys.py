"""The shortcuts on a real X server: refusals, other key names, lock keys, other keyboard
layouts and auto-repeat."""

import unittest

from harness import STATUS_DEFAULT, Session
from texts import SENT, NOTHING_TO_SEND, NOTHING_FETCHED, TAKEN_TITLE

TEXT = "Gửi từ máy này".encode()


def taken_body(label):
    return f"Ứng dụng khác đang giữ {label}. Đổi bằng: varkel hotkeys set"


def refused_line(label):
    return f"RegisterEventHotKey lỗi: {label}=10\n".encode()


class HotkeyTest(unittest.TestCase):
    def next_notification(self, session):
        n = session.wait_notification()
        return (n.title, n.body)

    def assert_copy_and_paste_work(self, session, tool, copy_keys, paste_keys):
        before = len(tool.runs())
        session.press(copy_keys)
        self.assertEqual(self.next_notification(session), SENT)
        self.assertEqual(tool.input(), TEXT)
        session.press(paste_keys)
        self.assertEqual(self.next_notification(session), NOTHING_FETCHED)
        self.assertEqual(tool.runs()[before:], ["push", "pull"])

    def test_a_second_agent_is_refused_keeps_running_and_the_first_still_works(self):
        with Session() as s:
            first_tool, second_tool = s.scripted_tool("first"), s.scripted_tool("second")
            first = s.start_agent(cli=first_tool.path)
            self.assertEqual(first.wait_status_line(), STATUS_DEFAULT)

            second = s.start_agent(cli=second_tool.path)
            self.assertEqual(second.wait_status_line(),
                             "varkel: ctrl+alt+c = gửi đi (HỎNG), "
                             "ctrl+alt+b = lấy về (HỎNG)\n".encode())
            self.assertEqual(b"".join(second.stderr.wait_lines(2)),
                             refused_line("gửi đi (ctrl+alt+c)")
                             + refused_line("lấy về (ctrl+alt+b)"))
            # Two notify-send processes race to the bus, so their order is not fixed.
            self.assertCountEqual(
                [(n.title, n.body) for n in s.wait_notifications(2)],
                [(TAKEN_TITLE, taken_body("gửi đi (ctrl+alt+c)")),
                 (TAKEN_TITLE, taken_body("lấy về (ctrl+alt+b)"))])

            s.set_clipboard(TEXT)
            self.assert_copy_and_paste_work(s, first_tool, "ctrl+alt+c", "ctrl+alt+b")
            self.assertEqual(second_tool.runs(), [])
            self.assertTrue(second.running())
            self.assertTrue(first.running())

    def test_the_same_combination_for_both_shortcuts(self):
        for paste in ("ctrl+alt+c", "Alt + CTRL + C"):
            with self.subTest(paste=paste), Session() as s:
                tool = s.scripted_tool()
                agent = s.start_agent(cli=tool.path, paste=paste)
                self.assertEqual(agent.wait_status_line(),
                                 f"varkel: ctrl+alt+c = gửi đi (OK), "
                                 f"{paste} = lấy về (HỎNG)\n".encode())
                self.assertEqual(agent.stderr.wait_lines(1),
                                 [refused_line(f"lấy về ({paste})")])
                self.assertEqual(self.next_notification(s),
                                 (TAKEN_TITLE, taken_body(f"lấy về ({paste})")))
                s.set_clipboard(TEXT)
                s.press("ctrl+alt+c")
                self.assertEqual(self.next_notification(s), SENT)
                self.assertEqual(tool.runs(), ["push"])

    def test_other_key_names_are_shown_as_typed_and_work(self):
        with Session() as s:
            tool = s.scripted_tool()
            agent = s.start_agent(cli=tool.path, copy="Cmd + Shift + Space",
                                  paste="F12+meta+OPT")
            self.assertEqual(agent.wait_status_line(),
                             "varkel: Cmd + Shift + Space = gửi đi (OK), "
                             "F12+meta+OPT = lấy về (OK)\n".encode())
            s.set_clipboard(TEXT)
            # The defaults are not registered: this press starts nothing.
            s.press("ctrl+alt+c")
            self.assert_copy_and_paste_work(s, tool, "super+shift+space", "super+alt+F12")
            self.assertEqual(tool.runs(), ["push", "pull"])

    def test_lock_keys_remapping_and_other_layouts_do_not_break_the_shortcuts(self):
        with Session() as s:
            tool = s.scripted_tool()
            s.start_ready_agent(cli=tool.path)
            s.set_clipboard(TEXT)
            with self.subTest("NumLock and CapsLock on"):
                s.press("Num_Lock")
                s.press("Caps_Lock")
                self.assertIn("Caps Lock:   on", self.xset_q(s))
                self.assertIn("Num Lock:    on", self.xset_q(s))
                self.assert_copy_and_paste_work(s, tool, "ctrl+alt+c", "ctrl+alt+b")
                s.press("Caps_Lock")
                s.press("Num_Lock")
            with self.subTest("after xdotool remapped a key for a moment"):
                s.press("oslash")
                self.assert_copy_and_paste_work(s, tool, "ctrl+alt+c", "ctrl+alt+b")
            with self.subTest("Russian layout"):
                s.x("setxkbmap", "ru")
                # The keys where the US layout has C and B.
                self.assert_copy_and_paste_work(s, tool, "ctrl+alt+Cyrillic_es",
                                                "ctrl+alt+Cyrillic_i")
            with self.subTest("second group of us,ru"):
                s.x("setxkbmap", "-layout", "us,ru")
                # xdotool locks the group of the keysym it types: these presses come with
                # group 2 in their state.
                self.assert_copy_and_paste_work(s, tool, "ctrl+alt+Cyrillic_es",
                                                "ctrl+alt+Cyrillic_i")

    def xset_q(self, session):
        return session.x("xset", "q").decode()

    def test_holding_a_shortcut_starts_one_run(self):
        with Session() as s:
            # Auto-repeat after 20 ms, every 5 ms: many repeats while the key is held.
            s.x("xset", "r", "rate", "20", "200")
            tool = s.scripted_tool()
            tool.hold()
            s.start_ready_agent(cli=tool.path)
            s.key_down("ctrl+alt+b")
            tool.wait_runs(1)
            tool.release()
            self.assertEqual(self.next_notification(s), NOTHING_FETCHED)
            # Still held, and repeating now that the run is over. Pressing C ends the
            # repeat, and its notification shows every repeat before it was handled.
            s.press("c")
            self.assertEqual(self.next_notification(s), NOTHING_TO_SEND)
            s.key_up("ctrl+alt+b")
            self.assertEqual(tool.runs(), ["pull"])


if __name__ == "__main__":
    unittest.main()
