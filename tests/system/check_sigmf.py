#!/usr/bin/env python3
"""Checks a SigMF recording: the metadata against the required fields of the
SigMF core namespace (tests/data/sigmf/sigmf-core-required.schema.json),
annotations and captures sorted by sample_start, and a data file whose size
fits the datatype. Prints one line per recording plus the annotation counts
by label; exit 0 when valid, 1 when not, 3 when jsonschema is missing.

    check_sigmf.py SCHEMA BASE   (BASE.sigmf-meta and BASE.sigmf-data)
"""
import collections
import json
import os
import sys

try:
    import jsonschema
except ImportError:
    print("jsonschema not installed")
    sys.exit(3)

schema_path, base = sys.argv[1], sys.argv[2]
with open(schema_path) as f:
    schema = json.load(f)
with open(base + ".sigmf-meta") as f:
    meta = json.load(f)
try:
    jsonschema.validate(meta, schema)
except jsonschema.ValidationError as e:
    print("invalid:", e.message)
    sys.exit(1)

sizes = {"f64": 8, "f32": 4, "i32": 4, "u32": 4, "i16": 2, "u16": 2, "i8": 1, "u8": 1}
dt = meta["global"]["core:datatype"]
sample_bytes = sizes[dt[1:].split("_")[0]] * (2 if dt[0] == "c" else 1)
data_size = os.path.getsize(base + ".sigmf-data")
if data_size % sample_bytes:
    print("invalid: data size", data_size, "is no whole number of samples")
    sys.exit(1)
samples = data_size // sample_bytes
for key in ("captures", "annotations"):
    starts = [a["core:sample_start"] for a in meta[key]]
    if starts != sorted(starts):
        print("invalid:", key, "not sorted by core:sample_start")
        sys.exit(1)
for a in meta["annotations"]:
    if a["core:sample_start"] + a.get("core:sample_count", 0) > samples:
        print("invalid: annotation beyond the data")
        sys.exit(1)
counts = collections.Counter(a.get("core:label", "") for a in meta["annotations"])
lengths = collections.defaultdict(set)
for a in meta["annotations"]:
    lengths[a.get("core:label", "")].add(a.get("core:sample_count", 0))
print("valid", samples, "samples")
for label in sorted(counts):
    print(f"{label}: {counts[label]} x {sorted(lengths[label])}")
