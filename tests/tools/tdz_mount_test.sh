#!/usr/bin/env bash
# tdz mount through a real FUSE mount: what a reader of the mount sees.
#   tdz_mount_test.sh TDZ CORPUS_DIR WORK_DIR listing|reading|damage|lifetime|writing
# Exits 77 (skipped) where /dev/fuse is missing or mounting is not allowed.
set -u

tdz=$1
corpus=$2
work=$3
group=$4
here=$(cd "$(dirname "$0")" && pwd)
check="python3 $here/mount_read_check.py"
t="timeout 60"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
# expect NAME CMD...: CMD succeeds.
expect() { local name=$1; shift; if "$@"; then pass "$name"; else fail "$name"; fi; }
# refuse NAME CMD...: CMD fails, within the time limit.
refuse() {
    local name=$1; shift
    "$@" >/dev/null 2>&1
    local rc=$?
    if [ $rc -eq 0 ] || [ $rc -eq 124 ]; then fail "$name (status $rc)"; else pass "$name"; fi
}

if [ ! -c /dev/fuse ] || ! command -v fusermount3 >/dev/null; then
    echo "SKIP: /dev/fuse or fusermount3 missing"
    exit 77
fi
rm -rf "$work"
mkdir -p "$work" && cd "$work" || exit 1
mkdir orig src mp
unmount() { $t "$tdz" umount mp 2>/dev/null || fusermount3 -uz mp 2>/dev/null; true; }
trap unmount EXIT
mountit() { $t "$tdz" mount "$@" src mp 2>>mount.err; }
if ! mountit; then
    echo "SKIP: mounting is not allowed here: $(cat mount.err)"
    exit 77
fi
unmount

# Generated files around the block boundaries (32768, then every 24576) and
# the segment boundary of 16 blocks (401408); text-like and random parts.
python3 - <<'PY'
import random
rng = random.Random(14)
words = [bytes(rng.choice(b'abcdefghij ') for _ in range(rng.randrange(2, 9))) for _ in range(300)]
def text(n):
    out = bytearray()
    while len(out) < n:
        out += rng.choice(words) + b' '
    return bytes(out[:n])
sizes = [1, 32767, 32768, 32769, 57344, 57345, 401408, 401409, 32768 + 24576 * 40]
for n in sizes:
    open(f'orig/gen{n}.txt', 'wb').write(text(n))
