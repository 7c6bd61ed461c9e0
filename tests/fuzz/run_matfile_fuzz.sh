#!/usr/bin/env bash
# Builds the MAT-file reader fuzz harness with clang (libFuzzer, ASan, UBSan)
# and runs it for a bounded number of inputs.
#
#   tests/fuzz/run_matfile_fuzz.sh [RUNS] [MODE] [extra libFuzzer flags...]
#     RUNS  number of inputs (default 20000)
#     MODE  inprocess (default) or public; see matfile_fuzzer.cpp
#   BUILD_DIR (default build-fuzz) holds the binary and the working corpus;
#   crashes land in $BUILD_DIR/artifacts/.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
runs="${1:-20000}"
mode="${2:-inprocess}"
shift $(( $# > 2 ? 2 : $# ))
build="${BUILD_DIR:-$root/build-fuzz}"
mkdir -p "$build/corpus" "$build/artifacts"

bin="$build/matfile_fuzzer"
srcs=("$here/matfile_fuzzer.cpp" "$root"/src/platform/Array.cpp "$root"/src/platform/MatFile*.cpp
      "$root"/src/platform/RegularFile.cpp "$root"/src/platform/AtomicFile.cpp)
if [[ ! -x "$bin" ]] || [[ -n "$(find "${srcs[@]}" "$root"/src/platform/*.h -newer "$bin" 2>/dev/null)" ]]; then
    echo "building $bin"
    clang++ -std=c++20 -O1 -g -fno-omit-frame-pointer \
        -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
        -I"$root/src" -DONEX_MATREADER_FROM_LIBDIR='"../bin"' "${srcs[@]}" -o "$bin" \
        $(pkg-config --cflags --libs matio) -lfmt -lz -ldl
fi

# Working corpus = the committed seeds plus whatever earlier runs found.
cp -n "$here"/corpus/matfile/* "$build/corpus/" 2>/dev/null || true
export ONEX_FUZZ_MODE="$mode"
# The public mode reads through the reader program of the normal build.
export ONEXREV_MATREADER="${ONEXREV_MATREADER:-$root/build/bin/onexrev-matreader}"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0}"
exec "$bin" "$build/corpus" -runs="$runs" -max_len=65536 -timeout=25 \
    -rss_limit_mb=2560 -malloc_limit_mb=1024 -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/" "$@"
