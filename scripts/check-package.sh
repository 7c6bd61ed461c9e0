#!/usr/bin/env bash
# Proves the Debian packages in clean Debian roots, as a new user meets them:
#
#   1. a root with the distribution and make: `make deps`, `make run` (the
#      README's first command), `make package`; there, with the build
#      dependencies present, a C host is compiled against the installed
#      onexrev-dev (pkg-config) and lintian judges both packages;
#   2. a second root with only the distribution and make (no compiler, no
#      build dependencies): `apt-get install ./onexrev_*.deb` must pull the
#      run-time dependencies and nothing to build with, every program, the
#      Python module, the manual pages and the desktop files must work, and
#      removing and purging the package must leave no file of it behind
#      (and the user's own files in place).
#
#   scripts/check-package.sh               both roots (needs root; uses
#                                          ../shared/tools/fresh-debian or
#                                          $FRESH_DEBIAN; copies the packages
#                                          to $PACKAGE_OUT or a temporary folder)
#   scripts/check-package.sh build-root    step 1's checks, inside the root
#   scripts/check-package.sh user-root DIR step 2, inside the root (DIR holds
#                                          the .deb files)
set -euo pipefail

say() { echo "== check-package: $*"; }
fail() { echo "check-package: FAILED: $*" >&2; exit 1; }
passed=0
ok() { passed=$((passed + 1)); echo "ok: $*"; }

# The files (not folders) a package installed, one per line.
package_files() {
    dpkg -L "$@" | while read -r f; do [ -d "$f" ] || echo "$f"; done
}

