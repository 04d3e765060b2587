"""The Debian package as a user meets it: built with cpack, installed with apt, then run. It
installs the package here and purges it afterwards: root only, and not where it is installed."""

import configparser
import os
import shutil
import subprocess
from pathlib import Path

import pytest

from conftest import T, status

LAUNCHER = "/usr/bin/varkel-agent-login"
FILES = ["/usr/bin/varkel-agent", LAUNCHER, "/usr/share/man/man1/varkel-agent.1",
         "/usr/share/doc/varkel-agent/examples/varkel-local",
         "/usr/lib/systemd/user/varkel-agent.service", "/etc/xdg/autostart/varkel-agent.desktop"]


def run(*argv, **env):
    return subprocess.run(argv, capture_output=True, timeout=300, env={**os.environ, **env})


@pytest.fixture(scope="module", autouse=True)
def package(tmp_path_factory):
    if os.geteuid() != 0 or not shutil.which("cpack") or not shutil.which("dpkg-shlibdeps"):
        pytest.skip("installs a package: run as root after scripts/ensure-packages package")
    if b"ok installed" in run("dpkg-query", "-W", "-f=${Status}", "varkel-agent").stdout:
        pytest.skip("varkel-agent is installed on this machine")
    folder, build = tmp_path_factory.mktemp("deb"), Path(os.environ["VARKEL_AGENT"]).parent
    assert run("cpack", "-G", "DEB", "--config", build / "CPackConfig.cmake", "-B", folder).returncode == 0
    apt = ["apt-get", "-o", "DPkg::Lock::Timeout=300", "-y", "-q"]
    try:
        assert run(*apt, "install", *folder.glob("*.deb"), DEBIAN_FRONTEND="noninteractive").returncode == 0
        yield
    finally:
        run(*apt, "purge", "varkel-agent", DEBIAN_FRONTEND="noninteractive")


def test_the_installed_files(tmp_path):
    assert all(Path(f).exists() for f in FILES) and set(FILES) <= set(
        run("dpkg-query", "-L", "varkel-agent").stdout.decode().split("\n"))
    assert run("/usr/bin/varkel-agent").stderr == (T.usage + "\n").encode()
    manual = run("man", "--warnings", "varkel-agent", MANPAGER="cat", MANWIDTH="80")
    assert manual.stderr == b"" and b"ctrl+alt+b" in manual.stdout
    entry = configparser.ConfigParser(interpolation=None)
    entry.read(FILES[5])
    assert shutil.which(entry["Desktop Entry"]["Exec"]) == LAUNCHER
    unit = run("systemd-analyze", "verify", "--user", FILES[4], XDG_RUNTIME_DIR=str(tmp_path))
    assert unit.stdout + unit.stderr == b""


def test_the_launcher_runs_the_agent_once_per_display_with_its_setting(desktop):
    nothing = desktop.start_agent([], program=LAUNCHER)
    assert nothing.exit_status() == 0 and b"not started: set VARKEL_CLI" in nothing.err.wait()
    (desktop.dir / ".config/varkel-agent").mkdir(parents=True)
    (desktop.dir / ".config/varkel-agent/env").write_text(
        f"VARKEL_CLI='{FILES[3]}'\nVARKEL_NODE=/bin/sh\nVARKEL_COPY='ctrl + shift + f5'\n")
    first = desktop.start_agent([], program=LAUNCHER)
    assert first.status_line() == status("ctrl + shift + f5")
    second = desktop.start_agent([], program=LAUNCHER)
    assert second.exit_status() == 0 and b"already runs on display" in second.err.wait()
    assert first.proc.poll() is None
