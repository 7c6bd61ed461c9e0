#!/usr/bin/env bash
# Parameter files and GNU Octave, both ways. Skips (exit 0) without Octave.
#   tests/Instrument/octave_params_check.sh [BIN_DIR]   (default build/bin)
# 1. onexrev-cli writes a parameter file (user bit stream, NaN, optional
#    setting); Octave loads it and checks names, classes, sizes and values
#    (octave_check_params.m), then saves the loaded variables with -v7.
#    `params --show` of Octave's copy must equal that of the original.
# 2. Octave writes the parameter files of make_octave_params.m now (-v6, -v7)
#    and test_parameter_files reads them with the values the script gave.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
bin="${1:-$root/build/bin}"
if ! command -v octave-cli >/dev/null 2>&1; then
    echo "octave not installed: skipped"
    exit 0
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
oct() { octave-cli --quiet "$@" 2>&1 | grep -v "ignoring const execution_exception" || true; }
status=0

printf '\xa5\x0f' >"$work/bits.bin"
"$bin/onexrev-cli" params --out "$work/ours.mat" --userfile "$work/bits.bin" \
    --set DATASourceType=7 --set DRCactive=1 --set DRCrelGain=-6.5 --set IMask=123456789AB \
    --set "slot.DRCslotValue=[0 1 2 3 4 5 6 7 8 9 A B C D E F 3]" --set OverSampling=8 \
    --set ProjectedLength=NaN --set SigGen.Frequency=1.9e9 --set SigGen.Amplitude=-12 \
    --set SigGen.Title=MY_WAVE --set SigGen.BBfilter=2 --set IQGainImbalance=-1.5 \
    --set QuadratureError=2.25 --set CarrierLeakage=off --set FreqError=1000 \
    --set FreqErrorSnap=0 --set CNRatio=17 --set NoiseSeed=4294967295 >/dev/null
out="$(cd "$here" && oct --eval "octave_check_params('$work/ours.mat', '$work/resaved.mat')")"
echo "$out"
grep -q "all values match" <<<"$out" || status=1
"$bin/onexrev-cli" params --show "$work/ours.mat" | tail -n +2 >"$work/ours.txt"
"$bin/onexrev-cli" params --show "$work/resaved.mat" | tail -n +2 >"$work/resaved.txt"
if diff "$work/ours.txt" "$work/resaved.txt"; then
    echo "Octave's -v7 copy loads here with every field and setting unchanged"
else
    status=1
fi

mkdir -p "$work/octave"
cp "$root/tests/data/params/make_octave_params.m" "$work/octave/"
(cd "$work/octave" && oct make_octave_params.m >/dev/null)
if ONEX_OCTAVE_PARAMS_DIR="$work/octave" "$bin/test_parameter_files" \
    --gtest_filter='*OctaveWrittenFilesLoad*' >"$work/read.log"; then
    echo "parameter files written by Octave now: read correctly"
else
    cat "$work/read.log"
    status=1
fi
exit $status
