#!/usr/bin/env python3
"""Power, CCDF and spectrum figures of a waveform MAT-file, computed
independently with numpy, to check `onexrev-cli measure`.

    scripts/measure_reference.py FILE.mat [--offsets=-1980000,-885000,885000,1980000]
                                 [--offset-bw 30000] [--channel-bw 1230000]

FILE.mat is what `onexrev-cli calculate --out FILE.mat` writes (wave: N x 2
real and imaginary parts, sampleRate). Prints one JSON object with the keys
of `measure --json` for these figures. Exit 3 when numpy or scipy is missing.

Definitions:
- CCDF point at p %: the (1 - p/100) quantile (numpy's default, linear
  between order statistics) of each sample's power in dB relative to the
  average power.
- Spectrum: |X_k|^2 of the unscaled DFT of the whole waveform, no window;
  bin k at k * fs / N, k from -floor(N/2).
- Occupied bandwidth: from the lower edge of the lowest bin at which the
  power summed from the bottom reaches 0.5 % of the total to the upper edge
  of the highest bin at which the power summed from the top does (each bin
  fs / N wide).
- ACPR: power of the bins within offset +- offset-bw/2 over that of the bins
  within +- channel-bw/2, edges included (to a millionth of a bin), in dB;
  null when a band reaches past fs/2.
"""

import argparse
import json
import math
import sys

try:
    import numpy as np
    import scipy.io
except ImportError as e:  # the caller skips the comparison
    print(f"measure_reference: {e}", file=sys.stderr)
    sys.exit(3)

CCDF_PERCENT = ["10", "1", "0.1", "0.01", "0.001"]


def finite_or_none(v):
    return float(v) if math.isfinite(v) else None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("file")
    ap.add_argument("--offsets", default="-1980000,-885000,885000,1980000")
    ap.add_argument("--offset-bw", type=float, default=30e3)
    ap.add_argument("--channel-bw", type=float, default=1.23e6)
    a = ap.parse_args()

    m = scipy.io.loadmat(a.file)
    wave = np.asarray(m["wave"], dtype=float)
    x = wave[:, 0] + 1j * wave[:, 1]
    fs = float(np.asarray(m["sampleRate"]).ravel()[0])
    n = x.size

    p = x.real**2 + x.imag**2
    average = p.sum() / n
    peak = p.max()
    out = {
        "sample_rate": fs,
        "samples": n,
        "average_power": float(average),
        "peak_power": float(peak),
        "papr_db": float(10 * np.log10(peak / average)),
    }

    q = p + 1e-300 if p.min() == 0 else p
    rel = 10 * np.log10(q) - 10 * np.log10(q.sum() / n)
    out["ccdf_db"] = {
        k: float(np.quantile(rel, 1 - float(k) / 100)) for k in CCDF_PERCENT
    }

    power = np.abs(np.fft.fftshift(np.fft.fft(x))) ** 2
    f = (np.arange(n) - n // 2) * fs / n
    outside = 0.005 * power.sum()
    lo = int(np.argmax(np.cumsum(power) >= outside))
    hi = n - 1 - int(np.argmax(np.cumsum(power[::-1]) >= outside))
    out["obw_hz"] = float(f[hi] - f[lo] + fs / n)

    tol = 1e-6 * fs / n

    def band(centre, width):
        return power[(f >= centre - width / 2 - tol) & (f <= centre + width / 2 + tol)].sum()

    def reachable(centre, width):
        return abs(centre) + width / 2 <= fs / 2 + tol

    channel = band(0, a.channel_bw)
    acpr = {}
    for text in a.offsets.split(","):
        offset = float(text)
        key = str(int(offset))
        if reachable(offset, a.offset_bw) and reachable(0, a.channel_bw):
            with np.errstate(divide="ignore"):
                acpr[key] = finite_or_none(10 * np.log10(band(offset, a.offset_bw) / channel))
        else:
            acpr[key] = None
    out["acpr_dbc"] = acpr
    json.dump(out, sys.stdout)
    print()


if __name__ == "__main__":
    main()
