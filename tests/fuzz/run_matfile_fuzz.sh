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
# Sets root, runs and mode from the arguments, leaving the libFuzzer flags.
# shellcheck source=fuzz_common.sh
source "$here/fuzz_common.sh"
build="${BUILD_DIR:-$root/build-fuzz}"
mkdir -p "$build/corpus" "$build/artifacts"

bin="$build/matfile_fuzzer"
srcs=("$here/matfile_fuzzer.cpp" "$root"/src/platform/Array.cpp "$root"/src/platform/MatFile*.cpp
      "$root"/src/platform/matio/MatFileMatio.cpp "$root"/src/platform/Module.cpp
      "$root"/src/platform/Text.cpp "$root"/src/platform/RegularFile.cpp "$root"/src/platform/AtomicFile.cpp)
if [[ ! -x "$bin" ]] || [[ -n "$(find "${srcs[@]}" "$root"/src/platform/*.h -newer "$bin" 2>/dev/null)" ]]; then
    echo "building $bin"
    clang++ -std=c++20 -O1 -g -fno-omit-frame-pointer \
        -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
        "${platform_flags[@]}" "${srcs[@]}" -o "$bin" \
        $(pkg-config --cflags --libs matio) -lfmt -lz -ldl
fi

run_harness "$bin" matfile "$@"
