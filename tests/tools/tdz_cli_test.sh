#!/usr/bin/env bash
# End-to-end checks of the tdz command line: what a user sees, exit statuses
# and files left behind.
#   tdz_cli_test.sh TDZ CORPUS_DIR WORK_DIR GROUP [BUILD_DIR]
set -u

tdz=$1
corpus=$2
work=$3
group=$4
build=${5:-}

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

# unpack_fails NAME PATTERN CONTAINER: unpack (also with --replace) refuses
# CONTAINER with PATTERN, keeps it as it was and leaves no output.
unpack_fails() {
    local name=$1 pattern=$2 container=$3
    local target=${container%.tdz}
    cp "$container" before.bin
    expect_failure "$name" 1 "$pattern" "$tdz" unpack "$container"
    expect_failure "$name (--replace)" 1 "$pattern" "$tdz" unpack --replace "$container"
    cmp -s "$container" before.bin || fail "$name: the container changed"
    [ -e "$target" ] && fail "$name: left '$target'"
    [ -e "$target.tmp" ] && fail "$name: left '$target.tmp'"
    expect_failure "$name (test)" 1 "$pattern" "$tdz" test "$container"
}

run_containers() {
    # The container of the worked example: header, the 13-byte stream and
    # the sum of the bytes, 4 * 0x126.
    printf 'abcabcabcabc' >abc.txt
    touch -d '2010-02-14 00:00:00 UTC' abc.txt
    "$tdz" pack abc.txt || fail "pack of the example exited non-zero"
    [ -e abc.txt ] || fail "pack deleted its input without --replace"
    if [ "$(wc -c <abc.txt.tdz)" -eq 73 ] && [ "$(head -c 16 abc.txt.tdz)" = "KR TD FORMAT1.00" ] &&
        [ "$(tail -c 4 abc.txt.tdz | od -An -tx1 | tr -d ' ')" = "98040000" ] &&
        [ "$(od -An -tu4 -j 32 -N 4 abc.txt.tdz | tr -d ' ')" = 12 ]; then
        pass "example container layout"
    else
        fail "example container: $(od -An -tx1 abc.txt.tdz | tr -d '\n')"
    fi
    "$tdz" test abc.txt.tdz >test.out || fail "test of a good container exited non-zero"
    grep -q "abc.txt.tdz: ok" test.out && grep -q "source size    12 bytes" test.out &&
        grep -q "last written   2010-02-14 00:00:00 UTC" test.out || fail "test printed: $(cat test.out)"

    expect_failure "pack over an existing container" 1 "exists" "$tdz" pack abc.txt
    mkdir -p out && mv abc.txt.tdz out/
    "$tdz" unpack out/abc.txt.tdz || fail "unpack exited non-zero"
    cmp -s abc.txt out/abc.txt || fail "unpack gave other bytes"
    [ "$(stat -c %Y out/abc.txt)" = "$(stat -c %Y abc.txt)" ] || fail "unpack did not restore the time"
    [ -e out/abc.txt.tdz ] || fail "unpack deleted its input without --replace"
    expect_failure "unpack over an existing file" 1 "exists" "$tdz" unpack out/abc.txt.tdz

    # Replacing both ways, a read-only file among them.
    local i
    for i in $(seq 1 30000); do echo "line $i of a file that repeats itself"; done >lines.txt
    cp lines.txt lines.orig
    chmod a-w lines.txt
    "$tdz" pack --replace lines.txt abc.txt || fail "pack --replace exited non-zero"
    [ -e lines.txt ] || [ -e abc.txt ] && fail "pack --replace kept its input"
    "$tdz" unpack --replace lines.txt.tdz abc.txt.tdz || fail "unpack --replace exited non-zero"
    [ -e lines.txt.tdz ] && fail "unpack --replace kept its input"
    cmp -s lines.txt lines.orig || fail "replace round trip gave other bytes"
    # (Root may write anything: look at the mode itself.)
    case "$(stat -c %A lines.txt)" in *w*) fail "the read-only bit did not come back" ;; esac
    pass "pack and unpack with --replace"

    # Damage of every kind is found before anything is written or deleted.
    chmod u+w lines.txt
    "$tdz" pack lines.txt || fail "pack exited non-zero"
    local size
    size=$(wc -c <lines.txt.tdz)
    { head -c $((size - 1)) lines.txt.tdz; printf '\377'; } >sum.tdz
    unpack_fails "wrong checksum" "damaged container: checksum" sum.tdz
    { head -c $((size - 6)) lines.txt.tdz; tail -c 4 lines.txt.tdz; } >cut.tdz
    unpack_fails "stream without its end marker" "without its end-of-stream marker" cut.tdz
    { head -c $((size - 4)) lines.txt.tdz; printf 'xy'; tail -c 4 lines.txt.tdz; } >extra.tdz
    unpack_fails "bytes behind the end marker" "bytes between the end-of-stream marker" extra.tdz
    { printf 'KR TD FORMAT2.00'; tail -c +17 lines.txt.tdz; } >magic.tdz
    unpack_fails "wrong magic" "not a container" magic.tdz
    head -c 55 lines.txt.tdz >short.tdz
    unpack_fails "55 bytes" "fewer than 56 bytes" short.tdz

    expect_failure "unpack without the extension" 1 "does not end with .tdz" "$tdz" unpack lines.txt
    : >empty.txt
    expect_failure "pack of an empty file" 1 "is empty" "$tdz" pack empty.txt
    [ -e empty.txt.tdz ] && fail "pack of an empty file left a container"
    rm -f abc.txt.tdz
    expect_failure "pack goes on after a missing file" 1 "cannot open 'missing.txt'" \
        "$tdz" pack missing.txt abc.txt
    [ -e abc.txt.tdz ] || fail "pack stopped at the missing file"
    "$tdz" test abc.txt.tdz sum.tdz >test.out 2>/dev/null && fail "test of a damaged container exited 0"
    grep -q "abc.txt.tdz: ok" test.out || fail "test stopped at the damaged container"
    expect_failure "pack without files" 2 "usage" "$tdz" pack --replace
    ls ./*.tmp out/*.tmp >/dev/null 2>&1 && fail "temporary files left: $(ls ./*.tmp out/*.tmp 2>/dev/null)"
    pass "damaged containers and misuse"
}

# The temporary output never opens an existing name: a user's NAME.tmp and
# the target of a symbolic link there stay as they were.
run_temporary_names() {
    printf 'report text %.0s' $(seq 1 400) >report
    "$tdz" pack --replace report 2>/dev/null || "$tdz" pack report || fail "pack of report exited non-zero"
    rm -f report
    printf 'the user keeps this' >report.tmp
    printf 'linked target' >target.txt
    "$tdz" unpack report.tdz || fail "unpack beside a user's report.tmp exited non-zero"
    [ "$(cat report.tmp)" = "the user keeps this" ] || fail "unpack overwrote the user's report.tmp"
    cmp -s report <(printf 'report text %.0s' $(seq 1 400)) || fail "unpack restored other bytes"
    printf 'other text %.0s' $(seq 1 400) >other
    "$tdz" pack other || fail "pack of other exited non-zero"
    rm -f other
    ln -s target.txt other.tmp
    "$tdz" unpack other.tdz || fail "unpack beside a symbolic link exited non-zero"
    [ "$(cat target.txt)" = "linked target" ] || fail "unpack wrote through the symbolic link"
    [ -L other.tmp ] || fail "the symbolic link was replaced"
    pass "temporary names never open an existing file"
}

# Anything but a regular file is refused at once: a FIFO without a writer,
# a directory, a device. "timeout" turns a wait into exit status 124.
run_special_files() {
    mkfifo pipe fifo.tdz
    mkdir folder box.tdz
    local cmd
    for cmd in "pack pipe" "pack --replace pipe" "pack folder" "pack /dev/null" "unpack fifo.tdz" \
        "unpack --replace fifo.tdz" "unpack box.tdz" "test fifo.tdz" "test box.tdz" "test /dev/zero"; do
        # shellcheck disable=SC2086
        expect_failure "$cmd" 1 "is not a regular file" timeout 10 "$tdz" $cmd
    done
    [ -p pipe ] && [ -p fifo.tdz ] && [ -d box.tdz ] || fail "a refused special file was changed"
    [ -e pipe.tdz ] || [ -e fifo ] || [ -e box ] && fail "a refused special file left an output"
    ls ./*.tmp ./.tdz-* >/dev/null 2>&1 && fail "files left: $(ls ./*.tmp ./.tdz-* 2>/dev/null)"

    # A FIFO at the name of the file to restore counts as taken, also when
    # --replace looks whether it already holds the container's bytes.
    printf 'held %.0s' $(seq 1 100) >held && "$tdz" pack held && rm held && mkfifo held
    expect_failure "unpack onto a FIFO" 1 "exists" timeout 10 "$tdz" unpack --replace held.tdz
    [ -p held ] && [ -e held.tdz ] || fail "unpack onto a FIFO changed a file"
}

# Names of 248 to 251 bytes: the container's name (NAME.tdz) still fits in
# 255 bytes while NAME.tdz.tmp does not.
run_long_names() {
    local n name
    for n in 247 248 249 250 251; do
        name=$(printf 'n%.0s' $(seq 1 "$n"))
        printf 'long name %s %.0s' "$n" $(seq 1 50) >"$name"
        cp "$name" expected
        if ! "$tdz" pack --replace "$name" 2>stderr.txt; then
            fail "pack of a $n-byte name: $(cat stderr.txt)"
        elif [ -e "$name" ] || ! "$tdz" unpack --replace "$name.tdz" 2>stderr.txt; then
            fail "round trip of a $n-byte name: $(cat stderr.txt)"
        elif ! cmp -s "$name" expected || [ -e "$name.tdz" ]; then
            fail "round trip of a $n-byte name gave other files"
        else
            pass "pack and unpack of a $n-byte name"
        fi
        rm -f "$name" "$name.tdz"
    done
    ls -A | grep -q tmp && fail "temporary files left: $(ls -A | grep tmp)"
    [ "$(ls -A | wc -l)" -eq 2 ] || fail "files left: $(ls -A)"
}

# A run ended between the output's rename and the input's deletion leaves
# both; --replace finishes the job when they hold the same bytes and
# refuses (keeping both) when they do not.
run_interrupted_replace() {
    printf 'first words %.0s' $(seq 1 300) >doc
    cp doc doc.orig
    "$tdz" pack doc || fail "pack of doc exited non-zero"
    expect_failure "pack without --replace onto its own container" 1 "exists" "$tdz" pack doc
    "$tdz" pack --replace doc || fail "pack --replace did not finish: $(ls)"
    [ -e doc ] && fail "pack --replace kept a source its container holds"
    "$tdz" unpack doc.tdz || fail "unpack of doc exited non-zero"
    "$tdz" unpack --replace doc.tdz || fail "unpack --replace did not finish"
    [ -e doc.tdz ] && fail "unpack --replace kept a container its file holds"
    cmp -s doc doc.orig || fail "the finished round trip gave other bytes"

    # name: what differs between the container and the file beside it.
    local name
    for name in "one byte changed" "one byte more" "one byte less"; do
        cp doc.orig doc && "$tdz" pack doc
        case "$name" in
        "one byte changed") printf 'F' | dd of=doc bs=1 seek=0 conv=notrunc status=none ;;
        "one byte more") printf 'x' >>doc ;;
        "one byte less") truncate -s -1 doc ;;
        esac
        cp doc doc.before
        expect_failure "pack --replace, $name" 1 "exists" "$tdz" pack --replace doc
        expect_failure "unpack --replace, $name" 1 "exists" "$tdz" unpack --replace doc.tdz
        cmp -s doc doc.before && [ -e doc.tdz ] || fail "$name: a refused run changed a file"
        rm -f doc.tdz
    done
    # A damaged container beside its source is refused, both kept.
    cp doc.orig doc && "$tdz" pack doc
    printf '\377' | dd of=doc.tdz bs=1 seek=$(($(wc -c <doc.tdz) - 1)) conv=notrunc status=none
    expect_failure "pack --replace beside a damaged container" 1 "exists" "$tdz" pack --replace doc
    [ -e doc ] || fail "the source went beside a damaged container"
}

# usage_error ARGS PATTERN: exit status 2 and one line on stderr saying
# PATTERN, with the way to the help.
usage_error() {
    local args=$1 pattern=$2
    # shellcheck disable=SC2086
    "$tdz" $args >stdout.txt 2>stderr.txt
    local rc=$?
    if [ "$rc" -ne 2 ] || [ "$(wc -l <stderr.txt)" -ne 1 ] || [ -s stdout.txt ] ||
        ! grep -q -- "$pattern" stderr.txt || ! grep -q "try 'tdz.*--help'" stderr.txt; then
        fail "tdz $args: status $rc, stderr '$(cat stderr.txt)', expected 2 and one line with '$pattern'"
    else
        pass "tdz $args: usage error"
    fi
}

run_usage() {
    local cmd
    for cmd in "--help" "-h" "--version" "pack --help" "unpack -h" "test --help" "list --help" \
        "encode --help" "decode --help" "pack -T 0 --help"; do
        # shellcheck disable=SC2086
        if "$tdz" $cmd >stdout.txt 2>stderr.txt && [ -s stdout.txt ] && [ ! -s stderr.txt ]; then
            pass "tdz $cmd"
        else
            fail "tdz $cmd: status or output wrong ($(head -c 200 stderr.txt))"
        fi
    done
    "$tdz" --help | grep -q "^Usage: tdz COMMAND" || fail "--help lacks its usage line"
    "$tdz" pack --help | grep -q -- "--threads N" || fail "pack --help lacks --threads"
    "$tdz" unpack --help | grep -q -- "--threads" && fail "unpack --help offers --threads"

    printf 'abcabcabcabc' >a.txt
    usage_error "" "no command given"
    usage_error "squeeze a" "unknown command 'squeeze'"
    usage_error "--frobnicate" "unknown option '--frobnicate'"
    usage_error "pack --frobnicate a.txt" "unknown option '--frobnicate'"
    usage_error "pack -x a.txt" "unknown option '-x'"
    usage_error "pack" "no FILE... given"
    usage_error "encode a.txt" "needs IN OUT, got 1 argument"
    usage_error "decode a b c" "got 3 arguments"
    usage_error "pack -T 0 a.txt" "from 1 to 256, not '0'"
    usage_error "pack -T 257 a.txt" "not '257'"
    usage_error "pack --threads=two a.txt" "not 'two'"
    usage_error "pack -T" "needs N"
    usage_error "pack --replace=yes a.txt" "takes no value"
    usage_error "unpack -T 2 a.txt.tdz" "'-T' does not apply to unpack"
    usage_error "pack -c a.txt" "'-c' does not apply to pack"
    usage_error "pack -o x.tdz a.txt b.txt" "single file"
    usage_error "pack -r -o x.tdz a.txt" "folder tree"
    usage_error "unpack -c -o x a.txt.tdz" "give one"
    usage_error "unpack -c --replace a.txt.tdz" "give one"
    usage_error "pack -o - --replace a.txt" "standard output; give one"
    usage_error "list --json" "no FILE.tdz... given"
    [ -e a.txt.tdz ] || [ -e x.tdz ] && fail "a usage error wrote a file"

    # Other failures: status 1, each naming its file and the reason.
    expect_failure "missing file" 1 "tdz: pack: cannot open 'gone.txt': No such file or directory" \
        "$tdz" pack gone.txt
    mkdir -p dir
    expect_failure "folder without -r" 1 "'dir' is not a regular file (a folder: -r takes its tree)" \
        "$tdz" pack dir
    [ "$(wc -l <stderr.txt)" -eq 1 ] || fail "a failure took more than one line: $(cat stderr.txt)"
}

# A tree of files packed and unpacked in place, -o, -c, -f, -T, -v and -q.
run_options() {
    local i
    for i in $(seq 1 40000); do echo "line $i of a file that repeats itself"; done >lines.txt
    printf 'abcabcabcabc' >abc.txt

    # -o both ways, -c to standard output; inputs stay.
    "$tdz" pack -o elsewhere.tdz abc.txt && "$tdz" unpack -o back.txt elsewhere.tdz &&
        cmp -s abc.txt back.txt && [ ! -e abc.txt.tdz ] || fail "-o round trip"
    "$tdz" unpack --stdout elsewhere.tdz >stdout.bin && cmp -s abc.txt stdout.bin &&
        [ -e elsewhere.tdz ] || fail "unpack -c"
    "$tdz" pack lines.txt && "$tdz" unpack -c lines.txt.tdz elsewhere.tdz >both.bin &&
        cmp -s both.bin <(cat lines.txt abc.txt) || fail "unpack -c of two containers"
    "$tdz" pack -o - abc.txt >piped.tdz && "$tdz" unpack -o - piped.tdz | cmp -s - abc.txt &&
        cmp -s piped.tdz elsewhere.tdz || fail "-o - both ways"
    pass "-o and -c"

    # -f replaces a regular file only, never the input itself nor a folder.
    echo "old" >abc.txt.tdz
    expect_failure "pack onto an existing file" 1 "exists; remove it first or give -f" "$tdz" pack abc.txt
    "$tdz" pack -f abc.txt && "$tdz" test -q abc.txt.tdz || fail "pack -f did not replace the old file"
    cp abc.txt keep.txt
    expect_failure "-f onto the input" 1 "'keep.txt' is the input itself" "$tdz" pack -f -o keep.txt keep.txt
    expect_failure "-f onto the input (--replace)" 1 "is the input itself" \
        "$tdz" unpack -f --replace -o abc.txt.tdz abc.txt.tdz
    cmp -s keep.txt abc.txt && [ -e abc.txt.tdz ] || fail "-f onto the input changed it"
    mkdir -p taken.tdz
    expect_failure "-f onto a folder" 1 "is not a regular file; -f replaces only files" \
        "$tdz" pack -f -o taken.tdz abc.txt
    echo "old" >restored.txt
    "$tdz" unpack -f -o restored.txt abc.txt.tdz && cmp -s restored.txt abc.txt || fail "unpack -f"

    # -T: the same container on 1 and 2 threads; the default too.
    "$tdz" pack -T 1 -o one.tdz lines.txt && "$tdz" pack --threads=2 -o two.tdz lines.txt &&
        "$tdz" pack -f -o default.tdz lines.txt || fail "pack -T exited non-zero"
    cmp -s one.tdz two.tdz && cmp -s one.tdz default.tdz || fail "-T 1 and -T 2 give other containers"
    "$tdz" encode -T 1 lines.txt one.relc && "$tdz" encode -T 2 lines.txt two.relc &&
        cmp -s one.relc two.relc || fail "encode -T 1 and -T 2 give other streams"

    # Several files in one run: on 3 threads the same containers, and the
    # same lines in the same order, as on one, with failures in between
    # (missing, empty, a folder, the same file twice) and the others packed.
    local t
    for t in 1 3; do
        mkdir -p run$t/folder && cp lines.txt abc.txt run$t/ && : >run$t/empty.txt &&
            head -c 300000 lines.txt >run$t/part.txt
        (cd run$t && "$tdz" pack -v -T $t lines.txt missing.txt abc.txt empty.txt folder part.txt ./abc.txt \
            2>../run$t.err; echo $? >../run$t.status)
    done
    [ "$(cat run1.status)$(cat run3.status)" = 11 ] || fail "a run with failures exited $(cat run1.status run3.status)"
    [ "$(wc -l <run1.err)" -eq 7 ] && grep -q "'./abc.txt' is named twice" run1.err ||
        fail "a run's lines: $(cat run1.err)"
    diff run1.err run3.err >/dev/null || fail "a run on 3 threads says other things: $(diff run1.err run3.err)"
    for f in lines.txt abc.txt part.txt; do
        cmp -s <(tail -c +57 run1/$f.tdz) <(tail -c +57 run3/$f.tdz) || fail "a run on 3 threads packs $f otherwise"
    done

    # -v names what was done; -q keeps test quiet; neither writes a progress
    # line when stderr is not a terminal.
    "$tdz" pack -v -f abc.txt 2>stderr.txt && grep -q "'abc.txt' -> 'abc.txt.tdz': 12 -> 73 bytes" stderr.txt ||
        fail "pack -v: $(cat stderr.txt)"
    "$tdz" test -q abc.txt.tdz >stdout.txt 2>stderr.txt && [ ! -s stdout.txt ] && [ ! -s stderr.txt ] ||
        fail "test -q printed something"
    "$tdz" pack -f lines.txt 2>stderr.txt && [ ! -s stderr.txt ] || fail "pack wrote to stderr: $(cat stderr.txt)"

    # -r: a tree packed and restored in place; .tdz files, links and a FIFO
    # inside it passed over, without waiting on the FIFO.
    mkdir -p tree/sub/deeper && cp lines.txt tree/ && cp abc.txt tree/sub/ && cp abc.txt "tree/sub/deeper/a b"
    cp one.tdz tree/sub/already.tdz && ln -s ../lines.txt tree/sub/link && mkfifo tree/pipe
    cp -a tree tree.orig
    timeout 20 "$tdz" pack -r --replace tree || fail "pack -r exited non-zero"
    [ "$(find tree -name '*.tdz' | wc -l)" -eq 4 ] && [ ! -e tree/lines.txt ] && [ -p tree/pipe ] &&
        [ -L tree/sub/link ] && [ ! -e tree/sub/already.tdz.tdz ] || fail "pack -r: $(find tree | sort)"
    rm tree/sub/already.tdz
    timeout 20 "$tdz" unpack -r --replace tree/ || fail "unpack -r exited non-zero"
    rm tree.orig/sub/already.tdz
    [ -p tree/pipe ] && rm tree/pipe tree.orig/pipe || fail "-r changed the FIFO"
    diff -r --no-dereference tree tree.orig >/dev/null 2>&1 || fail "-r round trip: $(diff -r --no-dereference tree tree.orig 2>&1)"
    pass "-r round trip of a tree"

    # A named pipe for encode: read as the standard input would be, and
    # without a writer it is empty rather than a wait.
    mkfifo feed
    expect_failure "encode from a FIFO without a writer" 1 "empty input" timeout 10 "$tdz" encode feed out.relc
    (cat abc.txt >feed &) && timeout 10 "$tdz" encode feed fed.relc && "$tdz" decode fed.relc fed.txt &&
        cmp -s fed.txt abc.txt || fail "encode from a FIFO with a writer"
    expect_failure "encode from a device" 1 "is not a regular file or a pipe" timeout 10 "$tdz" encode /dev/zero out.relc
}

# One row per container and a total row; --json parses and keeps the
# names, whatever bytes they hold.
run_list() {
    printf 'abcabcabcabc' >abc.txt
    touch -d '2010-02-14 00:00:00 UTC' abc.txt
    for i in $(seq 1 2000); do echo "line $i"; done >lines.txt
    "$tdz" pack abc.txt lines.txt || fail "pack exited non-zero"
    local odd
    odd=$(printf 'odd "q" \\ \t\001\377 \xc3\xa9.txt')
    cp abc.txt "$odd" && "$tdz" pack "$odd" || fail "pack of an odd name"
    "$tdz" list abc.txt.tdz lines.txt.tdz >table.txt || fail "list exited non-zero"
    local total=$((73 + $(wc -c <lines.txt.tdz)))
    [ "$(wc -l <table.txt)" -eq 4 ] &&
        grep -Eq "^ +12 +73 +6\.083 A +[-0-9]+ [:0-9]+ UTC +2010-02-14 00:00:00 UTC +abc.txt$" table.txt &&
        grep -Eq "^ +$((12 + $(wc -c <lines.txt))) +$total .*\(total, 2 containers\)$" table.txt ||
        fail "list table: $(cat table.txt)"

    "$tdz" list --json abc.txt.tdz "$odd.tdz" lines.txt.tdz >list.json || fail "list --json exited non-zero"
    python3 - list.json <<'PY' || fail "list --json: $(cat list.json)"
import json, sys
rows = json.load(open(sys.argv[1], encoding="utf-8"))
assert [r["name"] for r in rows] == ["abc.txt", 'odd "q" \\ \t\x01\ufffd \u00e9.txt', "lines.txt"], rows
a = rows[0]
assert (a["original_size"], a["container_size"], a["ratio"], a["attributes"]) == (12, 73, 6.083, 32), a
assert a["attribute_names"] == ["archive"] and a["last_written"] == "2010-02-14T00:00:00Z", a
assert rows[1]["container"].endswith(".txt.tdz")
PY
    "$tdz" list --json >/dev/null 2>&1
    pass "list --json"

    # Failures are named and the rest still listed; a FIFO is not waited on.
    mkfifo fifo.tdz
    printf 'not a container at all, but long enough to hold a header of 56 bytes' >junk.tdz
    timeout 10 "$tdz" list --json fifo.tdz junk.tdz abc.txt.tdz >list.json 2>stderr.txt
    local rc=$?
    [ "$rc" -eq 1 ] && grep -q "'fifo.tdz' is not a regular file" stderr.txt &&
        grep -q "'junk.tdz': not a container" stderr.txt && python3 -m json.tool list.json >/dev/null &&
        grep -q '"abc.txt"' list.json || fail "list of bad files: status $rc, $(cat stderr.txt) $(cat list.json)"
    pass "list refuses what is not a container"
}

# cmake --install (what make install runs) into a DESTDIR: the tool and its
# manual page, which says what --help says.
run_install() {
    DESTDIR="$work/stage" cmake --install "$build" --prefix /usr/local --component tdz >/dev/null ||
        fail "cmake --install exited non-zero"
    local bin=stage/usr/local/bin/tdz page=stage/usr/local/share/man/man1/tdz.1
    "$bin" --version | grep -q "^tdz " || fail "the installed tdz does not run"
    [ -s "$page" ] || fail "no manual page at $page"
    if command -v groff >/dev/null; then
        # One long line per paragraph: nothing hyphenated or wrapped.
        groff -man -Tascii -rLL=4000n -ww "$page" 2>stderr.txt | col -b >page.txt
        [ -s stderr.txt ] && fail "groff warns: $(cat stderr.txt)"
        local line
        # Every option's text of --help appears in the page (words rewrapped).
        "$bin" --help | sed -n 's/^  -.*  \([a-z].*\)$/\1/p' | while read -r line; do
            tr -s ' \n' ' ' <page.txt | grep -qF -- "$line" || echo "missing: $line"
        done >missing.txt
        [ -s missing.txt ] && fail "the manual page lacks --help's text: $(cat missing.txt)"
    fi
    pass "install puts bin/tdz and share/man/man1/tdz.1"
}

case "$group" in
usage) run_usage ;;
options) run_options ;;
list) run_list ;;
install) run_install ;;
special) run_special_files ;;
longnames) run_long_names ;;
interrupted) run_interrupted_replace ;;
roundtrip) run_roundtrip ;;
tempnames) run_temporary_names ;;
errors) run_errors ;;
containers) run_containers ;;
*) echo "unknown group '$group'"; exit 2 ;;
esac

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
