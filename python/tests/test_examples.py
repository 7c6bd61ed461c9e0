"""The examples run as a user runs them."""

import os
import subprocess
import sys

import pytest

from conftest import SOURCE_DIR, np, onexrev, run_cli


def test_drc_sweep_prints_a_power_per_gain_that_follows_the_gain(sim, no_corrections):
    env = dict(os.environ, PYTHONPATH=os.path.dirname(onexrev.__file__))
    r = subprocess.run([sys.executable, str(SOURCE_DIR / "examples" / "drc_sweep.py"),
                        "--address", sim.address, "--start", "-6", "--stop", "6", "--step", "6"],
                       capture_output=True, text=True, timeout=300, env=env)
    assert r.returncode == 0, r.stderr
    rows = [line.split() for line in r.stdout.splitlines()[1:]]
    assert [float(g) for g, _ in rows] == [-6, 0, 6]
    powers = [float(p) for _, p in rows]
    # The default filter is measured exactly: the DRC power is its gain.
    assert powers == pytest.approx([-6, 0, 6], abs=0.01)
    assert sim.stored("OneX-Rev", "iq")  # the last frame reached the instrument


def test_measure_gives_the_command_lines_json(tmp_path):
    import json
    r = run_cli("measure", "--set", "DRCactive=1", "--set", "DATAactive=1", "--set", "OverSampling=4",
                "--json")
    assert r.returncode == 0, r.stderr
    cli = json.loads(r.stdout)
    frame = onexrev.calculate(onexrev.Parameters(DRCactive=1, DATAactive=1, OverSampling=4))
    assert onexrev.measure(frame) == cli
    narrow = onexrev.measure(frame, offsets=[-885e3, 3e6], offset_bw=10e3)
    assert list(narrow["acpr_dbc"]) == ["-885000", "3000000"]
    assert narrow["acpr_dbc"]["3000000"] is None and np.isfinite(narrow["acpr_dbc"]["-885000"])
    assert narrow["not_available"] == {
        "acpr_dbc.3000000": "offset band beyond half the sample rate",
        "channels.rri.measured_db": "channel not on",
        "channels.ack.measured_db": "channel not on"}
    with pytest.raises(onexrev.Error):
        onexrev.measure(frame, channel_bw=-1)
