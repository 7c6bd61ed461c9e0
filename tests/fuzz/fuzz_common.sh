# Sourced by the run_*_fuzz.sh scripts (after they set here) with their
# arguments RUNS MODE [libFuzzer flags...]: sets root, runs and mode and
# leaves only the libFuzzer flags in "$@".
root="$(cd "$here/../.." && pwd)"
runs="${1:-20000}"
mode="${2:-inprocess}"
shift $(( $# > 2 ? 2 : $# ))

# What the platform's MAT-file sources take from the build: the version
# header (of the normal build in build/) and the install layout's relative
# places, which the harnesses do not use.
platform_flags=(-I"$root/src" -I"$root/build/generated/version"
                -DONEX_BINDIR_FROM_LIBDIR='"../bin"' -DONEX_BINDIR_FROM_PYTHONDIR='"../../../bin"'
                -DONEX_MODULEDIR_FROM_LIBDIR='"onexrev"' -DONEX_MODULEDIR_FROM_BINDIR='"../lib/onexrev"'
                -DONEX_MODULEDIR_FROM_PYTHONDIR='"../../onexrev"')

# Runs the harness BIN (built under $build) on its working corpus: the
# committed seeds of corpus/NAME plus whatever earlier runs found. Further
# arguments go to libFuzzer.
run_harness() {
    local bin="$1" name="$2"
    shift 2
    cp -n "$here/corpus/$name"/* "$build/corpus/" 2>/dev/null || true
    export ONEX_FUZZ_MODE="$mode"
    # The public mode reads through the reader program of the normal build.
    export ONEXREV_MATREADER="${ONEXREV_MATREADER:-$root/build/bin/onexrev-matreader}"
    export ONEXREV_MAT_MODULE="${ONEXREV_MAT_MODULE:-$root/build/lib/libonexrev-mat.so}"
    export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0}"
    exec "$bin" "$build/corpus" -runs="$runs" -max_len=65536 -timeout=25 \
        -rss_limit_mb=2560 -malloc_limit_mb=1024 -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/" "$@"
}
