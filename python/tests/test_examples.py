"""The examples run as a user runs them."""

import os
import subprocess
import sys

import pytest

from conftest import SOURCE_DIR, onexrev


@pytest.mark.skipif(not hasattr(onexrev, "measure"),
                    reason="onexrev.measure is not part of this build yet")
def test_drc_sweep_prints_a_power_per_gain_that_follows_the_gain(sim, no_corrections):
    env = dict(os.environ, PYTHONPATH=os.path.dirname(onexrev.__file__))
    r = subprocess.run([sys.executable, str(SOURCE_DIR / "examples" / "drc_sweep.py"),
                        "--address", sim.address, "--start", "-6", "--stop", "6", "--step", "6"],
                       capture_output=True, text=True, timeout=300, env=env)
    assert r.returncode == 0, r.stderr
    rows = [line.split() for line in r.stdout.splitlines()[1:]]
    assert [float(g) for g, _ in rows] == [-6, 0, 6]
    powers = [float(p) for _, p in rows]
    # The DRC power relative to the pilot follows its gain, 6 dB a step.
    assert powers[1] - powers[0] == pytest.approx(6, abs=0.2)
    assert powers[2] - powers[1] == pytest.approx(6, abs=0.2)
    assert sim.stored("OneX-Rev", "iq")  # the last frame reached the instrument
