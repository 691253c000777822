#!/bin/sh
# The demo, as a short story: our own sample fonts are renamed by Velnari and
# VelnariL as a user would rename them (Enter is pressed for them), and each
# step says what happens and what to look for.
set -eu
: "${VELNARI:?}" "${VELNARIL:?}" "${MAKE_SAMPLE_FONT:?}" "${MAKE_LSERIES_FONTS:?}"
: "${FONT_NAMES:?}" "${DEMO_DIR:?}"

step() {
    echo
    echo "== $*"
}

# The programs speak Japanese in CP932; shown here in UTF-8, each line with
# its English beside it.
run_as_user() {
    echo | "$@" | iconv -f CP932 -t UTF-8 | awk '
        /フォント名変更ツール/ { print "  " $0 "    (Kanovel font renaming tool)"; next }
        /全角の名前に書き換えます/ { print "  " $0 "    (rewrites the names in a font into full-width ones)"; next }
        /^対象フォントファイル/ { print "  " $0 "    (the font file being worked on)"; next }
        /処理を終了しました/ { print "  " $0 "    (done)"; next }
        /不正か、既に/ { print "  " $0 "    (not a font it knows, or already renamed: left alone)"; next }
        /元のラテン文字の名前に戻します/ { print "  " $0 "    (puts the Latin names back)"; next }
        / → / { print "  " $0 "    (a name: old and new)"; next }
        /確認だけのため/ { print "  " $0 "    (only a check: nothing was written)"; next }
        /キーを押してください/ { print "  " $0 "    (press Enter: pressed for you)"; next }
        { print "  " $0 }'
}

# The names the font stores, before and after, side by side.
names_side_by_side() {
    printf '  %-40s %-26s %s\n' "name" "before" "after"
    "$FONT_NAMES" "$2" | awk -F '\t' -v before="$1" '
        BEGIN { while ((getline line < before) > 0) { split(line, f, "\t"); old[f[1]] = f[2] } }
        $1 !~ /style|notice|version|designer/ {
            note = old[$1] == $2 ? "(unchanged)" : ""
            printf "  %-40s %-26s %s %s\n", $1, old[$1], $2, note }'
}

times_of() {
    stat -c '%x / %y' "$1"  # last access / last modification, to the nanosecond
}

compare_times() {
    echo "  before: $1  (access / modification)"
    echo "  after:  $2"
    if [ "$1" = "$2" ]; then
        echo "  => the file's times are unchanged."
    else
        echo "  => the file's times CHANGED: this is a fault." >&2
        exit 1
    fi
}

rm -rf "$DEMO_DIR"
mkdir -p "$DEMO_DIR/lseries"

font="$DEMO_DIR/KanovelR11-Bold.ttf"
step "1. Velnari: we make a sample font named \"KanovelR11 Bold\" and date it 2001-02-03."
"$MAKE_SAMPLE_FONT" "$font"
"$FONT_NAMES" "$font" >"$DEMO_DIR/velnari-before.txt"
echo "  $(basename "$font"): $(wc -c <"$font") bytes"
cp "$font" "$DEMO_DIR/made.ttf"
touch -d '2001-02-03 04:05:06.123456789' "$font"
before=$(times_of "$font")

step "2. A preview first (Velnari -n): the names a rename would change, and not a byte written."
run_as_user "$VELNARI" -n "$font"
compare_times "$before" "$(times_of "$font")"
cmp -s "$font" "$DEMO_DIR/made.ttf" && echo "  => not a byte of the file changed."
touch -d '2001-02-03 04:05:06.123456789' "$font"  # cmp's read moved the access time

step "3. Velnari renames it, as when a user drops the font on it: it greets, names the file, says it is done."
run_as_user "$VELNARI" "$font"

step "4. The file's times: Velnari puts them back after the edit, so they must be as before."
compare_times "$before" "$(times_of "$font")"

step "5. The names before and after. Look for: the Japanese names became full-width; the English ones stay Latin on purpose."
names_side_by_side "$DEMO_DIR/velnari-before.txt" "$font"
echo "  FreeType (through fontconfig's fc-query) now reads the families as:"
fc-query --format='    %{family}\n' "$font" 2>/dev/null || echo "    (fc-query is not installed: Debian's fontconfig)"

"$MAKE_LSERIES_FONTS" "$DEMO_DIR/lseries" >/dev/null
font="$DEMO_DIR/lseries/KanovelSL86-Bold.ttf"
cp "$font" "$DEMO_DIR/lseries-made.ttf"
"$FONT_NAMES" "$font" >"$DEMO_DIR/velnaril-before.txt"
touch -d '1999-12-31 23:59:59.987654321' "$font"
before=$(times_of "$font")
step "6. VelnariL: the L-series font \"KanovelSL86 Bold\", whose layout it knows exactly, dated 1999-12-31."
run_as_user "$VELNARIL" "$font"
compare_times "$before" "$(times_of "$font")"

step "7. Its names before and after: all seven Japanese copies (four Mac, three Windows) are full-width now."
names_side_by_side "$DEMO_DIR/velnaril-before.txt" "$font"

step "8. A deliberate second try on the same font: VelnariL must refuse, since the names are already changed."
cp "$font" "$DEMO_DIR/renamed-once.ttf"
before=$(times_of "$font")
run_as_user "$VELNARIL" "$font"
compare_times "$before" "$(times_of "$font")"
cmp -s "$font" "$DEMO_DIR/renamed-once.ttf" && echo "  => refused, and not a byte of the file changed."

step "9. Taking the rename back (VelnariL --revert, -v to list what it writes): the font is as it was made."
before=$(times_of "$font")
run_as_user "$VELNARIL" --revert -v "$font"
compare_times "$before" "$(times_of "$font")"
cmp -s "$font" "$DEMO_DIR/lseries-made.ttf" && echo "  => byte for byte the font as it was made."
