#!/bin/bash
# take-screenshots.sh BUILD_DIR OUT_DIR
# Pictures of every dialog of both programs in English, German, Japanese and
# Arabic, as PNG files OUT_DIR/LANG/NAME.png. Needs an X display (run under
# tools/with-xvfb.sh) and the 64-bit tree built.
set -euo pipefail

build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
wine_run=("$root/tools/wine-run.sh" --prefix "$build/wineprefix")

"${wine_run[@]}" regedit /S "Z:$root/tests/ui/unmanaged-windows.reg"

# Wine's own Tahoma, the dialog and window-frame font, has neither Japanese
# nor Arabic letters, and Wine does not fall back to another font for window
# captions and message boxes. For those two languages the pictures use a
# Debian font that has them, as a Windows of that language would use its own
# UI font (tools/install-deps.sh installs them).
replacements='HKCU\Software\Wine\Fonts\Replacements'
use_font() {
  local font=$1 face
  for face in Tahoma "MS Shell Dlg"; do
    if [ -n "$font" ]; then
      "${wine_run[@]}" reg add "$replacements" /v "$face" /d "$font" /f >/dev/null
    else
      "${wine_run[@]}" reg delete "$replacements" /v "$face" /f >/dev/null 2>&1 || true
    fi
  done
}
trap 'use_font ""' EXIT

# Wine takes the interface language from LC_ALL, also where the host has no
# such locale.
for pair in en:en_US.UTF-8 de:de_DE.UTF-8 ja:ja_JP.UTF-8 ar:ar_SA.UTF-8; do
  lang=${pair%%:*}
  case $lang in
    ja) use_font IPAPGothic ;;
    ar) use_font "DejaVu Sans" ;;
    *) use_font "" ;;
  esac
  mkdir -p "$out/$lang"
  rm -f "$out/$lang"/*.bmp
  for gallery in dialog_gallery decompression_gallery; do
    LC_ALL=${pair#*:} "${wine_run[@]}" "$build/tests/decompression/$gallery.exe" "Z:$out/$lang"
  done
  for bmp in "$out/$lang"/*.bmp; do
    convert "$bmp" "${bmp%.bmp}.png"
    rm -f "$bmp"
  done
done
echo "screenshots: $(ls "$out"/*/*.png | wc -l) pictures in $out"
