#!/usr/bin/env bash
# tdz pack of the listed corpus files, the whole tool as a user runs it
# (process start, files read and written on a tmpfs, containers named), on
# one thread and on two, the two taking turns run by run: median wall time
# of each and the speed-up. COPIES > 1 packs that many copies of each file
# in one run, so that what every run pays once (starting the process,
# touching fresh memory) weighs less.
#   bench/bench_pack.sh TDZ [CORPUS_DIR] [RUNS] [COPIES]
set -eu
tdz=$(realpath "$1")
corpus=${2:-$(dirname "$0")/../../shared/corpus}
runs=${3:-21}
copies=${4:-1}
if [ ! -d "$corpus" ]; then
    echo "bench_pack: corpus $corpus not found; nothing to measure"
    exit 0
fi
tmp=$(mktemp -d /dev/shm/tdz-bench-pack.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
while read -r name; do
    case $name in '' | '#'*) continue ;; esac
    for c in $(seq 1 "$copies"); do cp "$corpus/$name" "$tmp/$c-$name"; done
done <"$(dirname "$0")/corpus-files.txt"

python3 - "$tdz" "$tmp" "$runs" <<'PY'
import os, statistics, subprocess, sys, time
tdz, folder, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
files = sorted(os.path.join(folder, f) for f in os.listdir(folder))
size = sum(os.path.getsize(f) for f in files)

def pack(threads):
    start = time.perf_counter()
    subprocess.run([tdz, "pack", "-f", "-q", "-T", str(threads)] + files, check=True)
    return time.perf_counter() - start

pack(1), pack(2)  # warm-up, not counted
one, two = [], []
for _ in range(runs):
    one.append(pack(1))
    two.append(pack(2))
m1, m2 = statistics.median(one), statistics.median(two)
print(f"tdz pack of {len(files)} files, {size} bytes, on tmpfs; median of {runs} runs")
print(f"  -T 1: {m1 * 1000:.1f} ms, {size / m1 / 1e6:.1f} MB/s")
print(f"  -T 2: {m2 * 1000:.1f} ms, {size / m2 / 1e6:.1f} MB/s ({m1 / m2:.2f}x -T 1)")
PY
