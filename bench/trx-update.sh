#!/usr/bin/env bash
# Times `lumtrx update` on a generated program of 10,000 resource strings and 200 forms
# (bench/trx-update-gen.py), whose translation module has half its rows translated: the module
# made again from the program, the old table loaded and merged into the new one, and saved.
# Beside it, GNU msgmerge does the same work on the equivalent PO catalogues (the old catalogue,
# half translated, merged with the program's template). Medians of RUNS runs (5); each run
# works on a fresh copy of the module. Under Wine, in a prefix of its own.
# Usage: bash bench/trx-update.sh [RUNS] [STRINGS] [FORMS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
runs=${1:-5}
strings=${2:-10000}
forms=${3:-200}
build=$(realpath -m "${LUM_BUILD_DIR:-build}")
work=$build/bench-trx-update
prefix=$build/bench-trx-prefix
tools=$build/host/tools

bash scripts/build.sh win32:lumtrx >/dev/null

# ---- The program: its strings, forms, build identity and name map, in a resource-only image.
rm -rf "$work"
mkdir -p "$work/forms"
python3 bench/trx-update-gen.py "$work/src" "$strings" "$forms"
"$tools/lumbuild" strings --header-dir "$work/gen" --map "$work/LUM.RSM.bin" \
  --res "$work/strings.res" "$work/src/BenchStrings.rstr"
form_args=()
for form in "$work"/src/forms/*.form; do
  res="$work/forms/$(basename "$form" .form).res"
  "$tools/lumform" "$form" "$res"
  form_args+=(--res "$res")
done
"$tools/lumbuild" resources --out "$work/all.res" --res "$work/strings.res" "${form_args[@]}" \
  --identity
i686-w64-mingw32-windres -J res -O coff -i "$work/all.res" -o "$work/all.o"
i686-w64-mingw32-g++-posix -nostdlib -shared -s -Wl,-e,0 -o "$work/linked.dll" "$work/all.o"
cmake -DIN="$work/linked.dll" -DOUT="$work/Bench.exe" -DOBJCOPY=i686-w64-mingw32-objcopy \
  -DLUMBUILD="$tools/lumbuild" -DSECTIONS="LUM.RSM=$work/LUM.RSM.bin" \
  -P cmake/AddSections.cmake
cp "$build/win32/app/lumtrx/lumtrx.exe" "$work/"

source scripts/xvfb.sh
xvfb=""
cleanup() {
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ] && start_xvfb 200 249; then
  xvfb=$XVFB_PID
fi
win() { echo "Z:${work//\//\\}\\$1"; }
lumtrx() { bash scripts/wine-run.sh --prefix "$prefix" "$work/lumtrx.exe" "$@"; }
# Keeps the prefix's server running between the runs, as a user's session would.
WINEPREFIX="$prefix" bash scripts/wine-run.sh --prefix "$prefix" "$work/lumtrx.exe" --help \
  >/dev/null
WINEPREFIX="$prefix" wineserver -p 2>/dev/null || true

# ---- The old module: every other row translated, through a catalogue.
lumtrx create "$(win Bench.exe)" DEU >/dev/null
lumtrx export-po "$(win Bench.exe)" "$(win Bench.DEU)" "$(win all.po)" >/dev/null
python3 - "$work/all.po" "$work/old.po" <<'EOF'
import sys
blocks = open(sys.argv[1], encoding="utf-8").read().split("\n\n")
out = [blocks[0]]
for n, block in enumerate(blocks[1:]):
    if n % 2 == 0:
        msgid = block[block.index("\nmsgid ") + 1:block.index("\nmsgstr ")]
        text = msgid.replace('msgid ""\n', "").replace("msgid ", "")
        block = block[:block.index("\nmsgstr ")] + "\nmsgstr " + text.replace('"\n"', "") \
            .replace("Bench", "Bank").replace("number", "Nummer")
        block = block.replace("#, fuzzy\n", "")
    out.append(block)
open(sys.argv[2], "w", encoding="utf-8").write("\n\n".join(out) + "\n")
EOF
lumtrx import-po "$(win Bench.exe)" "$(win Bench.DEU)" "$(win old.po)" >/dev/null
cp "$work/Bench.DEU" "$work/Bench.DEU.old"
# The template of the catalogue: the program's texts, nothing translated.
lumtrx export-po "$(win Bench.exe)" "$(win Bench.exe)" "$(win bench.pot)" >/dev/null
lumtrx export-po "$(win Bench.exe)" "$(win Bench.DEU)" "$(win old.po)" >/dev/null
rows=$(grep -c '^msgctxt ' "$work/bench.pot")
translated_entries() { msgattrib --translated --no-fuzzy "$1" | grep -c '^msgctxt ' || true; }
translated=$(translated_entries "$work/old.po")

now() { date +%s%N; }
median() { sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }
ms() { awk -v ns="$1" 'BEGIN {printf "%.0f ms", ns / 1e6}'; }

update_times=()
merge_times=()
start_times=()
for ((run = 1; run <= runs; ++run)); do
  cp "$work/Bench.DEU.old" "$work/Bench.DEU"
  t0=$(now)
  lumtrx update "$(win Bench.exe)" "$(win Bench.DEU)"
  t1=$(now)
  msgmerge --quiet -o "$work/merged.po" "$work/old.po" "$work/bench.pot"
  t2=$(now)
  lumtrx --help >/dev/null
  t3=$(now)
  update_times+=($((t1 - t0)))
  merge_times+=($((t2 - t1)))
  start_times+=($((t3 - t2)))
done

# The update kept every translation.
lumtrx export-po "$(win Bench.exe)" "$(win Bench.DEU)" "$(win after.po)" >/dev/null
kept=$(translated_entries "$work/after.po")
merged=$(translated_entries "$work/merged.po")

update=$(printf '%s\n' "${update_times[@]}" | median)
merge=$(printf '%s\n' "${merge_times[@]}" | median)
start=$(printf '%s\n' "${start_times[@]}" | median)
echo "rows: $rows ($strings resource strings, $forms forms), translated: $translated"
echo "lumtrx update:  $(ms "$update") (median of $runs; translated rows kept: $kept)"
echo "msgmerge:       $(ms "$merge") (median of $runs; translated entries: $merged)"
echo "lumtrx start and end under Wine (--help): $(ms "$start"), included in the update's time"
echo "update / msgmerge: $(awk -v a="$update" -v b="$merge" 'BEGIN {printf "%.2f", a / b}')"
echo "every run: update ${update_times[*]} msgmerge ${merge_times[*]} (ns)"
