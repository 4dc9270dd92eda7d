#!/usr/bin/env bash
# End-to-end checks of the tdz command line: what a user sees, exit statuses
# and files left behind.
#   tdz_cli_test.sh TDZ CORPUS_DIR WORK_DIR roundtrip|errors
set -u

tdz=$1
corpus=$2
work=$3
group=$4

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1

# expect_failure NAME STATUS PATTERN CMD...: CMD exits with STATUS and says PATTERN on stderr.
expect_failure() {
    local name=$1 status=$2 pattern=$3
    shift 3
    "$@" 2>stderr.txt
    local rc=$?
    if [ "$rc" -ne "$status" ]; then
        fail "$name: exit status $rc, expected $status ($(cat stderr.txt))"
    elif ! grep -q -- "$pattern" stderr.txt; then
        fail "$name: stderr '$(cat stderr.txt)' lacks '$pattern'"
    else
        pass "$name"
    fi
}

# roundtrip NAME FILE: through files, through pipes, same stream both ways.
roundtrip() {
    local name=$1 file=$2
    if ! "$tdz" encode "$file" enc.relc || ! "$tdz" decode enc.relc dec.bin; then
        fail "$name: file round trip exited non-zero"
    elif ! cmp -s "$file" dec.bin; then
        fail "$name: file round trip differs"
    elif ! "$tdz" encode - - <"$file" >pipe.relc; then
        fail "$name: encode from stdin exited non-zero"
    elif ! cmp -s enc.relc pipe.relc; then
        fail "$name: stream from stdin differs from stream from file"
    elif ! "$tdz" decode - - <pipe.relc | cmp -s - "$file"; then
        fail "$name: pipe round trip differs"
    else
        pass "$name ($(wc -c <"$file") -> $(wc -c <enc.relc) bytes)"
    fi
}

run_roundtrip() {
    # The worked example: "abc" four times codes to exactly these 13 bytes.
    printf 'abcabcabcabc' >abc.txt
    printf '\000\011\030\000abc\006\003\000\000\000\000' >abc.expected
    if "$tdz" encode abc.txt abc.relc && cmp -s abc.relc abc.expected; then
        pass "example stream is byte exact"
    else
        fail "example stream: got $(od -An -tx1 abc.relc 2>/dev/null)"
    fi
    roundtrip "example" abc.txt

    # Longer than one 512 KB buffer on both sides of the codec: highly
    # compressible text, then a stream (poorly compressible) as input.
    local i
    for i in $(seq 1 40000); do echo "line $i of a file that repeats itself"; done >lines.txt
    roundtrip "1.5 MB of lines" lines.txt
    cp enc.relc lines.relc
    roundtrip "a relc stream as input" lines.relc

    if [ ! -d "$corpus" ]; then
        echo "corpus '$corpus' is absent: corpus round trips skipped"
        return
    fi
    local f
    for f in "$corpus"/*; do
        [ -f "$f" ] && roundtrip "corpus $(basename "$f")" "$f"
    done
}

run_errors() {
    printf 'abcabcabcabc' >abc.txt
    "$tdz" encode abc.txt good.relc || fail "could not encode a test stream"

    printf '\000\000' >eos-first.relc
    expect_failure "end marker before any block" 1 \
        "tdz: decode: corrupt relc stream at input offset 0" "$tdz" decode eos-first.relc out.bin
    [ -e out.bin ] && fail "corrupt input left an output file"
    [ -e out.bin.tmp ] && fail "corrupt input left a temporary file"

    echo "earlier contents" >kept.bin
    expect_failure "corrupt input onto an existing file" 1 "corrupt relc stream" \
        "$tdz" decode eos-first.relc kept.bin
    grep -q "earlier contents" kept.bin || fail "a failed decode damaged the existing output file"

    # A block whose end-of-block marker is followed by more payload.
    printf '\000\005\200\000\000\000\141\000\000' >marker-inside.relc
    expect_failure "payload after the end-of-block marker" 1 "corrupt relc stream" \
        "$tdz" decode marker-inside.relc out.bin

    head -c 12 good.relc >cut.relc
    expect_failure "stream without its end marker" 1 "truncated relc stream" \
        "$tdz" decode cut.relc out.bin
    head -c 5 good.relc >cut-in-block.relc
    expect_failure "stream cut inside a block" 1 "truncated relc stream" \
        "$tdz" decode cut-in-block.relc out.bin
    : >empty.relc
    expect_failure "empty stream" 1 "truncated relc stream" "$tdz" decode empty.relc out.bin
    [ -e out.bin ] && fail "truncated input left an output file"

    { cat good.relc; printf 'x'; } >trailing.relc
    expect_failure "bytes after the end marker" 1 \
        "trailing data after the end of the relc stream at input offset 13" \
        "$tdz" decode trailing.relc out.bin
    [ -e out.bin ] && fail "trailing data left an output file"

    expect_failure "corrupt stream through pipes" 1 "corrupt relc stream" \
        sh -c "\"$tdz\" decode - - <eos-first.relc >/dev/null"

    : >empty.txt
    expect_failure "empty file to encode" 1 "empty input" "$tdz" encode empty.txt out.relc
    [ -e out.relc ] && fail "refused encode left an output file"
    expect_failure "empty stdin to encode" 1 "empty input" sh -c "\"$tdz\" encode - - </dev/null"

    expect_failure "missing input" 1 "cannot open 'no-such-file'" \
        "$tdz" decode no-such-file out.bin
    expect_failure "output in a missing folder" 1 "cannot create" \
        "$tdz" encode abc.txt no-such-dir/out.relc

    expect_failure "no command" 2 "usage" "$tdz"
    expect_failure "unknown command" 2 "unknown command 'squeeze'" "$tdz" squeeze a b
    expect_failure "missing argument" 2 "usage" "$tdz" encode abc.txt
}

case "$group" in
roundtrip) run_roundtrip ;;
errors) run_errors ;;
*) echo "unknown group '$group'"; exit 2 ;;
esac

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
