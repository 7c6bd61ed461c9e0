#!/usr/bin/python3
"""Reference taps of the IS-95 standard baseband filter from an independent
equiripple designer (scipy.signal.remez), for the FIR design tests.

The filter: 12 x os taps, passband 0..590 kHz with gain 1 and weight 1,
stopband 740 kHz..Fs/2 with gain 0 and weight 20, Fs = 1.2288 MHz x os.

scipy takes band edges in units of its `fs`; with fs = 2 they are normalised
to Nyquist = 1 exactly as our designer's are. Its grid uses the same density
(16 points per ripple, spacing 1 / (16 x nfcns) in those units), but scipy
lays the grid out itself, so the taps agree to a tolerance, not bit for bit.

Usage: /usr/bin/python3 scripts/remez_reference.py [output file]
(Debian: apt-get install python3-scipy)
"""

import sys

import numpy
import scipy
import scipy.signal

CHIP_RATE = 1228800.0
OVERSAMPLING = [2, 3, 4, 5, 8, 12, 16, 20, 25, 30]


def is95_std(os_rate):
    # Same arithmetic order as the C++ routine: [edges] * 2 / os / chip rate.
    nyquist = os_rate * CHIP_RATE / 2
    bands = [v * 2 / os_rate / CHIP_RATE for v in (0.0, 590000.0, 740000.0, nyquist)]
    return scipy.signal.remez(12 * os_rate, bands, [1.0, 0.0], weight=[1.0, 20.0],
                              fs=2.0, grid_density=16, maxiter=200)


def main():
    out_path = sys.argv[1] if len(sys.argv) > 1 else "tests/data/remez_scipy_is95_std.txt"
    with open(out_path, "w") as out:
        out.write("# IS-95 standard filter taps from scipy.signal.remez %s (numpy %s)\n"
                  % (scipy.__version__, numpy.__version__))
        out.write("# remez(12*os, [0, 590e3, 740e3, os*1228800/2]*2/os/1228800, [1, 0],"
                  " weight=[1, 20], fs=2, grid_density=16, maxiter=200)\n")
        out.write("# Blocks: 'os <rate> taps <count>' then one tap per line.\n")
        for os_rate in OVERSAMPLING:
            h = is95_std(os_rate)
            out.write("os %d taps %d\n" % (os_rate, len(h)))
            for v in h:
                out.write("%.17g\n" % v)


if __name__ == "__main__":
    main()
