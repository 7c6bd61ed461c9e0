#!/usr/bin/env bash
# Interoperability with GNU Octave, both ways. Skips (exit 0) without Octave.
#   tests/platform/octave_roundtrip.sh [BIN_DIR]   (default build/bin)
# 1. Files written by writeMatFile (v6, v7, v7.3) load in Octave with the
#    expected values, classes and sizes (octave_check_export.m).
# 2. Files Octave writes now with save -v6 / -v7 / -v4 read here with the
#    values the Octave script gave them (test_matfile_octave).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
bin="${1:-$root/build/bin}"
if ! command -v octave >/dev/null 2>&1; then
    echo "octave not installed: skipped"
    exit 0
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
oct() { octave --no-gui --quiet --no-window-system "$@" 2>&1 | grep -v "ignoring const execution_exception" || true; }

ONEX_MAT_EXPORT_DIR="$work" "$bin/test_matfile_octave" --gtest_filter='OctaveFile.ExportForOctave' >/dev/null
status=0
for f in ours_v6.mat ours_v7.mat ours_v73.mat; do
    out="$(cd "$here" && oct --eval "octave_check_export('$work/$f')")"
    echo "$out"
    if ! grep -q "all values match" <<<"$out"; then
        if [[ "$f" == ours_v73.mat ]]; then
            echo "  (Octave's support for 7.3 files is partial; not counted)"
        else
            status=1
        fi
    fi
done

mkdir -p "$work/octave"
cp "$root/tests/data/mat/make_octave_files.m" "$work/octave/"
(cd "$work/octave" && oct make_octave_files.m >/dev/null)
if ONEX_OCTAVE_MAT_DIR="$work/octave" "$bin/test_matfile_octave" --gtest_filter='*Version*:*Values*' >"$work/read.log"; then
    echo "files written by Octave now: read correctly"
else
    cat "$work/read.log"
    status=1
fi
exit $status
