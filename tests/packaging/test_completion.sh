#!/usr/bin/env bash
# The bash completion made from onexrev-cli's help, as bash runs it: every
# verb and option the program lists, file names after a file option, folders
# after a folder option, the members of a fixed set, nothing after a number.
#
#   test_completion.sh COMPLETION-FILE PROGRAM
set -u
completion=$1 program=$2
# shellcheck source=/dev/null
source "$completion"
passed=0 failed=0

# The words offered for the command line "$@" (the last word is the one
# being completed), one per line.
offered() {
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    _onexrev_cli
    if [ ${#COMPREPLY[@]} -gt 0 ]; then printf '%s\n' "${COMPREPLY[@]}"; fi
}

check() {  # description, condition...
    local what=$1
    shift
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $what"; fi
}
has() { grep -qxF -- "$2" <<<"$1"; }
lacks() { ! has "$@"; }

# What the program itself lists, read here without the generator's parser.
verbs=$("$program" --help | sed -n '/^Subcommands:/,/^$/p' | awk 'NR > 1 && NF { print $1 }')
[ -n "$verbs" ] || { echo "FAILED: $program --help lists no verbs"; exit 1; }
top=$(offered onexrev-cli "")
for verb in $verbs; do
    check "verb $verb offered" has "$top" "$verb"
    options=$(offered onexrev-cli "$verb" --)
    for option in $("$program" "$verb" --help | grep -oE '^  (-[a-z],)?--[a-z0-9-]+' | sed 's/.*,//; s/^ *//'); do
        check "$verb: option $option offered" has "$options" "$option"
    done
done
check "--version offered" has "$top" --version

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/corrections"
touch "$work/set.mat"
cd "$work" || exit 1
check "file name after --params" has "$(offered onexrev-cli calculate --params s)" set.mat
check "file name after --out" has "$(offered onexrev-cli plot spectrum --out "")" set.mat
folders=$(offered onexrev-cli download --corrections "")
check "folder after --corrections" has "$folders" corrections
check "no file after --corrections" lacks "$folders" set.mat
kinds=$(offered onexrev-cli plot "")
check "plot kinds" has "$kinds" spectrum
check "plot kinds" has "$kinds" waterfall
check "platforms b and c" test "$(offered onexrev-cli download --platform "")" = $'b\nc'
check "nothing after a number option" test -z "$(offered onexrev-cli calculate --scale "")"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
