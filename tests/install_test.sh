#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the installed tree.
#
#   bash tests/install_test.sh program|manual_page CMAKE BUILD_DIR SOURCE_DIR
#
# program: the installed program replicates examples/square.graph as the built one does.
# manual_page: man renders the installed page without a warning, and the page describes
# every option of the usage text. Ends with 77 (skipped) where man is missing.
set -euo pipefail
part=$1 cmake=$2 build_dir=$3 source_dir=$4

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

if [ "$part" = manual_page ] && ! command -v man >/dev/null; then
    echo "man is not installed: the manual page check is skipped"
    exit 77
fi

prefix=$(mktemp -d "${TMPDIR:-/tmp}/graphrep-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build_dir" --prefix "$prefix" >/dev/null
program=$prefix/bin/graphrep
page=$prefix/share/man/man1/graphrep.1
[ -x "$program" ] || fail "no program at $program"
[ -f "$page" ] || fail "no manual page at $page"

case $part in
program)
    input=$source_dir/examples/square.graph
    printed=$("$program" -in "$input" -times 2 -out "$prefix/2_square.graph")
    [ -z "$printed" ] || fail "the run printed: $printed"
    expected=$(printf '%% 2 %s\n8 8\n2 3 \n1 3 4 \n1 2 \n2 \n6 7 \n5 7 8 \n5 6 \n6 \n' "$input")
    [ "$(cat "$prefix/2_square.graph")" = "$expected" ] || fail "wrong copies of $input"
    ;;
manual_page)
    cmp -s "$page" "$source_dir/man/graphrep.1" || fail "the installed page is not man/graphrep.1"
    rendered=$prefix/rendered
    LC_ALL=C MANWIDTH=80 man --warnings -l "$page" >"$rendered" 2>"$prefix/warnings" ||
        fail "man -l failed: $(cat "$prefix/warnings")"
    [ ! -s "$prefix/warnings" ] || fail "man -l warns: $(cat "$prefix/warnings")"
    # The options the page describes: the tags of its OPTIONS section ("-in FILE",
    # "-h, --help"), each the first line of a paragraph.
    described=$(awk '/^[A-Z]/ { in_options = ($0 == "OPTIONS") }
                     in_options && after_blank && /^       -/ { sub(/^ +/, ""); print }
                     { after_blank = ($0 == "") }' "$rendered" |
        tr ',' ' ' | awk '{ for (i = 1; i <= NF; ++i) if ($i ~ /^-/) print $i }' | sort -u)
    # Every option of the usage text ("  -in FILE   ...", "  -h, --help   ...") must be
    # among them.
    listed=$("$program" --help | awk '/^  -/ { print $1; if ($1 ~ /,$/) print $2 }' | tr -d ,)
    [ -n "$listed" ] || fail "no option in the usage text"
    for option in $listed; do
        grep -qxF -- "$option" <<<"$described" || fail "the manual page does not describe $option"
    done
    ;;
*)
    fail "unknown part $part"
    ;;
esac