mixed = b''.join(text(70000) + rng.randbytes(50000) for _ in range(30))
open('orig/mixed.bin', 'wb').write(mixed)
PY
for f in "$corpus"/*; do [ -f "$f" ] && [ -s "$f" ] && cp "$f" orig/; done
touch -d "2010-02-14 00:00:00 UTC" orig/gen57344.txt
chmod a-w orig/gen1.txt
mkdir src/sub
cp -p orig/* src/ && cp -p orig/gen32769.txt src/sub/
( cd src && "$tdz" pack --replace $(find . -type f) ) || fail "tdz pack"
files=$(cd orig && ls)

case $group in
listing)
    echo "plain" >src/plain.txt
    echo "not a container at all, only named like one" >src/fake.tdz
    echo "real" >src/clash.txt && cp src/gen1.txt.tdz src/clash.txt.tdz
    ln -s /etc src/out && ln -s gen1.txt.tdz src/in
    before=$(cd src && find . -printf '%p %s %T@ %m\n' | sort; cat sub/* ./*.tdz | md5sum)
    mountit -o ro || exit 1
    for f in $files; do
        [ "$(stat -c %s "mp/$f")" = "$(stat -c %s "orig/$f")" ] &&
            [ "$(stat -c %Y "mp/$f")" = "$(stat -c %Y "orig/$f")" ] || fail "size and time of $f"
    done
    pass "sizes and times of $(echo "$files" | wc -l) files"
    expect "a stored date" [ "$(date -u -r mp/gen57344.txt '+%F %T')" = "2010-02-14 00:00:00" ]
    expect "read-only attribute as permissions" [ "$(stat -c %A mp/gen1.txt)" = "-r--r--r--" ]
    expect "no good container under its .tdz name" [ -z "$(ls mp mp/sub | grep -v '^fake.tdz$\|^clash.txt.tdz$' | grep '\.tdz$')" ]
    expect "a real file beside its container keeps the name" [ "$(cat mp/clash.txt)" = "real" ]
    expect "and the container stays visible" cmp -s mp/clash.txt.tdz src/clash.txt.tdz
    expect "other files as they are" [ "$(cat mp/plain.txt)" = "plain" ]
    expect "a file named like a container as itself" cmp -s mp/fake.tdz src/fake.tdz
    expect "and named on stderr, once" [ "$(grep -c "fake.tdz': not a container" mount.err)" = 1 ]
    expect "links shown as links with their text" [ "$(readlink mp/out)/$(readlink mp/in)" = "/etc/gen1.txt.tdz" ]
    refuse "no file made through the mount" touch mp/new
    refuse "no file changed through the mount" sh -c 'echo x >>mp/plain.txt'
    refuse "no file deleted through the mount" rm -f mp/plain.txt
    after=$(cd src && find . -printf '%p %s %T@ %m\n' | sort; cat sub/* ./*.tdz | md5sum)
    expect "the source unchanged" [ "$before" = "$after" ]
    ;;
reading)
    mountit -o ro,cache=4 || exit 1
    # The end of the largest file first: its whole stream decoded once, cold.
    expect "cold read at the end" $check 1 0 mp/mixed.bin orig/mixed.bin $(( $(stat -c %s orig/mixed.bin) - 4096 ))
    for f in $files; do cmp -s "mp/$f" "orig/$f" || fail "cmp $f"; done
    expect "cmp sub/gen32769.txt" cmp -s mp/sub/gen32769.txt orig/gen32769.txt
    pass "cmp of $(echo "$files" | wc -l) files"
    for f in $files; do
        $t $check 7 60 "mp/$f" "orig/$f" 32767 32768 57343 57344 401407 401408 || fail "random reads of $f"
    done
    pass "random reads at boundaries and anywhere"
    # Two readers of one file at once, and a third of another, through a
    # cache too small for all of them.
    $t $check 2 400 mp/mixed.bin orig/mixed.bin & a=$!
    $t cmp -s mp/mixed.bin orig/mixed.bin & b=$!
    $t $check 3 400 mp/gen1015808.txt orig/gen1015808.txt & c=$!
    wait $a && wait $b && wait $c && pass "three readers at once" || fail "three readers at once"
    ;;
damage)
    cp src/mixed.bin.tdz src/sum.bin.tdz
    size=$(stat -c %s src/sum.bin.tdz)
    printf '\001\002\003\004' | dd of=src/sum.bin.tdz bs=1 seek=$((size - 4)) conv=notrunc 2>/dev/null
    cp src/mixed.bin.tdz src/flip.bin.tdz
    printf '\377\377\377' | dd of=src/flip.bin.tdz bs=1 seek=300000 conv=notrunc 2>/dev/null
    head -c $((size - 1000)) src/mixed.bin.tdz >src/cut.bin.tdz
    head -c 100 src/mixed.bin.tdz >src/short.bin.tdz
    mountit -o ro || exit 1
    expect "a good copy reads" cmp -s mp/mixed.bin orig/mixed.bin
    refuse "wrong checksum: reading to the end fails" cat mp/sum.bin
    refuse "wrong checksum: later reads fail too" dd if=mp/sum.bin of=/dev/null bs=4096 count=1
    expect "wrong checksum: named on stderr once" [ "$(grep -c "sum.bin.tdz': damaged container: checksum" mount.err)" = 1 ]
    refuse "damaged stream: reading fails" cat mp/flip.bin
    expect "damaged stream: named on stderr" grep -q "flip.bin.tdz': damaged container" mount.err
    refuse "cut stream: opening fails" cat mp/cut.bin
    expect "cut stream: named on stderr" grep -q "cut.bin.tdz': damaged container" mount.err
    expect "too short for its size: shown as itself" cmp -s mp/short.bin.tdz src/short.bin.tdz
    expect "too short for its size: named on stderr" grep -q "short.bin.tdz': damaged container: a stream of" mount.err
    ;;
lifetime)
    mkdir src/mp
    refuse "a mount point inside the source" $t "$tdz" mount src src/mp
    mountit || exit 1
    exec 3<mp/mixed.bin
    refuse "no unmount while a file is open" $t "$tdz" umount mp
    expect "the open file still reads" bash -c 'head -c 1000000 <&3 | cmp -s - <(head -c 1000000 orig/mixed.bin)'
    exec 3<&-
    expect "unmount once it is closed" $t "$tdz" umount mp
    mountit || exit 1
    exec 3<mp/gen1015808.txt
    rm -rf src
    refuse "a source that is gone: nothing to open" $t cat mp/gen401408.txt
    $t ls mp >/dev/null 2>&1; [ $? -ne 124 ] && pass "a source that is gone: listing ends" || fail "listing hangs"
    expect "the daemon still answers" $t test -d mp
    exec 3<&-
    expect "and unmounts" $t "$tdz" umount mp
    ;;
writing)
    echo "real" >src/clash.txt && cp src/gen1.txt.tdz src/clash.txt.tdz
    echo "plain" >src/plain.txt
    mountit || exit 1
    # stored KIND NAME EXPECTED: what the source holds for NAME afterwards.
    stored() {
        if [ "$1" = container ]; then
            [ ! -e "src/$2" ] && $t "$tdz" unpack -c "src/$2.tdz" 2>/dev/null | cmp -s - "$3"
        else
            [ ! -e "src/$2.tdz" ] && cmp -s "src/$2" "$3"
        fi
    }
    cp orig/mixed.bin mp/new.bin
    expect "a new file is stored as a container" stored container new.bin orig/mixed.bin
    expect "and reads back" cmp -s mp/new.bin orig/mixed.bin
    { cat orig/gen32769.txt; echo tail; } >expected && echo tail >>mp/gen32769.txt
    expect "an appended container" stored container gen32769.txt expected
    cp orig/gen401409.txt expected
    printf 'XYZ' | dd of=expected bs=1 seek=401407 conv=notrunc 2>/dev/null
    printf 'XYZ' | dd of=mp/gen401409.txt bs=1 seek=401407 conv=notrunc 2>/dev/null
    expect "bytes changed across a segment boundary" stored container gen401409.txt expected
    head -c 1000 orig/gen57345.txt >expected && truncate -s 1000 mp/gen57345.txt
    expect "a truncated container" stored container gen57345.txt expected
    : >mp/gen32767.txt && : >expected
    expect "an emptied file is a plain empty file" stored plain gen32767.txt expected
    echo changed >mp/plain.txt && echo changed >expected
    expect "a changed plain file becomes a container" stored container plain.txt expected
    echo changed >mp/clash.txt
    expect "beside a container of its name it stays plain" cmp -s src/clash.txt expected
    expect "and the container is left alone" cmp -s src/clash.txt.tdz src/gen1.txt.tdz
    mkdir mp/d && mv mp/new.bin mp/d/moved.bin
    expect "a container renamed" stored container d/moved.bin orig/mixed.bin
    cp -p orig/gen57344.txt mp/d/kept.txt
    expect "cp -p keeps the time" [ "$(date -u -r mp/d/kept.txt '+%F %T')" = "2010-02-14 00:00:00" ]
    chmod a-w mp/gen32768.txt
    expect "chmod sets the read-only attribute" [ "$(stat -c %A mp/gen32768.txt)" = "-r--r--r--" ]
    rm mp/d/moved.bin mp/d/kept.txt && rmdir mp/d
    expect "deleted through the mount" [ ! -e src/d ]
    expect "no temporary file left" [ -z "$(find src -name '.*.tmp')" ]
    unmount
    expect "every other file as it was" bash -c 'for f in gen1.txt gen32768.txt mixed.bin; do
        "$0" unpack -c "src/$f.tdz" | cmp -s - "orig/$f" || exit 1; done' "$tdz"
    # A daemon killed while it stores a file leaves the earlier container or
    # the complete new one, whenever the kill lands.
    "$tdz" mount -o fg src mp 2>>mount.err & daemon=$!
    for _ in $(seq 100); do mountpoint -q mp && break; sleep 0.1; done
    cp orig/mixed.bin mp/gen1015808.txt & copier=$!
    sleep 0.3; kill -9 $daemon; wait $copier $daemon 2>/dev/null
    fusermount3 -uz mp
    $t "$tdz" unpack -c src/gen1015808.txt.tdz >restored 2>/dev/null
    expect "killed while storing: the old or the new container" \
        bash -c 'cmp -s restored orig/gen1015808.txt || cmp -s restored orig/mixed.bin'
    ;;
esac
echo "$failures failure(s)"
[ "$failures" -eq 0 ]
