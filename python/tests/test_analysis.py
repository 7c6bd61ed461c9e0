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
