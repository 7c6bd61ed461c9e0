"""Shared fixtures: the build's programs, the command line and tarn-sim."""

import os
import socket
import subprocess
import threading
from pathlib import Path

import pytest

onexrev = pytest.importorskip("onexrev")
np = pytest.importorskip("numpy")

BIN_DIR = Path(os.environ.get("ONEX_BIN_DIR", Path(onexrev.__file__).resolve().parent.parent / "bin"))
SOURCE_DIR = Path(__file__).resolve().parents[2]


def program(name):
    path = BIN_DIR / name
    if not path.exists():
        pytest.skip(f"{path} is not built")
    return path


def run_cli(*args, cwd=None):
    """Runs onexrev-cli; returns the finished process (output as text)."""
    return subprocess.run([str(program("onexrev-cli")), *map(str, args)], cwd=cwd,
                          capture_output=True, text=True, timeout=120)


class Sim:
    """A running tarn-sim: its raw-socket port and its store folder."""

    def __init__(self, store, args=()):
        self.store = Path(store)
        self.proc = subprocess.Popen(
            [str(program("tarn-sim")), "--port", "0", "--no-vxi11", "--store", str(store), *args],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.port = None
        # Killed if it has not said READY in time, which ends the reading.
        watchdog = threading.Timer(20, self.proc.kill)
        watchdog.start()
        try:
            for line in self.proc.stdout:
                if line.startswith("TCP_PORT="):
                    self.port = int(line.split("=", 1)[1])
                elif line.strip() == "READY":
                    return
        finally:
            watchdog.cancel()
        self.stop()
        raise RuntimeError("tarn-sim did not start")

    @property
    def address(self):
        return f"127.0.0.1:{self.port}"

    def stored(self, name, kind):
        return (self.store / f"{name}.{kind}").read_bytes()

    def stop(self):
        self.proc.terminate()
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()


@pytest.fixture
def sim(tmp_path):
    s = Sim(tmp_path / "store")
    yield s
    s.stop()


@pytest.fixture
def start_sim(tmp_path):
    """Starts a tarn-sim with extra options; stopped after the test."""
    started = []

    def start(*args):
        s = Sim(tmp_path / f"store{len(started)}", args)
        started.append(s)
        return s

    yield start
    for s in started:
        s.stop()


@pytest.fixture
def closed_port():
    """A local port on which nothing listens."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


@pytest.fixture
def no_corrections(tmp_path, monkeypatch):
    """An empty correction folder, so downloads go out uncorrected."""
    folder = tmp_path / "corrections"
    folder.mkdir()
    monkeypatch.setenv("ONEXREV_CORRECTIONS_DIR", str(folder))
    return folder
