#!/bin/bash
# Containers made by the Windows code are read by the host's tdz tool, and
# the other way round: every corpus file both ways, with its last-write time.
#   cross_check.sh HOST_TDZ FILE_OP_EXE WINE_RUN WINEPREFIX CORPUS_DIR WORK_DIR
# Exit 77 (skipped) when the host tree's tdz has not been built.
set -u

tdz=$1
file_op=$2
wine_run=$3
prefix=$4
corpus=$5
work=$6

if [ ! -x "$tdz" ]; then
    echo "host tool $tdz not built (build the host tree first): skipped"
    exit 77
fi
if [ ! -d "$corpus" ]; then
    echo "corpus '$corpus' is absent: skipped"
    exit 77
fi

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
win() { echo "Z:$(echo "$1" | tr / '\\')"; }

rm -rf "$work"
mkdir -p "$work/windows" "$work/host"
windows_time='2011-03-04 05:06:07 UTC'
host_time='2012-01-02 03:04:05 UTC'
names=()
for f in "$corpus"/*; do
    [ -f "$f" ] && [ "$(wc -c <"$f")" -gt 2048 ] || continue
    name=$(basename "$f")
    names+=("$name")
    cp "$f" "$work/windows/$name" && cp "$f" "$work/host/$name"
    chmod u+w "$work/windows/$name" "$work/host/$name"
    touch -d "$windows_time" "$work/windows/$name"
    touch -d "$host_time" "$work/host/$name"
done

# Windows writes, the host reads.
to_compress=()
for name in "${names[@]}"; do to_compress+=("$(win "$work/windows/$name")"); done
"$wine_run" --prefix "$prefix" "$file_op" compress "${to_compress[@]}" || fail "compress under Wine failed"
for name in "${names[@]}"; do
    a="$work/windows/$name"
    if ! "$tdz" test "$a.tdz" >/dev/null; then
        fail "$name: the host tool rejects the Windows container"
    elif ! "$tdz" unpack "$a.tdz" || ! cmp -s "$corpus/$name" "$a"; then
        fail "$name: the host tool restores other bytes"
    elif [ "$(stat -c %Y "$a")" != "$(date -d "$windows_time" +%s)" ]; then
        fail "$name: the host tool did not restore the time"
    fi
done

# The host writes, Windows reads.
to_decompress=()
for name in "${names[@]}"; do
    "$tdz" pack --replace "$work/host/$name" || fail "$name: the host tool could not pack"
    to_decompress+=("$(win "$work/host/$name.tdz")")
done
"$wine_run" --prefix "$prefix" "$file_op" decompress "${to_decompress[@]}" || fail "decompress under Wine failed"
for name in "${names[@]}"; do
    b="$work/host/$name"
    if ! cmp -s "$corpus/$name" "$b" || [ -e "$b.tdz" ]; then
        fail "$name: Windows restored other bytes or kept the container"
    elif [ "$(stat -c %Y "$b")" != "$(date -d "$host_time" +%s)" ]; then
        fail "$name: Windows did not restore the time"
    fi
done

echo "${#names[@]} corpus files both ways, $failures failure(s)"
rm -rf "$work"
[ "$failures" -eq 0 ]
