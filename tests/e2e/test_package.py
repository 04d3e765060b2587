"""The Debian package as a user meets it: built with cpack, installed with apt, then run.

Installs the package on this machine and removes it afterwards, so it runs only as root, and
not where a varkel-agent package is already installed.
"""

import configparser
import os
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

from harness import TIMEOUT, Agent, Session, agent_binary
from texts import USAGE

PACKAGE = "varkel-agent"
STATUS = "varkel: ctrl+alt+c = gửi đi (OK), ctrl+alt+b = lấy về (OK)\n".encode()
LAUNCHER = "/usr/bin/varkel-agent-login"
EXAMPLE_TOOL = "/usr/share/doc/varkel-agent/examples/varkel-local"
INSTALLED = [
    "/usr/bin/varkel-agent",
    LAUNCHER,
    "/usr/share/man/man1/varkel-agent.1",
    "/usr/lib/systemd/user/varkel-agent.service",
    "/etc/xdg/autostart/varkel-agent.desktop",
    EXAMPLE_TOOL,
]
APT_ENV = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
APT = ["apt-get", "-o", "DPkg::Lock::Timeout=300", "-y", "-q"]


def installed(package):
    result = subprocess.run(["dpkg-query", "-W", "-f=${Status}", package],
                            capture_output=True, text=True)
    return result.returncode == 0 and "install ok installed" in result.stdout


def skip_reason():
    if os.geteuid() != 0:
        return "installs a package: run as root"
    for tool in ("apt-get", "cpack", "dpkg-shlibdeps"):
        if not shutil.which(tool):
            return f"needs {tool} (scripts/ensure-packages package)"
    if installed(PACKAGE):
        return f"{PACKAGE} is already installed on this machine"
    return None


def run(argv, **kwargs):
    return subprocess.run(argv, capture_output=True, stdin=subprocess.DEVNULL,
                          timeout=kwargs.pop("timeout", TIMEOUT), **kwargs)


def setUpModule():
    reason = skip_reason()
    if reason:
        raise unittest.SkipTest(reason)
    folder = Path(tempfile.mkdtemp(prefix="varkel-package-"))
    unittest.addModuleCleanup(shutil.rmtree, folder, ignore_errors=True)
    build = Path(agent_binary()).parent
    made = run(["cpack", "-G", "DEB", "--config", str(build / "CPackConfig.cmake"),
                "-B", str(folder)], timeout=300)
    debs = list(folder.glob(f"{PACKAGE}_*.deb"))
    if made.returncode != 0 or len(debs) != 1:
        raise AssertionError(f"cpack failed:\n{made.stdout.decode()}{made.stderr.decode()}")
    # Removed even when the installation fails halfway.
    unittest.addModuleCleanup(run, APT + ["purge", PACKAGE], env=APT_ENV, timeout=300)
    done = run(APT + ["install", str(debs[0].resolve())], env=APT_ENV, timeout=300)
    if done.returncode != 0:
        raise AssertionError(f"apt-get install failed:\n{done.stderr.decode()}")


class PackageTest(unittest.TestCase):
    def test_installs_the_agent_its_manual_and_the_login_files(self):
        listed = run(["dpkg-query", "-L", PACKAGE]).stdout.decode().split("\n")
        for path in INSTALLED:
            with self.subTest(path):
                self.assertIn(path, listed)
                self.assertTrue(Path(path).exists())

    def test_installed_agent_answers_a_bad_command_line(self):
        result = run(["/usr/bin/varkel-agent"])
        self.assertEqual((result.returncode, result.stdout, result.stderr), (2, b"", USAGE))

    def test_manual_renders_without_warnings(self):
        env = dict(os.environ, MANPAGER="cat", MANWIDTH="80", LC_ALL="C.UTF-8")
        for argv in (["man", "--warnings", PACKAGE],
                     ["man", "--warnings", "-l", "/usr/share/man/man1/varkel-agent.1"]):
            with self.subTest(argv[-1]):
                result = run(argv, env=env)
                self.assertEqual(result.stderr.decode(), "")
                self.assertEqual(result.returncode, 0)
                self.assertIn("ctrl+alt+b", result.stdout.decode())

    def test_login_entries_run_the_launcher(self):
        entry = configparser.ConfigParser(interpolation=None)
        entry.read("/etc/xdg/autostart/varkel-agent.desktop")
        self.assertEqual(shutil.which(entry["Desktop Entry"]["Exec"]), LAUNCHER)
        if not shutil.which("systemd-analyze"):
            self.skipTest("no systemd-analyze to check the user unit")
        with tempfile.TemporaryDirectory() as runtime:
            os.chmod(runtime, 0o700)
            result = run(["systemd-analyze", "verify", "--user",
                          "/usr/lib/systemd/user/varkel-agent.service"],
                         env=dict(os.environ, XDG_RUNTIME_DIR=runtime), timeout=60)
        self.assertEqual(result.stderr.decode() + result.stdout.decode(), "")


class LauncherTest(unittest.TestCase):
    """The launcher that both login entries run, with the installed agent and example tool."""

    def start(self, session):
        env = session.env()
        env.pop("XDG_CONFIG_HOME", None)
        launcher = Agent([LAUNCHER], env)
        self.addCleanup(launcher.stop)
        return launcher

    def configure(self, session, text):
        folder = session.dir / ".config" / "varkel-agent"
        folder.mkdir(parents=True)
        (folder / "env").write_text(text)

    def test_without_a_setting_it_starts_nothing(self):
        with Session(notification_daemon=False) as s:
            launcher = self.start(s)
            self.assertEqual(launcher.wait_exit(), 0)
            self.assertIn(b"not started: set VARKEL_CLI", launcher.stderr.wait_closed())
            self.assertEqual(launcher.stdout.wait_closed(), b"")

    def test_runs_the_agent_once_per_display_with_the_setting(self):
        with Session() as s:
            self.configure(s, f"VARKEL_CLI={EXAMPLE_TOOL}\nVARKEL_NODE=/bin/sh\n")
            first = self.start(s)
            self.assertEqual(first.wait_status_line(), STATUS)

            s.set_clipboard("Xin chào từ gói cài đặt".encode())
            s.press("ctrl+alt+c")
            self.assertEqual(s.wait_notification().title, "Varkel đã tung Sóng Âm")
            self.assertEqual(s.outbox(), "Xin chào từ gói cài đặt".encode())

            second = self.start(s)
            self.assertEqual(second.wait_exit(), 0)
            self.assertIn(b"already runs on display", second.stderr.wait_closed())
            self.assertTrue(first.running())

    def test_keeps_the_shortcuts_of_the_setting(self):
        with Session() as s:
            self.configure(s, f"VARKEL_CLI='{EXAMPLE_TOOL}'\nVARKEL_NODE=/bin/sh\n"
                              "VARKEL_COPY='ctrl + shift + f5'\nVARKEL_PASTE=Cmd+B\n")
            launcher = self.start(s)
            self.assertEqual(launcher.wait_status_line(),
                             "varkel: ctrl + shift + f5 = gửi đi (OK), Cmd+B = lấy về (OK)\n"
                             .encode())


if __name__ == "__main__":
    unittest.main()
