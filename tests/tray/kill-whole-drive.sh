#!/bin/bash
# Kills the tray program at random moments of a whole-drive compression and
# checks that nothing is lost: every file is afterwards itself or a complete
# container, and a final uninterrupted run finishes the work.
#
#   kill-whole-drive.sh WIN64_TREE TDZ DRIVE_DIR DRIVE_LETTER TRIALS [MAX_MB]
#
# DRIVE_DIR is the host folder mapped as the removable Wine drive
# DRIVE_LETTER ("R:"); the drive is emptied. Files of 1 KB up to MAX_MB
# (default 100) are written, their originals kept aside for comparison.
# Prints, per trial and in total: files seen as themselves, as complete
# containers, and partial hidden temporary files left on the drive.
set -u
tree=$1
tdz=$2
dir=$3
letter=$4
trials=$5
max_mb=${6:-100}
repo=$(cd "$(dirname "$0")/../.." && pwd)
run="$repo/tools/wine-run.sh --prefix $tree/wineprefix"
driver="$tree/tests/tray/tray_driver.exe"
keep=$(mktemp -d)
trap 'rm -rf "$keep"' EXIT
if [ ! -s "$driver" ]; then
  echo "kill-whole-drive.sh: $driver is missing or empty" >&2
  exit 2
fi
prefix=$(cd "$tree/wineprefix" && pwd)

# The Windows processes of the driver in this tree's prefix only (a plain
# pattern would also hit a linker writing the driver, or another tree's).
kill_driver() {
  local proc pid
  for proc in /proc/[0-9]*; do
    tr '\0' '\n' 2>/dev/null <"$proc/cmdline" | head -1 | grep -q 'tray_driver\.exe$' || continue
    tr '\0' '\n' 2>/dev/null <"$proc/environ" | grep -qx "WINEPREFIX=$prefix" || continue
    pid=${proc#/proc/}
    kill -9 "$pid" 2>/dev/null
  done
}

sizes_kb=(1 10 100 1024 5120)
for mb in 20 50 100; do [ "$mb" -le "$max_mb" ] && sizes_kb+=($((mb * 1024))); done
rm -rf "${dir:?}"/* "$dir"/.[!.]* 2>/dev/null
i=0
for kb in "${sizes_kb[@]}"; do
  # Text that compresses to about three quarters, slowly enough that the
  # kills land inside the batch; different in every file.
  head -c $((kb * 768)) /dev/urandom | base64 -w 76 | head -c $((kb * 1024)) >"$keep/f$i.txt"
  cp "$keep/f$i.txt" "$dir/f$i.txt"
  i=$((i + 1))
done
count=$i

lost=0
partial_total=0
not_started=0
check() {
  local n bad=0
  for ((n = 0; n < count; n++)); do
    local f="$dir/f$n.txt"
    if [ -f "$f" ] && cmp -s "$f" "$keep/f$n.txt"; then
      continue
    elif [ -f "$f.tdz" ] && "$tdz" test "$f.tdz" >/dev/null 2>&1; then
      continue
    else
      echo "LOST: f$n.txt (file: $( [ -f "$f" ] && echo present || echo missing ), container: $( [ -f "$f.tdz" ] && echo present || echo missing ))"
      bad=$((bad + 1))
    fi
  done
  return $bad
}

for ((t = 1; t <= trials; t++)); do
  # Every kill lands in a batch with work to do: what the last runs
  # compressed is put back as it was (temporary files they left stay).
  for ((n = 0; n < count; n++)); do
    if [ ! -f "$dir/f$n.txt" ] && [ -f "$dir/f$n.txt.tdz" ] && [ $((t % 5)) -ne 0 ]; then
      cp "$keep/f$n.txt" "$dir/f$n.txt" && rm -f "$dir/f$n.txt.tdz"
    fi
  done
  delay_ms=$((500 + (RANDOM * 32768 + RANDOM) % 10000))
  $run "$driver" --drive "$letter" --auto-off --compress-drive >"$keep/log" 2>&1 &
  pid=$!
  sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
  # The Windows process itself, not only the wine-run wrapper.
  kill_driver
  wait $pid 2>/dev/null
  if ! grep -q "batch started" "$keep/log"; then
    echo "trial $t: the batch had not started after ${delay_ms} ms"
    not_started=$((not_started + 1))
  fi
  check
  bad=$?
  lost=$((lost + bad))
  partial=$(find "$dir" -maxdepth 1 -name '*.tmp' | wc -l)
  partial_total=$partial
  itself=$(for ((n = 0; n < count; n++)); do [ -f "$dir/f$n.txt" ] && echo x; done | wc -l)
  echo "trial $t: killed after ${delay_ms} ms; files as themselves $itself, containers $((count - itself)), temporary files on the drive $partial, lost $bad"
done

# A run to the end finishes the work (every fifth trial left the previous
# state as it was, so restarts on a half-done drive are among the kills).
$run "$driver" --drive "$letter" --auto-off --compress-drive --exit-after-batch 2>&1 | tail -1
finished=0
for ((n = 0; n < count; n++)); do
  # Files of at most 2 KB are passed over by design: they stay as they are.
  if [ "$(stat -c %s "$keep/f$n.txt")" -le 2048 ] && cmp -s "$dir/f$n.txt" "$keep/f$n.txt"; then
    finished=$((finished + 1))
  elif [ -f "$dir/f$n.txt.tdz" ] && [ ! -f "$dir/f$n.txt" ] && "$tdz" unpack "$dir/f$n.txt.tdz" >/dev/null 2>&1 &&
     cmp -s "$dir/f$n.txt" "$keep/f$n.txt"; then
    finished=$((finished + 1))
  fi
done
echo "total: $trials kills ($not_started before the batch started), $lost files lost, $partial_total temporary files left on the drive after the last kill, $finished of $count files compressed by the final run and restored identically (or, at most 2 KB, left as it is)"
[ "$lost" -eq 0 ] && [ "$finished" -eq "$count" ]
