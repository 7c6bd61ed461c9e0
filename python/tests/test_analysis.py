"""The displays' numbers from Python: a tone in its bin, a constant envelope
in the CCDF, and refusals that are exceptions, not crashes."""

import pytest

from conftest import np, onexrev


def test_a_tone_lands_at_its_frequency_and_a_constant_envelope_never_peaks():
    n, fs, k = 1024, 1.2288e6, 100
    tone = np.exp(2j * np.pi * k * np.arange(n) / n)
    s = onexrev.spectrum(tone, fs)
    assert s["units"] == "MHz" and s["divider"] == 1e6
    peak = int(np.argmax(s["level_db"]))
    assert s["level_db"][peak] == 0
    assert s["frequency"][peak] * s["divider"] == pytest.approx(k * fs / n)
    c = onexrev.ccdf(tone)
    assert not c["real"] and c["x_db"][0] == 0 and len(c["x_db"]) == 201
    assert c["percent"][0] == pytest.approx(100)
    assert np.all(c["percent"][1:] < 1e-200)
    assert c["reference_percent"][0] == pytest.approx(100 * np.exp(-1))


def test_a_real_list_is_a_waveform_and_a_matrix_is_refused():
    c = onexrev.ccdf([1.0, -2.0, 0.5, 3.0])
    assert c["real"]
    with pytest.raises(ValueError, match="1-D"):
        onexrev.spectrum(np.ones((4, 2)), 1e6)


def test_analyze_reads_the_transmitters_errors_from_an_array_and_a_file(tmp_path):
    """A frame with a gain imbalance, looped, moved to 10 MHz by the FFT and
    given a carrier offset in numpy, read back as an array; the same frame as a
    file; another set's masks refused."""
    p = onexrev.Parameters(DRCactive=1, DRCrelGain=-3, IQGainImbalance=0.4)
    x = onexrev.calculate(p).wave
    n, m = len(x), 800000  # three frames at 10 MHz
    bins = np.fft.fftfreq(n, 1 / n).astype(int)
    spectrum = np.zeros(m, complex)
    spectrum[(3 * bins) % m] = np.fft.fft(x) * (m / n)
    capture = np.fft.ifft(spectrum)[123457:]
    capture *= np.exp(2j * np.pi * 4321.0 * np.arange(len(capture)) / 10e6)
    r = onexrev.analyze(capture, 10e6, p)
    assert r["freq_error_hz"] == pytest.approx(4321.0, abs=0.5)
    # Sample 123457 at 10 MHz is frame time 12.3457 ms: the next start comes
    # one frame less that later.
    assert r["time_offset_s"] == pytest.approx(1 / 37.5 - 12.3457e-3, abs=10e-9)
    assert r["iq_gain_imbalance_db"] == pytest.approx(0.4, abs=0.02)
    assert r["channels"]["drc"]["measured_db"] == pytest.approx(-3, abs=0.05)
    assert r["frames"] == 2 and r["rho"] > 0.9999

    onexrev.calculate(p).save(tmp_path / "f.sigmf-data")
    f = onexrev.analyze(tmp_path / "f.sigmf-meta", None, p)
    assert f["iq_gain_imbalance_db"] == pytest.approx(0.4, abs=1e-3)
    assert f["acpr_dbc"]["885000"] < -60

    p.QMask = 12345
    with pytest.raises(onexrev.Error, match="no frame found"):
        onexrev.analyze(capture, 10e6, p)
    with pytest.raises(ValueError, match="rate"):
        onexrev.analyze(capture, None, p)
