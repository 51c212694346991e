#!/usr/bin/env bash
# lumtrx.exe on a copy of the built program, in a Wine prefix of its own: create, list, set
# (a format string that does not match is refused), export to PO, gettext's msgfmt --check,
# import (all or nothing, refusals with their lines), list again, and update.
# Usage: LumTrxToolTest.sh LUMTRX_EXE OSTRIN_EXE PREFIX WORK_FOLDER
set -euo pipefail
lumtrx=$1
ostrin=$2
prefix=$3
work=$(realpath -m "$4")
tests=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$tests/../../.." && pwd)

source "$root/scripts/xvfb.sh"
xvfb=""
cleanup() {
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
# One display for all runs (the flash message is a window), as scripts/test.sh does.
if [ -z "${DISPLAY:-}" ] && start_xvfb 150 199; then
  xvfb=$XVFB_PID
fi

rm -rf "$work"
mkdir -p "$work"
cp "$ostrin" "$work/Ostrin.exe"
cp "$lumtrx" "$work/lumtrx.exe"

failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}
# The Windows name of a file of the work folder (Wine's drive Z: is the root).
win() { echo "Z:${work//\//\\}\\$1"; }

# lumtrx ARGS...: runs the tool; its output in $work/out, its errors in $work/err, its exit
# code in $code.
lumtrx() {
  code=0
  bash "$root/scripts/wine-run.sh" --prefix "$prefix" "$work/lumtrx.exe" "$@" \
    >"$work/out" 2>"$work/err" || code=$?
  tr -d '\r' <"$work/out" >"$work/out.lf"
  tr -d '\r' <"$work/err" >"$work/err.lf"
}
expect_code() {
  if [ "$code" != "$1" ]; then
    fail "$2: exit code $code, expected $1; stderr: $(cat "$work/err.lf")"
  fi
}
expect_line() { # FILE LINE WHAT: FILE has exactly that line
  grep -qxF -- "$2" "$1" || fail "$3: no line '$2' in $(basename "$1"): $(head -c 2000 "$1")"
}
# The row of a TranID in the last list, tab-separated.
row_of() { awk -F'\t' -v id="$1" '$1 == id' "$work/out.lf"; }

exe=$(win Ostrin.exe)
module=$(win Ostrin.DEU)

# Arguments.
lumtrx
expect_code 1 "no arguments"
expect_line "$work/err.lf" "  lumtrx set MODULE TRANID TEXT [--comment TEXT] [--exe EXE]" "usage"
lumtrx frobnicate x
expect_code 1 "unknown command"
expect_line "$work/err.lf" 'ELumTrxRefused: Unknown command "frobnicate".' "unknown command"
lumtrx create "$exe"
expect_code 1 "create without language"
expect_line "$work/err.lf" 'ELumTrxRefused: Wrong arguments for "create".' "create without language"
lumtrx create "$exe" XYZ
expect_code 1 "unknown language"
expect_line "$work/err.lf" 'ELumTrxRefused: Unknown language "XYZ".' "unknown language"

# create
lumtrx create "$exe" DEU
expect_code 0 "create"
expect_line "$work/out.lf" "$module" "create prints the module"
[ -f "$work/Ostrin.DEU" ] || fail "create made no Ostrin.DEU"
lumtrx create "$exe" DEU
expect_code 2 "create over a module"
expect_line "$work/err.lf" "ELumInternalError: Internal Error: This translation already exists ($module)." \
  "create over a module"

# list: every row untranslated, the executable's texts (format strings in canonical form).
lumtrx list "$module"
expect_code 0 "list"
rows=$(wc -l <"$work/out.lf")
[ "$rows" -gt 100 ] || fail "list gave $rows rows"
caption_id=$(awk -F'\t' '$2 == "Caption" && $4 == "CAPICOM 2.0 setup" {print $1}' "$work/out.lf")
[ -n "$caption_id" ] || fail "no row of the main form's caption"
[ "$(row_of "$caption_id")" = "$caption_id	Caption	false	CAPICOM 2.0 setup	" ] ||
  fail "caption row: $(row_of "$caption_id")"
[ "$(row_of LumSysConst_SOSError)" = \
  'LumSysConst_SOSError	resourcestring	false	System Error.  Code: %0:d.\r\n%1:s	' ] ||
  fail "SOSError row: $(row_of LumSysConst_SOSError)"
awk -F'\t' 'NF != 5 || ($3 != "true" && $3 != "false")' "$work/out.lf" | head -3 >"$work/bad"
[ ! -s "$work/bad" ] || fail "rows not of five fields: $(cat "$work/bad")"

