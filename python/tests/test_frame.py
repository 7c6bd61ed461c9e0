"""Frames: the same numbers and files as the command line, and numpy views
that stay valid."""

import gc

import pytest

from conftest import np, onexrev, run_cli

scipy_io = pytest.importorskip("scipy.io")

# Every channel on, a non-default rate, filter and oversampling.
SETTINGS = {"RRIactive": 1, "RRIvalue": 5, "DRCactive": 1, "DRCrelGain": 2, "ACKactive": 1,
            "DATAactive": 1, "DataRate": 4, "FilterType": 2, "OverSampling": 6}


def cli_sets():
    return [a for k, v in SETTINGS.items() for a in ("--set", f"{k}={v}")]


def test_frame_equals_the_command_lines_mat_file(tmp_path):
    out = tmp_path / "cli.mat"
    r = run_cli("calculate", *cli_sets(), "--out", out)
    assert r.returncode == 0, r.stderr
    mat = scipy_io.loadmat(out)
    frame = onexrev.calculate(onexrev.Parameters(**SETTINGS))
    n = 32768 * 6
    assert frame.wave.dtype == np.complex128 and frame.wave.shape == (n,)
    assert np.array_equal(frame.wave.real, mat["wave"][:, 0])
    assert np.array_equal(frame.wave.imag, mat["wave"][:, 1])
    assert frame.markers.dtype == np.uint8 and frame.markers.shape == (2, n)
    assert np.array_equal(frame.markers, mat["markers"])
    assert frame.sample_rate == mat["sampleRate"].item() == 6 * 1228800


def test_saved_files_equal_the_command_lines(tmp_path):
    frame = onexrev.calculate(onexrev.Parameters(**SETTINGS))
    for name, extra in [("a.bin", ["--scale", "0.5"]), ("b.sigmf-data", [])]:
        r = run_cli("calculate", *cli_sets(), "--out", tmp_path / f"cli-{name}", *extra)
        assert r.returncode == 0, r.stderr
        frame.save(tmp_path / f"py-{name}", **({"scale": 0.5} if extra else {}))
    for name in ["a.bin", "b.sigmf-data", "b.sigmf-meta"]:
        assert (tmp_path / f"py-{name}").read_bytes() == (tmp_path / f"cli-{name}").read_bytes()
    with pytest.raises(ValueError, match="unknown file kind"):
        frame.save(tmp_path / "x.wav")
    with pytest.raises(ValueError, match="scale"):
        frame.save(tmp_path / "x.mat", scale=0.5)
    assert not (tmp_path / "x.wav").exists() and not (tmp_path / "x.mat").exists()


def test_wave_is_a_read_only_view_that_outlives_the_frame():
    frame = onexrev.calculate(onexrev.Parameters(OverSampling=2))
    wave, markers = frame.wave, frame.markers
    assert not wave.flags.owndata and not wave.flags.writeable
    assert np.shares_memory(wave, frame.wave)  # no copy per access
    expected = wave.copy()
    del frame
    gc.collect()
    onexrev.calculate(onexrev.Parameters(OverSampling=2, DRCactive=1))  # reuse freed memory
    assert np.array_equal(wave, expected)
    assert markers.sum() > 0


def test_calculation_failure_is_an_exception_with_the_librarys_text():
    p = onexrev.Parameters(DATAactive=1, DATASourceType=7)  # user bits, none loaded
    with pytest.raises(onexrev.Error, match="user data"):
        onexrev.calculate(p)


def test_version_is_the_one_the_command_line_shows():
    r = run_cli("--version")
    assert r.returncode == 0 and r.stdout == f"onexrev-cli {onexrev.__version__}\n"
