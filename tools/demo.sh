#!/bin/sh
# The demo: makes our sample fonts, shows their names, renames a copy of each
# with Velnari and VelnariL as a user would (Enter is pressed for them), and
# shows the names again, as a font parser reads them.
set -eu
: "${VELNARI:?}" "${VELNARIL:?}" "${MAKE_SAMPLE_FONT:?}" "${MAKE_LSERIES_FONTS:?}"
: "${FONT_NAMES:?}" "${DEMO_DIR:?}"

# FreeType (through fontconfig) where installed, else our own name lister.
show_names() {
    if command -v fc-query >/dev/null 2>&1; then
        fc-query --format='  family: %{family}\n  familylang: %{familylang}\n  fullname: %{fullname}\n  postscriptname: %{postscriptname}\n' "$1"
    else
        "$FONT_NAMES" "$1" | sed 's/^/  /'
    fi
}

# The Japanese records, Macintosh (CP932) and Windows (UTF-16BE): fontTools'
# ttx where installed, else our own name lister.
show_japanese_names() {
    if command -v ttx >/dev/null 2>&1; then
        ttx -q -t name -o - "$1" | tr -d '\n' | sed 's/<namerecord/\n&/g' |
            grep -E 'platformID="1"|langID="0x411"' |
            sed -E 's/.*nameID="([0-9]+)" platformID="([0-9]+)"[^>]*>[[:space:]]*([^<]*[^[:space:]<])[[:space:]]*<.*/  platform \2, name \1: \3/'
    else
        "$FONT_NAMES" "$1" | grep -E '^1 |^3 1 1041 ' | sed 's/^/  /'
    fi
}

times_of() {
    ls -l --time-style=full-iso "$1" | sed 's/^/  /'
}

rename_as_user() {
    echo "== $(basename "$1") $2   (Enter pressed; its CP932 output shown through iconv)"
    echo | "$1" "$2" | iconv -f CP932 -t UTF-8
    echo
}

rm -rf "$DEMO_DIR"
mkdir -p "$DEMO_DIR/lseries"

font="$DEMO_DIR/KanovelR11-Bold.ttf"
"$MAKE_SAMPLE_FONT" "$font"
touch -d '2001-02-03 04:05:06.123456789' "$font"
echo "== Velnari's sample font, before"
show_names "$font"
times_of "$font"
echo
rename_as_user "$VELNARI" "$font"
echo "== after"
show_names "$font"
times_of "$font"
echo

"$MAKE_LSERIES_FONTS" "$DEMO_DIR/lseries"
font="$DEMO_DIR/lseries/KanovelSL86-Bold.ttf"
touch -d '1999-12-31 23:59:59.987654321' "$font"
echo "== VelnariL's sample KanovelSL86 Bold, Japanese names before"
show_japanese_names "$font"
times_of "$font"
echo
rename_as_user "$VELNARIL" "$font"
echo "== after"
show_japanese_names "$font"
times_of "$font"
echo
rename_as_user "$VELNARIL" "$font"
