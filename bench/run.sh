#!/bin/sh
# The speed benchmark. Builds the native programs, then prints, for each
# program on its sample font in batch mode (and for Velnari also on the
# sample font whose 4th name crosses a multiple of 512, which it writes in two
# writes with one more sync between them):
#   - median wall time of a fresh rename, and of a revert of the renamed font,
#     against a program of ours that makes one durable write of the same file
#     (open, pwrite, fsync, close), and of a run on the renamed font (nothing
#     to write) against a trivial program (alternating runs),
#   - system calls beyond the trivial program's (strace -c -f),
#   - renaming 1,000 copies one after another against 1,000 durable writes,
#   - the peer figure: fontTools renaming the same names in the same file;
# and, for Velnari, a folder of 2,000 fonts (FOLDER_FONTS) renamed by naming
# the folder against the same fonts named one by one, in one run each.
# Installs what it uses (strace, Debian's python3-fonttools) when run as root.
set -eu
cd "$(dirname "$0")/.."

if ! command -v strace >/dev/null 2>&1 || ! python3 -c 'import fontTools' 2>/dev/null; then
    if [ "$(id -u)" = 0 ]; then
        apt-get install -y --no-install-recommends strace python3-fonttools >/dev/null
    fi
fi
# Debian's python3 has Debian's fontTools, whatever python3 comes first on PATH.
PY=python3
python3 -c 'import fontTools' 2>/dev/null || PY=/usr/bin/python3

cmake --preset default >/dev/null
cmake --build --preset default --target Velnari VelnariL make_sample_font make_lseries_fonts \
    trivial durable run_timer >/dev/null
B=build/default
RUNS=${RUNS:-300}
COPIES=${COPIES:-1000}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$B/tools/make_sample_font" "$work/velnari.ttf"
"$B/tools/make_sample_font" "$work/crossing.ttf" "KanovelR11 Bold" 20
mkdir "$work/l" "$work/seq"
"$B/tools/make_lseries_fonts" "$work/l"
cp "$work/l/KanovelSL86-Bold.ttf" "$work/velnaril.ttf"

syscalls() {  # total system calls of one run, from strace's summary
    strace -f -c -o "$work/strace.txt" "$@" </dev/null >/dev/null 2>&1
    awk '$NF == "total" { print $(NF-2) }' "$work/strace.txt"
}

echo "program   durable(us) rename(us) ratio  revert(us) ratio  trivial(us) unchanged(us) ratio  syscalls(beyond trivial)  ${COPIES}x ratio  fontTools(us)"
for prog in velnari velnaril crossing; do
    case $prog in velnari | crossing) exe=$B/Velnari kind=velnari ;; velnaril) exe=$B/VelnariL kind=velnaril ;; esac
    pristine=$work/$prog.ttf
    target=$work/target.ttf
    renamed=$work/$prog-renamed.ttf
    cp "$pristine" "$renamed"
    "$exe" "$renamed" /b </dev/null
    read -r durable_us prog_us ratio <<EOF
$("$B/bench/run_timer" alternate "$RUNS" "$pristine" "$target" \
        -- "$B/bench/durable" "$target" -- "$exe" "$target" /b)
EOF
    read -r _ revert_us revert_ratio <<EOF
$("$B/bench/run_timer" alternate "$RUNS" "$renamed" "$target" \
        -- "$B/bench/durable" "$target" -- "$exe" --revert "$target" /b)
EOF
    read -r trivial_us unchanged_us unchanged_ratio <<EOF
$("$B/bench/run_timer" alternate "$RUNS" "$renamed" "$target" \
        -- "$B/bench/trivial" "$target" /b -- "$exe" "$target" /b)
EOF

    cp "$pristine" "$target"
    own=$(syscalls "$exe" "$target" /b)
    floor=$(syscalls "$B/bench/trivial" "$target" /b)

    rm -f "$work/seq/"*
    seq_trivial=$("$B/bench/run_timer" sequence "$COPIES" "$pristine" "$work/seq" -- "$B/bench/durable" "{}")
    rm -f "$work/seq/"*
    seq_prog=$("$B/bench/run_timer" sequence "$COPIES" "$pristine" "$work/seq" -- "$exe" "{}" /b)
    seq_ratio=$(awk "BEGIN { printf \"%.3f\", $seq_prog / $seq_trivial }")

    read -r _ fonttools_us _ <<EOF
$("$B/bench/run_timer" alternate 15 "$pristine" "$target" \
        -- "$B/bench/trivial" -- "$(command -v $PY)" bench/fonttools_rename.py "$kind" "$target")
EOF

    printf '%-9s %11s %10s %5s  %10s %5s  %11s %13s %5s  %4s (%s - %s)%13s %10s  %13s\n' "$prog" \
        "$durable_us" "$prog_us" "$ratio" "$revert_us" "$revert_ratio" "$trivial_us" \
        "$unchanged_us" "$unchanged_ratio" "$((own - floor))" "$own" "$floor" "" "$seq_ratio" \
        "$fonttools_us"
done

folder_fonts=${FOLDER_FONTS:-2000}
mkdir "$work/folder"
read -r named_us folder_us folder_ratio <<EOF
$("$B/bench/run_timer" folder 5 "$folder_fonts" "$work/velnari.ttf" "$work/folder" -- "$B/Velnari" "{}")
EOF
printf '\nVelnari, %s fonts: named one by one %s us, the folder named %s us, ratio %s\n' \
    "$folder_fonts" "$named_us" "$folder_us" "$folder_ratio"
