#!/usr/bin/env bash
# Checks what bench/generate.py writes: the exact line count, the same bytes
# for the same seed, every statement, operator and directive present, and a
# successful compile with marloc (one unit, and several units with -j 2).
# GNU cpp must read the same input, when it is installed.
#
#   bench/check_generated.sh PYTHON MARLOC WORKDIR
set -uo pipefail

PYTHON=$1
MARLOC=$2
WORK=$3
# The checks run marloc from other folders.
[[ $MARLOC == /* ]] || MARLOC=$PWD/$MARLOC
[[ $WORK == /* ]] || WORK=$PWD/$WORK
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
FAILED=0

fail() {
  echo "FAIL: $*"
  FAILED=1
}

rm -rf "$WORK"
mkdir -p "$WORK/out"
gen() { "$PYTHON" "$HERE/generate.py" "$@"; }

gen --lines 3000 --out "$WORK/a" || fail "generate.py --lines 3000"
gen --lines 3000 --out "$WORK/b" || fail "generate.py --lines 3000 (again)"
gen --lines 3000 --seed 5 --out "$WORK/c" || fail "generate.py --seed 5"

lines=$(wc -l <"$WORK/a/main.bos")
[[ $lines -eq 3000 ]] || fail "main.bos has $lines lines, not 3000"
for f in main.bos bench_defs.h bench_sfx.h; do
  cmp -s "$WORK/a/$f" "$WORK/b/$f" || fail "$f differs between two runs with the same seed"
done
cmp -s "$WORK/a/main.bos" "$WORK/c/main.bos" && fail "another seed gave the same main.bos"

# Every statement keyword, operator (as written, blanks around) and directive.
words=(attach-unit cache call-script dont-cache dont-shade drop-unit emit-sfx explode 'get [0-9]' hide 'if ('
  'move ' 'rand [0-9]' 'return (' 'set [0-9]' set-signal-mask ' shade ' 'show ' 'signal ' 'sleep ' 'spin '
  start-script stop-spin 'turn ' wait-for-move wait-for-turn 'while (' 'var ' static-var 'piece '
  ' != ' ' == ' ' >= ' ' <= ' ' < ' ' > ' ' & ' ' | ' ' && ' ' || ' ' ! ' ' + ' ' - ' ' \* ' ' / ' '!(' 'not '
  'rand(' 'get 1[45](' true false '#include' '#define' '#undef' '#ifdef' '#ifndef' '#if ' '#else' '#endif'
  '//' '/\*')
for w in "${words[@]}"; do
  grep -q -- "$w" "$WORK/a/main.bos" || fail "main.bos lacks '$w'"
done
grep -q '#if ' "$WORK/a/bench_sfx.h" || fail "bench_sfx.h lacks an #if"

# marloc prints this line only when the .cob was written.
out=$(cd "$WORK" && "$MARLOC" -I "$WORK/a" -o "$WORK/out" "$WORK/a/main.bos" 2>&1)
grep -qx 'Compile completed successfully' <<<"$out" || fail "marloc on main.bos: $out"
[[ -s $WORK/out/main.cob ]] || fail "no main.cob"

gen --files 3 --lines 500 --out "$WORK/files" || fail "generate.py --files 3"
count=$(find "$WORK/files" -name 'unit*.bos' | wc -l)
[[ $count -eq 3 ]] || fail "--files 3 wrote $count units"
out=$(cd "$WORK/files" && "$MARLOC" -j 2 -I "$WORK/files" -o "$WORK/out" unit000.bos unit001.bos unit002.bos 2>&1)
ok=$(grep -cx 'Compile completed successfully' <<<"$out")
[[ $ok -eq 3 ]] || fail "marloc -j 2 on three units: $out"
cmp -s "$WORK/files/unit000.bos" "$WORK/files/unit001.bos" && fail "two units are the same"

if command -v cpp >/dev/null; then
  cpp -P -undef -nostdinc -I "$WORK/a" "$WORK/a/main.bos" -o "$WORK/out/main.i" || fail "cpp rejects main.bos"
fi

if ((FAILED)); then exit 1; fi
echo "generated inputs: all checks passed"
