#!/bin/bash
# about_screenshots.sh BUILD_DIR OUT_DIR
# The about box in English and Arabic as OUT_DIR/about_box_LANG.png. Needs an
# X display (tools/with-xvfb.sh) and the 64-bit tree's about_gallery built.
set -euo pipefail

build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
wine_run=("$root/tools/wine-run.sh" --prefix "$build/wineprefix")
"${wine_run[@]}" regedit /S "Z:$root/tests/ui/unmanaged-windows.reg"

# Wine's Tahoma has no Arabic letters; a Windows in Arabic uses a UI font
# that has them.
replacements='HKCU\Software\Wine\Fonts\Replacements'
use_font() {
  local face
  for face in Tahoma "MS Shell Dlg"; do
    if [ -n "$1" ]; then
      "${wine_run[@]}" reg add "$replacements" /v "$face" /d "$1" /f >/dev/null
    else
      "${wine_run[@]}" reg delete "$replacements" /v "$face" /f >/dev/null 2>&1 || true
    fi
  done
}
trap 'use_font ""' EXIT

for pair in en:en_US.UTF-8 ar:ar_SA.UTF-8; do
  lang=${pair%%:*}
  if [ "$lang" = ar ]; then use_font "DejaVu Sans"; else use_font ""; fi
  LC_ALL=${pair#*:} "${wine_run[@]}" "$build/tests/app/about_gallery.exe" "Z:$out"
  convert "$out/about_box.bmp" "$out/about_box_$lang.png"
  rm -f "$out/about_box.bmp"
done
echo "about box: $out/about_box_en.png $out/about_box_ar.png"
