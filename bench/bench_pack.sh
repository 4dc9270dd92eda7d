#!/usr/bin/env bash
# tdz pack of the listed corpus files, the whole tool as a user runs it
# (process start, files read and written on a tmpfs, containers named), on
# one thread and on two, the two taking turns run by run: median wall time
# of each and the speed-up.
#   bench/bench_pack.sh TDZ [CORPUS_DIR] [RUNS]
set -eu
tdz=$(realpath "$1")
corpus=${2:-$(dirname "$0")/../../shared/corpus}
runs=${3:-21}
if [ ! -d "$corpus" ]; then
    echo "bench_pack: corpus $corpus not found; nothing to measure"
    exit 0
fi
tmp=$(mktemp -d /dev/shm/tdz-bench-pack.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
while read -r name; do
    case $name in '' | '#'*) continue ;; esac
    cp "$corpus/$name" "$tmp/"
done <"$(dirname "$0")/corpus-files.txt"
bytes=$(cat "$tmp"/* | wc -c)
files=$(ls "$tmp" | wc -l)

# One timed pack of every file (-f: over the containers of the run before).
pack_ms() {
    local start end
    start=$(date +%s%N)
    "$tdz" pack -f -q -T "$1" "$tmp"/* 2>/dev/null
    end=$(date +%s%N)
    echo $(((end - start) / 1000))
}
one=() two=()
pack_ms 1 >/dev/null && pack_ms 2 >/dev/null  # warm-up, not counted
for _ in $(seq 1 "$runs"); do
    one+=("$(pack_ms 1)")
    two+=("$(pack_ms 2)")
    rm -f "$tmp"/*.tdz
done
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
m1=$(median "${one[@]}")
m2=$(median "${two[@]}")
python3 - "$bytes" "$files" "$runs" "$m1" "$m2" <<'PY'
import sys
size, files, runs, one, two = int(sys.argv[1]), sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5])
print(f"tdz pack of {files} corpus files, {size} bytes, on tmpfs; median of {runs} runs")
print(f"  -T 1: {one / 1000:.1f} ms, {size / one:.1f} MB/s")
print(f"  -T 2: {two / 1000:.1f} ms, {size / two:.1f} MB/s ({one / two:.2f}x -T 1)")
PY
