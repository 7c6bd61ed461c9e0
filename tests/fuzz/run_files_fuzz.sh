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
# Sets root, runs and mode from the arguments, leaving the libFuzzer flags.
# shellcheck source=fuzz_common.sh
source "$here/fuzz_common.sh"
build="${BUILD_DIR:-$root/build-files-fuzz}"
mkdir -p "$build/corpus" "$build/artifacts" "$build/obj"

bin="$build/files_fuzzer"
# The filter taps are designed by the normal build (build/) into a source of their own.
srcs=("$root"/src/platform/*.cpp "$root"/src/platform/matio/MatFileMatio.cpp "$root"/src/OneX/*.cpp
      "$root"/build/src/OneX/generated/FilterTapsTable.cpp "$root"/src/MexIO/IoConfig.cpp
      "$root"/src/MexIO/IoConfigArray.cpp "$root"/src/Instrument/SigGenSettings.cpp
      "$root"/src/Instrument/SigGenSettingsArray.cpp "$root"/src/Instrument/ParameterFiles.cpp
      "$root"/src/Instrument/ConfigFile.cpp "$root"/src/Instrument/CorrectionFile.cpp)
flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined
       -fno-sanitize-recover=undefined "${platform_flags[@]}"
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

run_harness "$bin" files "$@"
