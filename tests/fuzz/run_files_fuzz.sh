#!/usr/bin/env bash
# Builds the file-loader fuzz harness with clang (libFuzzer, ASan, UBSan) and
# runs it for a bounded number of inputs.
#
#   tests/fuzz/run_files_fuzz.sh [RUNS] [MODE] [extra libFuzzer flags...]
#     RUNS  number of inputs (default 20000)
#     MODE  inprocess (default) or public; see files_fuzzer.cpp
#   BUILD_DIR (default build-files-fuzz) holds the binary and the working
#   corpus; crashes land in $BUILD_DIR/artifacts/.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
runs="${1:-20000}"
mode="${2:-inprocess}"
shift $(( $# > 2 ? 2 : $# ))
build="${BUILD_DIR:-$root/build-files-fuzz}"
mkdir -p "$build/corpus" "$build/artifacts" "$build/obj"

bin="$build/files_fuzzer"
srcs=("$root"/src/platform/*.cpp "$root"/src/OneX/*.cpp "$root"/src/MexIO/IoConfig.cpp
      "$root"/src/MexIO/IoConfigArray.cpp "$root"/src/Instrument/SigGenSettings.cpp
      "$root"/src/Instrument/SigGenSettingsArray.cpp "$root"/src/Instrument/ParameterFiles.cpp
      "$root"/src/Instrument/ConfigFile.cpp "$root"/src/Instrument/CorrectionFile.cpp)
flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined
       -fno-sanitize-recover=undefined -I"$root/src" -DONEX_MATREADER_FROM_LIBDIR='"../bin"'
       $(pkg-config --cflags matio fftw3 eigen3))
# Objects are rebuilt only when their source (or any header) is newer.
objs=()
newest_header="$(find "$root/src" -name '*.h' -newer "$bin" 2>/dev/null | head -1 || true)"
for src in "${srcs[@]}"; do
    obj="$build/obj/$(basename "$(dirname "$src")")_$(basename "$src" .cpp).o"
    if [[ ! -f "$obj" || "$src" -nt "$obj" || -n "$newest_header" ]]; then
        echo "compiling $src"
        clang++ "${flags[@]}" -c "$src" -o "$obj"
    fi
    objs+=("$obj")
done
echo "linking $bin"
clang++ "${flags[@]}" -fsanitize=fuzzer "$here/files_fuzzer.cpp" "${objs[@]}" -o "$bin" \
    $(pkg-config --libs matio fftw3) -lfmt -lz -ldl

# Working corpus = the committed seeds plus whatever earlier runs found.
cp -n "$here"/corpus/files/* "$build/corpus/" 2>/dev/null || true
export ONEX_FUZZ_MODE="$mode"
# The public mode reads through the reader program of the normal build.
export ONEXREV_MATREADER="${ONEXREV_MATREADER:-$root/build/bin/onexrev-matreader}"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0}"
exec "$bin" "$build/corpus" -runs="$runs" -max_len=65536 -timeout=25 \
    -rss_limit_mb=2560 -malloc_limit_mb=1024 -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/" "$@"