# After removal and after purge, none of the files in $1 may be left.
check_removal() {
    local list=$1
    shift
    apt-get remove -y "$@" >/dev/null
    local left
    left=$(while read -r f; do [ -e "$f" ] || [ -L "$f" ] && echo "$f"; done <"$list" || true)
    [ -z "$left" ] || fail "left behind after apt-get remove: $left"
    ok "apt-get remove $* leaves none of its $(wc -l <"$list") files"
    # A package without maintainer scripts is gone entirely after remove, and
    # apt-get cannot find it to purge; purge what dpkg still remembers.
    local known=() pkg
    for pkg in "$@"; do
        if dpkg-query -W -f='${Status}\n' "$pkg" 2>/dev/null | grep -q "config-files"; then
            known+=("$pkg")
        fi
    done
    [ ${#known[@]} -eq 0 ] || apt-get purge -y "${known[@]}" >/dev/null
    left=$(while read -r f; do [ -e "$f" ] || [ -L "$f" ] && echo "$f"; done <"$list" || true)
    [ -z "$left" ] || fail "left behind after apt-get purge: $left"
    if dpkg-query -W -f='${Status}\n' "$@" 2>/dev/null | grep -qv "not-installed"; then
        fail "dpkg still knows $*"
    fi
    ok "apt-get purge $* leaves nothing behind"
}

build_root() {
    cd /src
    local debs=(build/onexrev_*.deb build/onexrev-dev_*.deb)
    [ -f "${debs[0]}" ] && [ -f "${debs[1]}" ] || fail "make package made no .deb files in build/"
    apt-get install -y "./${debs[0]}" "./${debs[1]}" >/dev/null
    package_files onexrev onexrev-dev >/tmp/files

    # A host program built as the README tells.
    local flags
    flags=$(pkg-config --cflags --libs OneX_Rev_b_lib)
    cc -std=c11 -Wall -Wextra -Werror examples/host.c $flags -o /tmp/host
    # /usr/lib, or /lib, its merged-/usr alias.
    ldd /tmp/host | grep -Eq "libOneX_Rev_b_lib.so.1 => (/usr)?/lib/libOneX_Rev_b_lib" \
        || fail "host does not use the installed library: $(ldd /tmp/host | grep OneX)"
    (cd /tmp && ./host host.bin && onexrev-cli calculate --out cli.bin >/dev/null && cmp host.bin cli.bin) \
        || fail "the C host's frame differs from onexrev-cli's"
    ok "C host built with pkg-config $flags writes onexrev-cli's frame"

    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends lintian >/dev/null
    lintian --version
    # Errors fail; the warnings are listed for the record.
    lintian --fail-on error --display-info "${debs[@]}" || fail "lintian reports errors"
    ok "lintian: no errors"

    check_removal /tmp/files onexrev-dev onexrev
    say "$passed checks passed in the build root"
}

user_root() {
    local dir=$1
    local deb
    deb=$(ls "$dir"/onexrev_*.deb)
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    dpkg-query -W -f='${Package}\n' | sort >/tmp/before
    apt-get install -y "$deb"
    dpkg-query -W -f='${Package}\n' | sort >/tmp/after
    local pulled
    pulled=$(comm -13 /tmp/before /tmp/after)
    echo "pulled: $(echo "$pulled" | wc -l) packages"
    # Run-time only: nothing to compile or build with came along.
    local tools
    tools=$(echo "$pulled" | grep -E -- '-dev$|^(gcc|g\+\+|cpp|clang|cmake|build-essential|help2man|pybind11)(-[0-9]+)?$' || true)
    [ -z "$tools" ] || fail "the package pulled build tools: $tools"
    command -v cc >/dev/null && fail "a compiler came with the package"
    # Every dependency the package declares is a package that is installed.
    local depends
    depends=$(dpkg-query -W -f='${Depends}' onexrev)
    echo "Depends: $depends"
    for dep in $(echo "$depends" | tr ',' '\n' | sed 's/(.*)//; s/|.*//' | tr -d ' '); do
        grep -qx "$dep" /tmp/after || fail "dependency $dep is not installed"
    done
    ok "apt-get install pulled the run-time dependencies and no build tools"
    package_files onexrev >/tmp/files

    local version
    version=$(dpkg-query -W -f='${Version}' onexrev)
    mkdir -p /tmp/run && cd /tmp/run
    # The package's version, with the commit when it was built from a git checkout.
    local shown
    shown=$(onexrev-cli --version)
    [[ $shown =~ ^onexrev-cli\ ($version(\+g[0-9a-f]+)?)$ ]] || fail "onexrev-cli --version: $shown"
    version=${BASH_REMATCH[1]}
    [ "$(tarn-sim --version)" = "tarn-sim $version" ] || fail "tarn-sim --version: $(tarn-sim --version)"
    [ "$(onexrev --version)" = "onexrev $version" ] || fail "onexrev --version: $(onexrev --version)"
    ok "onexrev-cli, tarn-sim and onexrev --version show $version"
    onexrev-cli calculate --set OverSampling=8 --out /tmp/x.mat
    [ -s /tmp/x.mat ] || fail "calculate wrote no /tmp/x.mat"
    onexrev-cli plot spectrum --out /tmp/s.png
    [ "$(head -c 8 /tmp/s.png | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "/tmp/s.png is no PNG"
    onexrev-cli measure --json | python3 -c 'import json, sys; m = json.load(sys.stdin); assert m["samples"] == 163840, m["samples"]'
    ok "calculate, plot (renderer found) and measure"
    # A clean recording of the default frame, analysed as a capture.
    onexrev-cli calculate --out /tmp/c.sigmf-data >/dev/null
    onexrev-cli analyze /tmp/c.sigmf-meta --json |
        python3 -c 'import json, sys; a = json.load(sys.stdin); assert a["rho"] > 0.999, a["rho"]'
    python3 -c "import onexrev; assert onexrev.analyze('/tmp/c.sigmf-meta', None, onexrev.Parameters())['rho'] > 0.999"
    # The same at twice the rate (each sample twice, two frames): resampled
    # through the resampler module.
    python3 -c "
from array import array
x = array('f'); x.frombytes(open('/tmp/c.sigmf-data', 'rb').read())
y = array('f')
for i in range(0, len(x), 2):
    y.extend(x[i:i + 2]); y.extend(x[i:i + 2])
open('/tmp/c2.cf32', 'wb').write((y + y).tobytes())"
    onexrev-cli analyze /tmp/c2.cf32 --format cf32 --rate 12288000 --json |
        python3 -c 'import json, sys; a = json.load(sys.stdin); assert a["rho"] > 0.999, a["rho"]'
    ok "analyze and onexrev.analyze read a SigMF recording, and one at another rate (resampler found)"
    local py
    py=$(cd / && python3 -c "import onexrev; print(onexrev.__version__, len(onexrev.calculate(onexrev.Parameters())))")
    [ "$py" = "$version 163840" ] || fail "python3: $py"
    # A parameter file read back (through the reader program) from Python,
    # and one written there (through the MAT-file module).
    onexrev-cli params --out /tmp/p.mat --set DRCactive=1 >/dev/null
    python3 -c "import onexrev; assert onexrev.Parameters.load('/tmp/p.mat').DRCactive == 1"
    (cd / && python3 -c "import onexrev; p = onexrev.Parameters(); p.DRCactive = 1; p.save('/tmp/q.mat')")
    onexrev-cli params --show /tmp/q.mat | grep -Eq "DRCactive +1" || fail "Python wrote no parameter file"
    ok "python3: onexrev $py, reads and writes parameter files"
    local rc=0
    QT_QPA_PLATFORM=offscreen timeout 5 onexrev || rc=$?
    [ "$rc" -eq 124 ] || fail "onexrev ended early (exit $rc)"
    ok "onexrev ran offscreen for 5 s"

    apt-get install -y --no-install-recommends man-db desktop-file-utils appstream >/dev/null
    for page in onexrev onexrev-cli tarn-sim onexrev-matreader; do
        man -w "$page" >/dev/null || fail "no manual page $page"
    done
    man onexrev-cli 2>/dev/null | grep -qF "onexrev-cli $version" || fail "onexrev-cli(1) is not of $version"
    ok "man -w onexrev, onexrev-cli, tarn-sim, onexrev-matreader"
    desktop-file-validate /usr/share/applications/*onexrev*.desktop
    appstreamcli validate --no-net /usr/share/metainfo/*onexrev*.metainfo.xml
    [ -f /usr/share/icons/hicolor/scalable/apps/onexrev.svg ] && [ -f /usr/share/icons/hicolor/256x256/apps/onexrev.png ] \
        || fail "icons missing"
    [ -f /usr/share/bash-completion/completions/onexrev-cli ] || fail "no bash completion"
    ok "desktop entry, AppStream data, icons, completion"

    # The user's own files (configuration, corrections) are theirs to keep.
    mkdir -p /root/.local/share/onexrev/corrections
    echo user >/root/.local/share/onexrev/corrections/mine.mat
    echo user >/tmp/run/rfIOConfig.mat
    check_removal /tmp/files onexrev
    [ -f /root/.local/share/onexrev/corrections/mine.mat ] && [ -f /tmp/run/rfIOConfig.mat ] \
        || fail "the user's files went with the package"
    ok "the user's corrections and configuration stay"
    say "$passed checks passed in the user's root"
}

both_roots() {
    cd "$(dirname "$0")/.."
    local fresh=
    for f in "${FRESH_DEBIAN:-}" ../shared/tools/fresh-debian; do
        if [ -n "$f" ] && [ -x "$f" ]; then fresh=$f; break; fi
    done
    [ -n "$fresh" ] || fail "fresh-debian not found (set FRESH_DEBIAN)"
    local sudo=
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    local out=${PACKAGE_OUT:-$(mktemp -d /tmp/onexrev-packages.XXXXXX)}
    mkdir -p "$out"
    local t0 t1 t2
    t0=$(date +%s)
    $sudo "$fresh" --out "$out" -- 'make deps' 'make run' 'make package' \
        'bash scripts/check-package.sh build-root' 'cp build/onexrev*.deb /out/'
    t1=$(date +%s)
    local debs=("$out"/onexrev_*.deb)
    $sudo "$fresh" --no-src --in "${debs[0]}" --in scripts/check-package.sh -- \
        'bash /in/check-package.sh user-root /in'
    t2=$(date +%s)
    say "build root (make deps, run, package, host, lintian): $((t1 - t0)) s"
    say "user's root (install, programs, removal): $((t2 - t1)) s"
    say "packages in $out: $(cd "$out" && ls ./*.deb | tr '\n' ' ')"
}

case "${1:-}" in
    build-root) build_root ;;
    user-root) user_root "${2:?user-root needs the folder of the .deb}" ;;
    "") both_roots ;;
    *) echo "usage: $0 [build-root | user-root DIR]" >&2; exit 2 ;;
esac
