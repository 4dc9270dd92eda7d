#!/usr/bin/env python3
"""Reads a file through the mount at given and random offsets and sizes and
compares every read with the original.

  mount_read_check.py SEED COUNT MOUNTED ORIGINAL [OFFSET...]

Prints one line per difference and exits 1 when there was one."""
import os
import random
import sys


def main():
    seed, count, mounted, original = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4]
    size = os.path.getsize(original)
    rng = random.Random(seed)
    reads = [(int(o), 4096) for o in sys.argv[5:]]
    for _ in range(count):
        offset = rng.randrange(0, size + 1)
        reads.append((offset, rng.choice([1, 100, 4096, 65536, 300000])))
    reads.append((size, 10))  # at the end: nothing
    bad = 0
    with open(mounted, 'rb', buffering=0) as m, open(original, 'rb', buffering=0) as o:
        for offset, length in reads:
            got = os.pread(m.fileno(), length, offset)
            want = os.pread(o.fileno(), length, offset)
            if got != want:
                bad += 1
                print(f'{mounted}: {length} bytes at {offset}: {len(got)} bytes read, '
                      f'{len(want)} expected, same={got == want}')
    return 1 if bad else 0


if __name__ == '__main__':
    sys.exit(main())
