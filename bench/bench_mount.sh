#!/usr/bin/env bash
# tdz mount against tdz unpack on one 100 MB file made of the corpus:
# sequential MB/s through a fresh mount (the first pass decodes) and again
# (the kernel's page cache), tdz unpack of the same container to a tmpfs,
# the time of one 4 KB read at a random offset, cold (fresh mount: the
# stream up to there is decoded once) and warm (other offsets once the
# segment histories exist, and the same offset again), and writing a file
# through the mount against tdz pack.
#   bench/bench_mount.sh TDZ [CORPUS_DIR] [MB]
set -eu
tdz=$(realpath "$1")
corpus=${2:-$(dirname "$0")/../../shared/corpus}
mb=${3:-100}
tmp=$(mktemp -d /dev/shm/tdz-bench-mount.XXXXXX)
cleanup() { "$tdz" umount "$tmp/mp" 2>/dev/null || true; rm -rf "$tmp"; }
trap cleanup EXIT
mkdir "$tmp/src" "$tmp/mp" "$tmp/out"
python3 - "$corpus" "$tmp/src/big.bin" "$mb" "$(dirname "$0")/corpus-files.txt" <<'PY'
import os, sys
corpus, out, mb, listed = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
names = [l.strip() for l in open(listed) if l.strip() and not l.startswith('#')]
parts = [open(os.path.join(corpus, n), 'rb').read() for n in names]
data = bytearray()
while len(data) < mb << 20:
    for p in parts:
        data += p
open(out, 'wb').write(bytes(data[:mb << 20]))
PY
(cd "$tmp/src" && "$tdz" pack --replace big.bin)
size=$(stat -c %s "$tmp/src/big.bin.tdz")
echo "file: $mb MB of the corpus, container $((size >> 20)) MB, source and output on tmpfs"
now() { date +%s.%N; }
rate() { python3 -c "import sys; t=float(sys.argv[2])-float(sys.argv[1]); print(f'{t:.3f} s, {$mb/t:.0f} MB/s')" "$@"; }

start=$(now); "$tdz" unpack -q -o "$tmp/out/big.bin" "$tmp/src/big.bin.tdz"; end=$(now)
echo "tdz unpack to tmpfs:            $(rate "$start" "$end")"

"$tdz" mount -o ro "$tmp/src" "$tmp/mp"
start=$(now); dd if="$tmp/mp/big.bin" of=/dev/null bs=1M 2>/dev/null; end=$(now)
echo "read through a fresh mount:     $(rate "$start" "$end")"
start=$(now); dd if="$tmp/mp/big.bin" of=/dev/null bs=1M 2>/dev/null; end=$(now)
echo "read again (page cache):        $(rate "$start" "$end")"
"$tdz" umount "$tmp/mp"

# Writing: the restored file copied into a read-write mount (stored as a
# container when cp closes it) against tdz pack on one thread.
mkdir "$tmp/empty"
"$tdz" mount "$tmp/empty" "$tmp/mp"
start=$(now); cp "$tmp/out/big.bin" "$tmp/mp/"; end=$(now)
echo "cp into a read-write mount:     $(rate "$start" "$end")"
"$tdz" umount "$tmp/mp"
start=$(now); "$tdz" pack -q -T1 -o "$tmp/out/again.tdz" "$tmp/out/big.bin"; end=$(now)
echo "tdz pack -T1 of the same file:  $(rate "$start" "$end")"
rm -rf "$tmp/empty" "$tmp/out/again.tdz"

# One cold read near the end (the stream up to it decoded once, its
# histories kept), then reads at random offsets before it: each decodes at
# most one segment (or hits the cache), then the first offset again (page
# cache).
"$tdz" mount -o ro "$tmp/src" "$tmp/mp"
python3 - "$tmp/mp/big.bin" "$mb" <<'PY'
import os, random, statistics, sys, time
path, mb = sys.argv[1], int(sys.argv[2])
fd = os.open(path, os.O_RDONLY)
def timed(offset):
    t = time.perf_counter(); os.pread(fd, 4096, offset); return (time.perf_counter() - t) * 1000
first = (mb << 20) * 73 // 100
print(f"4 KB at a random offset, fresh mount (cold): {timed(first):8.3f} ms")
rng = random.Random(14)
warm = sorted(timed(rng.randrange(0, first)) for _ in range(50))
print(f"4 KB at 50 random offsets before it (warm):  median {statistics.median(warm):.3f} ms, "
      f"90% {warm[44]:.3f} ms, "
      f"max {warm[-1]:.3f} ms")
print(f"4 KB at the first offset again (page cache): {timed(first):8.3f} ms")
PY
"$tdz" umount "$tmp/mp"