# set: a form row, a resource string with its arguments swapped (refused), then with the
# arguments moved by their indexes (taken).
lumtrx set "$module" "$caption_id" "CAPICOM 2.0 einrichten" --comment "Titelzeile"
expect_code 0 "set caption"
cp "$work/Ostrin.DEU" "$work/before-refusal"
lumtrx set "$module" LumSysConst_SOSError 'Systemfehler %s: %d'
expect_code 1 "set with swapped argument types"
expect_line "$work/err.lf" \
  "ELumGeneralError: Argument types for index 0 do not match. (%0:d <> %0:s)" "swapped types"
cmp -s "$work/Ostrin.DEU" "$work/before-refusal" || fail "a refused set changed the module"
lumtrx set "$module" LumSysConst_SOSError 'Systemfehler: %1:s (Code %0:d)'
expect_code 0 "set with explicit indexes"
lumtrx set "$module" No_Such_TranID x
expect_code 1 "set of an unknown TranID"
expect_line "$work/err.lf" 'ELumTrxRefused: Unknown TranID "No_Such_TranID".' "unknown TranID"
lumtrx set "$module" "$caption_id" x --comment $'two\nlines'
expect_code 1 "comment with a line break"
lumtrx list "$module"
[ "$(row_of "$caption_id")" = "$caption_id	Caption	true	CAPICOM 2.0 einrichten	Titelzeile" ] ||
  fail "caption row after set: $(row_of "$caption_id")"
[ "$(row_of LumSysConst_SOSError)" = \
  'LumSysConst_SOSError	resourcestring	true	Systemfehler: %1:s (Code %0:d)	' ] ||
  fail "SOSError row after set: $(row_of LumSysConst_SOSError)"
cp "$work/out.lf" "$work/list-after-set"

# export-po, checked by gettext.
lumtrx export-po "$exe" "$module" "$(win de.po)"
expect_code 0 "export-po"
msgfmt --check -o /dev/null "$work/de.po" 2>"$work/msgfmt.err" || fail "msgfmt --check: $(cat "$work/msgfmt.err")"
[ ! -s "$work/msgfmt.err" ] || fail "msgfmt warns: $(cat "$work/msgfmt.err")"
entries=$(grep -c '^msgctxt ' "$work/de.po")
[ "$entries" = "$rows" ] || fail "export-po wrote $entries entries for $rows rows"
grep -q '^"Language: de_DE\\n"$' "$work/de.po" || fail "no Language header"
grep -q '^#, fuzzy' "$work/de.po" && fail "export-po wrote fuzzy entries"
python3 - "$work/de.po" "$caption_id" <<'EOF' || fail "exported entries"
import sys
text = open(sys.argv[1], encoding="utf-8").read()
want = [
    '# Titelzeile\n#. Caption\nmsgctxt "%s"\nmsgid "CAPICOM 2.0 setup"\n'
    'msgstr "CAPICOM 2.0 einrichten"\n' % sys.argv[2],
    '#. resourcestring\nmsgctxt "LumSysConst_SOSError"\nmsgid ""\n'
    '"System Error.  Code: %d.\\r\\n"\n"%s"\nmsgstr "Systemfehler: %1:s (Code %0:d)"\n',
]
for w in want:
    if w not in text:
        sys.exit("missing: " + w)
EOF

# A translator's edit: umlauts and a CJK character, wrapped lines, the caption taken back.
python3 - "$tests" "$work/de.po" "$work/de-edited.po" "$caption_id" <<'EOF'
import sys
sys.path.insert(0, sys.argv[1])
from LumTrxToolPoEdit import *
lines = read(sys.argv[2])
set_msgstr(lines, sys.argv[4],
           ['msgstr ""', '"CAPICOM 2.0 "', '"einrichten \u00e4\u00f6\u00fc\u00df \u4e2d"'])
set_msgstr(lines, "LumSysConst_SOSError", ['msgstr ""'])
set_msgstr(lines, "LumRtlConsts_SReadError",
           ['msgstr "Lesefehler im Datenstrom \u201e\u00c4\u201c"'])
add_comment(lines, "LumRtlConsts_SReadError", "Lesefehler")
write(sys.argv[3], lines)
EOF
msgfmt --check -o /dev/null "$work/de-edited.po" || fail "msgfmt --check of the edited catalogue"
lumtrx import-po "$exe" "$module" "$(win de-edited.po)"
expect_code 0 "import-po"
lumtrx list "$module"
[ "$(row_of "$caption_id")" = "$caption_id	Caption	true	CAPICOM 2.0 einrichten äöüß 中	Titelzeile" ] ||
  fail "caption row after import: $(row_of "$caption_id")"
