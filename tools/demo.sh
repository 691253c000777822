#!/bin/sh
# The demo: makes our sample font, shows its names, renames a copy with
# Velnari as a user would (the Enter key answered), and shows the names again.
set -eu
: "${VELNARI:?}" "${MAKE_SAMPLE_FONT:?}" "${FONT_NAMES:?}" "${DEMO_DIR:?}"

show_names() {
    if command -v fc-query >/dev/null 2>&1; then
        fc-query --format='  family: %{family}\n  familylang: %{familylang}\n  fullname: %{fullname}\n  postscriptname: %{postscriptname}\n' "$1"
    else
        "$FONT_NAMES" "$1" | sed 's/^/  /'
    fi
}

mkdir -p "$DEMO_DIR"
font="$DEMO_DIR/KanovelR11-Bold.ttf"
"$MAKE_SAMPLE_FONT" "$font"
touch -d '2001-02-03 04:05:06.123456789' "$font"

echo "== Velnari: $font, before"
show_names "$font"
ls -l --time-style=full-iso "$font" | sed 's/^/  /'
echo
echo "== Velnari $font   (Enter is pressed for you; its CP932 output shown through iconv)"
echo | "$VELNARI" "$font" | iconv -f CP932 -t UTF-8
echo
echo "== after"
show_names "$font"
ls -l --time-style=full-iso "$font" | sed 's/^/  /'
