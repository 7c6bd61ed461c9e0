#!/usr/bin/env python3
"""onexrev.calculate against the C++ calculation alone, in one run.

    PYTHONPATH=build/python python3 python/bench/bench_calculate.py [--repeats N]

Every channel on, data rate 5, FilterType 3, OverSampling 30 (983040
samples), as the C++ benchmark. The two are measured alternately so that
load from elsewhere falls on both alike; the medians are printed.
"""

import argparse
import statistics
import time

import onexrev


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--repeats", type=int, default=40)
    args = parser.parse_args()
    params = onexrev.Parameters(RRIactive=1, DRCactive=1, ACKactive=1, DATAactive=1,
                                DataRate=5, FilterType=3, OverSampling=30)
    onexrev.calculate(params)  # warm-up: filter design caches, page faults
    python, native = [], []
    for _ in range(args.repeats):
        start = time.perf_counter()
        frame = onexrev.calculate(params)
        wave = frame.wave  # the numpy view is part of the way to numpy
        python.append(time.perf_counter() - start)
        del frame, wave
        native.append(onexrev._native_calculate_seconds(params))
    py_ms = statistics.median(python) * 1e3
    cpp_ms = statistics.median(native) * 1e3
    print(f"OverSampling 30, {args.repeats} runs each: onexrev.calculate {py_ms:.2f} ms, "
          f"C++ Calculate {cpp_ms:.2f} ms (median), ratio {py_ms / cpp_ms:.3f}")


if __name__ == "__main__":
    main()
