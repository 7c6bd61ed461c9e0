"""Impairments through the parameter set: the same noise bits as the command
line for a seed, "off" as the infinities, and the ranges of the windows."""

import hashlib
import math
import subprocess
import sys

import pytest

from conftest import np, onexrev, run_cli

scipy_io = pytest.importorskip("scipy.io")

IMPAIRED = {"CNRatio": 20, "NoiseSeed": 7, "FreqError": 1000, "IQGainImbalance": 0.5,
            "QuadratureError": -2, "CarrierLeakage": -30, "OverSampling": 4}


def test_a_seed_gives_the_command_lines_bits(tmp_path):
    out = tmp_path / "cli.mat"
    sets = [a for k, v in IMPAIRED.items() for a in ("--set", f"{k}={v}")]
    r = run_cli("calculate", *sets, "--out", out)
    assert r.returncode == 0, r.stderr
    assert "Impairments: " in r.stdout and "C/N 20 dB (seed 7)" in r.stdout
    mat = scipy_io.loadmat(out)
    frame = onexrev.calculate(onexrev.Parameters(**IMPAIRED))
    assert np.array_equal(frame.wave.real, mat["wave"][:, 0])
    assert np.array_equal(frame.wave.imag, mat["wave"][:, 1])
    # Another interpreter computes the same bytes.
    code = ("import hashlib, onexrev; p = onexrev.Parameters(**%r); "
            "print(hashlib.sha256(onexrev.calculate(p).wave.tobytes()).hexdigest())" % IMPAIRED)
    other = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                           timeout=120)
    assert other.returncode == 0, other.stderr
    assert other.stdout.strip() == hashlib.sha256(frame.wave.tobytes()).hexdigest()


def test_off_is_an_infinity_and_ranges_are_the_windows():
    p = onexrev.Parameters(CNRatio=20, NoiseSeed=7)
    assert p.CNRatio == 20 and p.NoiseSeed == 7 and isinstance(p.NoiseSeed, int)
    defaults = onexrev.Parameters()
    assert defaults.CNRatio == math.inf and defaults.CarrierLeakage == -math.inf
    assert defaults.FreqErrorSnap == 1
    p.CNRatio = "off"
    assert p.CNRatio == math.inf and p == onexrev.Parameters(NoiseSeed=7)
    with pytest.raises(ValueError, match="CNRatio.*from -10 to 60 or off"):
        p.CNRatio = 61
    with pytest.raises(ValueError, match="CarrierLeakage"):
        p.CarrierLeakage = math.inf  # off is -inf for the leakage
    with pytest.raises(ValueError, match="NoiseSeed"):
        p.NoiseSeed = 2**32
    assert p.CarrierLeakage == -math.inf and p.NoiseSeed == 7
