#!/usr/bin/env python3
"""Sweeps the DRC gain and prints the measured DRC power for each step.

    PYTHONPATH=build/python python3 examples/drc_sweep.py [--address HOST:PORT]

With --address each frame is also downloaded to the signal generator and
played there (try it with build/bin/tarn-sim --port 0).
"""

import argparse

import onexrev


def drc_power(frame):
    """The DRC channel's measured power in dB relative to the pilot (named as
    `onexrev-cli measure --json` names it)."""
    return onexrev.measure(frame)["channels"]["drc"]["measured_db"]


def sweep(gains, address=None):
    """Yields (gain in dB, measured DRC power) for each gain."""
    params = onexrev.Parameters(DRCactive=1, ACKactive=1)
    instrument = onexrev.Instrument(address) if address else None
    try:
        for gain in gains:
            params.DRCrelGain = gain
            frame = onexrev.calculate(params)
            if instrument:
                instrument.download(frame)
            yield gain, drc_power(frame)
    finally:
        if instrument:
            instrument.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--address", help="instrument address, e.g. 127.0.0.1:5025")
    parser.add_argument("--start", type=float, default=-12)
    parser.add_argument("--stop", type=float, default=6)
    parser.add_argument("--step", type=float, default=3)
    args = parser.parse_args()
    gains = []
    gain = args.start
    while gain <= args.stop + 1e-9:
        gains.append(round(gain, 6))
        gain += args.step
    print(f"{'DRC gain / dB':>14} {'measured DRC power / dB':>24}")
    for gain, power in sweep(gains, args.address):
        print(f"{gain:14.1f} {power:24.2f}")


if __name__ == "__main__":
    main()
