#!/usr/bin/env python3
"""Checks `onexrev-cli measure --json` output against the independent numpy
figures of scripts/measure_reference.py.

    compare_measure.py MEASURE.json REFERENCE.json

MEASURE.json must have exactly the fields of the measure report with their
types; its power, CCDF and spectrum figures must equal the reference's to
0.01 dB (powers to 1e-9 relative); every active channel must carry its
configured gain to 0.01 dB and rho must exceed 0.9999 (frames made by this
system). Prints what differs and exits 1, else prints "ok".
"""

import json
import math
import sys

TOP = ["sample_rate", "samples", "average_power", "peak_power", "papr_db", "ccdf_db", "obw_hz",
       "acpr_dbc", "rho", "channels", "not_available"]
CCDF = ["10", "1", "0.1", "0.01", "0.001"]
CHANNELS = ["pilot", "rri", "drc", "ack", "data"]
CHANNEL = ["active", "configured_db", "measured_db"]

problems = []


def number(v):
    return isinstance(v, (int, float)) and not isinstance(v, bool) and math.isfinite(v)


def expect(cond, text):
    if not cond:
        problems.append(text)


def close_db(name, got, ref):
    if ref is None or got is None:
        expect(ref is None and got is None, f"{name}: {got} against {ref}")
    else:
        expect(abs(got - ref) <= 0.01, f"{name}: {got} dB against {ref} dB")


def main():
    got = json.load(open(sys.argv[1]))
    ref = json.load(open(sys.argv[2]))

    expect(list(got) == TOP, f"fields {list(got)}")
    for k in ["sample_rate", "average_power", "peak_power", "papr_db", "obw_hz", "rho"]:
        expect(number(got.get(k)), f"{k} is no number: {got.get(k)!r}")
    expect(isinstance(got.get("samples"), int), "samples is no whole number")
    expect(list(got.get("ccdf_db", {})) == CCDF, f"ccdf_db keys {list(got.get('ccdf_db', {}))}")
    for k, v in got.get("acpr_dbc", {}).items():
        expect(k.lstrip("-").isdigit() and str(int(k)) == k, f"acpr_dbc key {k!r}")
        expect(v is None or number(v), f"acpr_dbc[{k}] = {v!r}")
    expect(list(got.get("channels", {})) == CHANNELS, "channel names")
    for name, c in got.get("channels", {}).items():
        expect(list(c) == CHANNEL, f"{name} fields {list(c)}")
        expect(isinstance(c.get("active"), bool), f"{name}.active is no boolean")
        expect(number(c.get("configured_db")), f"{name}.configured_db")
        if c.get("active"):
            expect(number(c.get("measured_db")), f"{name}.measured_db")
            if number(c.get("measured_db")):
                close_db(f"{name} against its gain", c["measured_db"], c["configured_db"])
        else:
            expect(c.get("measured_db") is None, f"inactive {name} measured")
    expect(number(got.get("rho")) and got["rho"] > 0.9999, f"rho {got.get('rho')}")
    # Every null, and nothing else, has its reason.
    nulls = [f"acpr_dbc.{k}" for k, v in got.get("acpr_dbc", {}).items() if v is None]
    nulls += [f"channels.{n}.measured_db" for n, c in got.get("channels", {}).items()
              if c.get("measured_db") is None]
    reasons = got.get("not_available", {})
    expect(sorted(reasons) == sorted(nulls), f"not_available {reasons} for the nulls {nulls}")
    expect(all(isinstance(v, str) and v for v in reasons.values()), "reasons are texts")
    if problems:  # the comparison needs the fields
        return

    expect(got["sample_rate"] == ref["sample_rate"], "sample_rate")
    expect(got["samples"] == ref["samples"], "samples")
    for k in ["average_power", "peak_power"]:
        expect(abs(got[k] - ref[k]) <= 1e-9 * ref[k], f"{k}: {got[k]} against {ref[k]}")
    close_db("papr_db", got["papr_db"], ref["papr_db"])
    for k in CCDF:
        close_db(f"ccdf_db[{k}]", got["ccdf_db"][k], ref["ccdf_db"][k])
    if ref["obw_hz"] == 0:
        expect(got["obw_hz"] == 0, "obw_hz")
    else:
        close_db("obw_hz (as a ratio)", 10 * math.log10(got["obw_hz"] / ref["obw_hz"]), 0)
    expect(list(got["acpr_dbc"]) == list(ref["acpr_dbc"]), "acpr_dbc offsets")
    for k in ref["acpr_dbc"]:
        close_db(f"acpr_dbc[{k}]", got["acpr_dbc"].get(k), ref["acpr_dbc"][k])


if __name__ == "__main__":
    main()
    for p in problems:
        print(p)
    print("ok" if not problems else f"{len(problems)} problem(s)")
    sys.exit(1 if problems else 0)
