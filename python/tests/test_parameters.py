"""Parameter sets: the windows' ranges on assignment, and parameter files
shared with the command line."""

import os
import subprocess
import sys

import pytest

from conftest import BIN_DIR, np, onexrev, run_cli


@pytest.mark.parametrize("field, value, words", [
    ("DRCrelGain", 30.5, ["DRCrelGain", "-30 to 30"]),
    ("OverSampling", 31, ["OverSampling", "integer from 2 to 30"]),
    ("OverSampling", 4.5, ["OverSampling", "integer from 2 to 30"]),
    ("RRIvalue", float("nan"), ["RRIvalue", "0 to 7"]),
    ("IMask", 2**42, ["IMask", "3FFFFFFFFFF"]),
    ("DataRate", "fast", ["DataRate", "integer from 1 to 5"]),
    ("DATAactive", [1, 0], ["DATAactive", "0 or 1"]),
    ("dataSourceBitstream", [0, 1, 2], ["dataSourceBitstream", "0 or 1"]),
    ("dataSourceBitstream", [[0, 1]], ["dataSourceBitstream", "1-D"]),
    ("ParameterFileFormat_ID", "other", ["ParameterFileFormat_ID", "cannot be changed"]),
])
def test_refused_value_names_field_and_range_and_changes_nothing(field, value, words):
    p = onexrev.Parameters()
    with pytest.raises(ValueError) as refused:
        setattr(p, field, value)
    for word in words:
        assert word in str(refused.value)
    assert p == onexrev.Parameters()


def test_slot_rows_keep_their_length_and_cannot_be_changed_in_place():
    p = onexrev.Parameters()
    with pytest.raises(ValueError, match=r"slot\.DRCslotValue: 16 entries .*17"):
        p.slot.DRCslotValue = [1] * 16
    row = p.slot.ACKslotValue
    with pytest.raises(ValueError):
        row[0] = 1  # a read-only copy: an in-place edit must not pass silently
    p.slot.DRCslotValue = "A,B,C,D,E,F,0,1,2,3,4,5,6,7,8,9,A"  # the command line's text
    assert p.slot.DRCslotValue[:3].tolist() == [10, 11, 12]
    assert len(p.slot.DRCslotValue) == 17


def test_oversampling_sets_the_sample_clock_and_settings_are_checked():
    p = onexrev.Parameters(OverSampling=8)
    assert p.siggen.SamplingRate == 8 * 1228800
    settings = p.siggen
    settings.Frequency = 1.9e9  # a live view of the set's settings
    assert p.siggen.Frequency == 1.9e9
    with pytest.raises(ValueError, match=r"SigGen\.Amplitude: 21 is out of range"):
        p.siggen.Amplitude = 21
    with pytest.raises(ValueError, match="Title"):
        p.siggen.Title = "no spaces"
    assert "OverSampling=8" in repr(p) and "Frequency=1900000000" in repr(p)
    assert "SamplingRate" not in repr(p)  # follows OverSampling: not a difference


def test_file_written_by_command_line_loads_with_its_settings(tmp_path):
    path = tmp_path / "cli.mat"
    r = run_cli("params", "--out", path, "--set", "DRCactive=1", "--set", "IMask=3FF",
                "--set", "slot.DRCslotCover=1,2,3,4,5,6,7,0,1,2,3,4,5,6,7,0,1",
                "--set", "OverSampling=12", "--set", "SigGen.Frequency=1.9e9",
                "--set", "SigGen.BBfilter=2")
    assert r.returncode == 0, r.stderr
    p = onexrev.Parameters.load(path)
    expected = onexrev.Parameters(DRCactive=1, IMask=0x3FF, OverSampling=12)
    expected.slot.DRCslotCover = [1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7, 0, 1]
    expected.siggen.Frequency = 1.9e9
    expected.siggen.BBfilter = 2
    assert p == expected, (p, expected)


def test_file_written_here_is_read_by_command_line(tmp_path):
    p = onexrev.Parameters(ACKactive=1, ACKrelGain=-2.5, QMask="2A", DATASourceName="x.bin")
    p.dataSourceBitstream = [1, 0, 1]
    p.siggen.Title = "SWEEP_1"
    written = p.save(tmp_path / "mine")
    assert written.endswith("mine.mat")
    shown = run_cli("params", "--show", written)
    assert shown.returncode == 0, shown.stderr
    lines = {" ".join(l.split()[:2]) for l in shown.stdout.splitlines()}
    for line in ["ACKactive 1", "ACKrelGain -2.5", "QMask 2A", "Title \"SWEEP_1\""]:
        assert line in lines, shown.stdout
    assert onexrev.Parameters.load(written) == p


def test_refused_file_raises_with_the_reason_and_save_refuses_bad_names(tmp_path):
    junk = tmp_path / "junk.mat"
    junk.write_bytes(b"not a MAT-file at all")
    with pytest.raises(onexrev.Error, match="junk.mat"):
        onexrev.Parameters.load(junk)
    with pytest.raises(onexrev.Error):
        onexrev.Parameters().save(tmp_path / "no-such-folder" / "x.mat")


def test_installed_module_reads_files_through_the_installed_reader(tmp_path):
    """make install's layout: the module in <prefix>/lib/python3.X/dist-packages
    finds the reader program in <prefix>/bin, whatever interpreter runs it."""
    prefix = tmp_path / "prefix"
    for component in ("runtime", "python"):
        subprocess.run(["cmake", "--install", BIN_DIR.parent, "--prefix", prefix,
                        "--component", component], check=True, capture_output=True)
    site = next(prefix.glob("lib/python3*/dist-packages"))
    assert run_cli("params", "--out", tmp_path / "p.mat", "--set", "DRCactive=1").returncode == 0
    env = {k: v for k, v in os.environ.items() if k != "ONEXREV_MATREADER"}
    env["PYTHONPATH"] = str(site)
    r = subprocess.run([sys.executable, "-c", "import onexrev, sys; print(onexrev.__file__); "
                        "print(onexrev.Parameters.load(sys.argv[1]).DRCactive)", tmp_path / "p.mat"],
                       cwd="/", env=env, capture_output=True, text=True, timeout=120)
    assert r.returncode == 0, r.stderr
    module, drc = r.stdout.split()
    assert module.startswith(str(site)) and drc == "1"
