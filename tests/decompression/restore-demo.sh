#!/bin/bash
# restore-demo.sh TDZ WIN64_BUILD_DIR CORPUS OUT_DIR
# The main job's Windows half: every corpus file is packed into a .tdz
# container by the native tool, then restored by Decompression.exe under
# Wine (64-bit twin; 32-bit programs cannot run here) and compared byte for
# byte with the original. Needs an X display (tools/with-xvfb.sh).
set -euo pipefail

tdz=$1
build=$(cd "$2" && pwd)
corpus=$3
mkdir -p "$4"
out=$(cd "$4" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
exe="$build/src/decompression/Decompression.exe"
wine_run=("$root/tools/wine-run.sh" --prefix "$build/wineprefix")

"${wine_run[@]}" regedit /S "Z:$root/tests/ui/unmanaged-windows.reg"
count=0
for f in "$corpus"/*; do
  [ -f "$f" ] || continue
  n=$(basename "$f")
  rm -f "$out/$n" "$out/$n.tdz"
  cp "$f" "$out/$n"
  "$tdz" pack "$out/$n" >/dev/null
  rm -f "$out/$n"
  start=$(date +%s%N)
  "${wine_run[@]}" "$exe" "Z:$out/$n.tdz"
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  if ! cmp -s "$f" "$out/$n"; then
    echo "restore-demo: Decompression.exe did not restore $n identically" >&2
    exit 1
  fi
  if [ -e "$out/$n.tdz" ]; then
    echo "restore-demo: $n.tdz is still there after its restore" >&2
    exit 1
  fi
  printf '%-20s restored by Decompression.exe in %5d ms\n' "$n" "$ms"
  count=$((count + 1))
done
echo "Decompression.exe restored $count containers made by tdz pack, all identical"
