"""The command line as the real binary answers it: exact bytes and exit status."""

import os
import subprocess
import unittest

from harness import TIMEOUT, agent_binary
from texts import USAGE


def bad_shortcut(copy, paste):
    return f"Phím tắt không đọc được: {copy} / {paste}\n".encode()


def run_agent(args, env=None):
    # Without DISPLAY: a command line that gets past its checks ends at the X connection
    # instead of running until killed.
    base = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    base.update(env or {})
    return subprocess.run([agent_binary()] + args, env=base, capture_output=True,
                          stdin=subprocess.DEVNULL, timeout=TIMEOUT)


class CommandLineTest(unittest.TestCase):
    def assert_rejected(self, args, message):
        result = run_agent(args)
        self.assertEqual(result.stderr, message)
        self.assertEqual(result.stdout, b"")
        self.assertEqual(result.returncode, 2)

    def test_missing_tool_path(self):
        cases = {
            "no arguments": [],
            "empty value": ["--cli", ""],
            "--cli without a value": ["--cli"],
            "value after an option without one": ["--node", "/bin/sh", "--cli"],
            "unknown name swallows --cli": ["--verbose", "--cli", "/tmp/varkel.js"],
            "value beginning with --": ["--node", "--cli", "/tmp/varkel.js"],
            "names are case-sensitive": ["--CLI", "/tmp/varkel.js"],
            "no name=value form": ["--cli=/tmp/varkel.js", "x"],
            "the last value wins": ["--cli", "/tmp/varkel.js", "--cli", ""],
            "also with a bad shortcut": ["--copy", "ctrl+q+esc"],
        }
        for name, args in cases.items():
            with self.subTest(name):
                self.assert_rejected(args, USAGE)

    def test_unreadable_shortcut_shows_both_texts_as_typed(self):
        cases = [
            (["--copy", "ctrl+q+esc"], bad_shortcut("ctrl+q+esc", "ctrl+alt+b")),
            (["--paste", "ctrl+alt"], bad_shortcut("ctrl+alt+c", "ctrl+alt")),
            (["--copy", " Ctrl + Shift + K ", "--paste", "B"],
             bad_shortcut(" Ctrl + Shift + K ", "B")),
            (["--copy", "ctrl+alt+b\n"], bad_shortcut("ctrl+alt+b\n", "ctrl+alt+b")),
            (["--copy", "ctrl+b", "--copy", "ctrl+esc"], bad_shortcut("ctrl+esc", "ctrl+alt+b")),
            (["--paste", "Điều khiển+b"], bad_shortcut("ctrl+alt+c", "Điều khiển+b")),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                self.assert_rejected(["--cli", "/tmp/varkel.js"] + args, message)

    def test_a_later_cli_makes_the_shortcut_check_run(self):
        self.assert_rejected(["--cli", "", "--cli", "/tmp/varkel.js", "--copy", "ctrl"],
                             bad_shortcut("ctrl", "ctrl+alt+b"))

    def test_no_display_is_one_line_and_status_1(self):
        for name, env in {"DISPLAY unset": {},
                          "no server there": {"DISPLAY": self.unused_display()}}.items():
            with self.subTest(name):
                result = run_agent(["--cli", "/tmp/varkel.js"], env)
                self.assertEqual(result.returncode, 1)
                self.assertEqual(result.stdout, b"")
                self.assertEqual(result.stderr.count(b"\n"), 1, result.stderr)
                self.assertTrue(result.stderr.endswith(b"\n"), result.stderr)

    def unused_display(self):
        number = next(n for n in range(9000, 10000)
                      if not os.path.exists(f"/tmp/.X11-unix/X{n}")
                      and not os.path.exists(f"/tmp/.X{n}-lock"))
        return f":{number}"


if __name__ == "__main__":
    unittest.main()
