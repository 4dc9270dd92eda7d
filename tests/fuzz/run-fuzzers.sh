#!/usr/bin/env bash
# Builds the fuzz targets (the relc codec, the tdz container reader) with
# clang's libFuzzer (ASan + UBSan) into build/fuzz/ (or $FUZZ_OUT) and runs
# each for a bounded time; exits non-zero on any finding.
#   tests/fuzz/run-fuzzers.sh [SECONDS_PER_TARGET]      (default 30)
# A finding is saved as build/fuzz/artifacts/TARGET-crash-*; replay it with
#   build/fuzz/TARGET build/fuzz/artifacts/TARGET-crash-...
set -uo pipefail

secs=${1:-30}
if ! [[ "$secs" =~ ^[1-9][0-9]*$ ]]; then
    echo "run-fuzzers: seconds per target must be a positive number, not '$secs'" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${FUZZ_OUT:-$root/build/fuzz}
corpus=$root/../shared/corpus
cxx=${FUZZ_CXX:-clang++}
targets=(fuzz_decode fuzz_roundtrip fuzz_container)
# Room for three blocks: a first one, a full later one and a short last one.
max_len=70000

if ! command -v "$cxx" >/dev/null; then
    echo "run-fuzzers: $cxx not found (Debian package clang)" >&2
    exit 1
fi
mkdir -p "$out/artifacts"

common=(-std=c++17 -g -pthread -DTDZ_FUZZ_PARALLEL=1 -I"$root/src" -I"$here")
codec=("$root"/src/codec/*.cpp)
# The container reader is the tool's own code on top of the codec.
tdz_reader=(-I"$root/tools/tdz" "$root"/src/container/container_header.cpp)
while read -r line; do
    case $line in ''|'#'*) ;; *) tdz_reader+=("$root/$line") ;; esac
done < "$here/container-reader-sources.txt"
echo "run-fuzzers: building into $out"
pids=()
for t in "${targets[@]}"; do
    extra=()
    [ "$t" = fuzz_container ] && extra=("${tdz_reader[@]}")
    "$cxx" "${common[@]}" -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
        "$here/$t.cpp" "${codec[@]}" "${extra[@]}" -o "$out/$t" &
    pids+=($!)
done
"$cxx" "${common[@]}" -O1 "$here/seed_encode.cpp" "${codec[@]}" -o "$out/seed_encode" || exit 1
for pid in "${pids[@]}"; do
    wait "$pid" || { echo "run-fuzzers: build failed" >&2; exit 1; }
done

# Seeds beyond the committed ones: slices of the corpus (text, tables, an
# incompressible JPEG) as data, and their streams for the decoder, each with
# its own call pattern bytes.
seeds=$out/seeds
rm -rf "$seeds"
mkdir -p "$seeds/fuzz_decode" "$seeds/fuzz_roundtrip" "$seeds/fuzz_container"
slices=(
    # file           offset length patterns (offer room decoder depth)
    "alice29.txt      10000   4000  0x00 0x00 0x05 0x00"
    "html                 0  33000  0x2b 0x0c 0x8a 0x08"
    "kppkn.gtb         1000  60000  0x0f 0x05 0xc6 0x00"
    "fireworks.jpeg    5000   3000  0x91 0xe3 0x0b 0x03"
    "geo.protodata        0  20000  0x4d 0x1a 0x70 0x06"
    "urls.10K        300000  57344  0x0e 0x0f 0x0c 0x00"
)
if [ -d "$corpus" ]; then
    i=0
    for s in "${slices[@]}"; do
        read -r file offset length p0 p1 p2 p3 <<<"$s"
        i=$((i + 1))
        [ -f "$corpus/$file" ] || continue
        { printf "\\x${p0#0x}\\x${p1#0x}\\x${p2#0x}\\x${p3#0x}"
          tail -c +$((offset + 1)) "$corpus/$file" | head -c "$length"; } >"$seeds/fuzz_roundtrip/slice$i"
        "$out/seed_encode" "$corpus/$file" "$offset" "$length" "$p2" "$p1" "$seeds/fuzz_decode/slice$i" || exit 1
    done
else
    echo "run-fuzzers: corpus $corpus not found; fuzzing from the committed seeds only"
fi

failed=0
for t in "${targets[@]}"; do
    work=$out/corpus-$t
    mkdir -p "$work"
    short=${t#fuzz_}
    log=$out/$t.log
    echo "run-fuzzers: $t for $secs s (log: $log)"
    if "$out/$t" -max_total_time="$secs" -max_len="$max_len" -timeout=20 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$out/artifacts/$t-" \
        "$work" "$seeds/$t" "$here/seeds/$short" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        echo "run-fuzzers: $t: ${runs:-?} inputs, no findings"
    else
        failed=1
        echo "run-fuzzers: $t: FINDING (see $log and $out/artifacts/)" >&2
        grep -E -A 30 'ERROR: |relc fuzz:|runtime error' "$log" | head -n 60 >&2
    fi
done
exit $failed
