#!/bin/bash
# startup_shield_screenshots.sh BUILD_DIR OUT_DIR
# The shield dialog in English and Arabic as OUT_DIR/shield_dialog_LANG.png.
# Needs an X display (tools/with-xvfb.sh) and the 64-bit tree's
# startup_shield_gallery built.
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
  LC_ALL=${pair#*:} "${wine_run[@]}" "$build/tests/tray/startup_shield_gallery.exe" "Z:$out"
  convert "$out/shield_dialog.bmp" "$out/shield_dialog_$lang.png"
  rm -f "$out/shield_dialog.bmp"
done
echo "shield dialog: $out/shield_dialog_en.png $out/shield_dialog_ar.png"