[ "$(row_of LumSysConst_SOSError)" = \
  'LumSysConst_SOSError	resourcestring	false	System Error.  Code: %0:d.\r\n%1:s	' ] ||
  fail "SOSError after its translation was taken back: $(row_of LumSysConst_SOSError)"
[ "$(row_of LumRtlConsts_SReadError)" = \
  'LumRtlConsts_SReadError	resourcestring	true	Lesefehler im Datenstrom „Ä“	Lesefehler' ] ||
  fail "SReadError after import: $(row_of LumRtlConsts_SReadError)"
cp "$work/out.lf" "$work/list-after-import"

# The round trip: exported again, the catalogue says what the edited one said.
lumtrx export-po "$exe" "$module" "$(win de-again.po)"
expect_code 0 "export-po again"
python3 - "$work/de-edited.po" "$work/de-again.po" <<'EOF' || fail "round trip"
import subprocess, sys
def entries(path):
    # msgcat lays both out alike (wrapped lines joined); the header's date differs.
    out = subprocess.run(["msgcat", "--no-wrap", path], capture_output=True, text=True, check=True).stdout
    return [block for block in out.split("\n\n") if "PO-Revision-Date" not in block]
a, b = entries(sys.argv[1]), entries(sys.argv[2])
if a != b:
    diff = [(x, y) for x, y in zip(a, b) if x != y][:3]
    sys.exit("catalogues differ: %r" % (diff or (len(a), len(b))))
EOF

# All or nothing: one good change, a format string that does not match its msgid, an unknown
# msgctxt and a TranID given twice; each refusal with its line, and the module unchanged.
cp "$work/Ostrin.DEU" "$work/before-import"
python3 - "$tests" "$work/de-again.po" "$work/de-bad.po" >"$work/bad-lines" <<'EOF'
import sys
sys.path.insert(0, sys.argv[1])
from LumTrxToolPoEdit import *
lines = read(sys.argv[2])
set_msgstr(lines, "LumRtlConsts_SWriteError", ['msgstr "Schreibfehler"'])
bad_format = set_msgstr(lines, "LumSysConst_SOSError", ['msgstr "Systemfehler %s: %d"'])
first = entry_line(lines, "LumRtlConsts_SReadError") + 1
lines += ["", 'msgctxt "No_Such_TranID"', 'msgid "x"', 'msgstr "y"']
unknown = len(lines) - 2
lines += ["", 'msgctxt "LumRtlConsts_SReadError"', 'msgid "Stream read error"', 'msgstr "z"']
twice = len(lines) - 2
write(sys.argv[3], lines + [""])
print(bad_format, unknown, twice, first)
EOF
read -r bad_format unknown twice first <"$work/bad-lines"
lumtrx import-po "$exe" "$module" "$(win de-bad.po)"
expect_code 1 "import-po with refusals"
bad=$(win de-bad.po)
expect_line "$work/err.lf" \
  "$bad:$bad_format: ELumGeneralError: Argument types for index 0 do not match. (%0:d <> %0:s)" \
  "import: format mismatch"
expect_line "$work/err.lf" "$bad:$unknown: ELumTrxRefused: Unknown msgctxt \"No_Such_TranID\"." \
  "import: unknown msgctxt"
expect_line "$work/err.lf" \
  "$bad:$twice: ELumTrxRefused: msgctxt \"LumRtlConsts_SReadError\" was already given in line $first." \
  "import: given twice"
expect_line "$work/err.lf" "ELumTrxRefused: 3 entries refused; nothing was saved." "import: summary"
cmp -s "$work/Ostrin.DEU" "$work/before-import" || fail "a refused import changed the module"

# A catalogue that cannot be read.
printf 'msgid ""\nmsgstr ""\n\nmsgctxt "a"\nmsgstr "b"\n' >"$work/broken.po"
lumtrx import-po "$exe" "$module" "$(win broken.po)"
expect_code 1 "import-po of a broken catalogue"
expect_line "$work/err.lf" "EPoError: $(win broken.po):5: \"msgstr\" is out of place here." \
  "broken catalogue"

# update: the module made again from the executable keeps every translation and comment.
lumtrx update "$exe" "$module"
expect_code 0 "update"
lumtrx list "$module"
cmp -s "$work/out.lf" "$work/list-after-import" || fail "update changed the rows: $(diff "$work/list-after-import" "$work/out.lf" | head -5)"
[ ! -e "$work/Ostrin.DEU.tmp" ] || fail "update left its temporary file"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "lumtrx: all checks passed"
