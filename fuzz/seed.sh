#!/usr/bin/env bash
# Fills the seed corpora of the fuzz targets:
#
#   fuzz/seed.sh [BUILD_DIR]      (default: build-fuzz)
#
# writes BUILD_DIR/corpus/<target>/seed-* from the golden test inputs and the
# examples, in each target's input layout (see fuzz/targets.h). Files the
# fuzzers added to a corpus stay; the seeds are written afresh. COB seeds are
# made with marloc: $MARLOC, else BUILD_DIR/cli/marloc, else build/cli/marloc.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
BUILD=${1:-build-fuzz}
CORPUS=$BUILD/corpus
TARGETS=(scanner preprocessor evaluator compiler cob lsp_reader)

MARLOC=${MARLOC:-}
for candidate in "$BUILD/cli/marloc" build/cli/marloc; do
  [[ -z $MARLOC && -x $candidate ]] && MARLOC=$candidate
done
if [[ -z $MARLOC ]]; then
  echo "seed.sh: no marloc found (build it first, or set MARLOC)" >&2
  exit 1
fi

for target in "${TARGETS[@]}"; do
  mkdir -p "$CORPUS/$target"
  find "$CORPUS/$target" -maxdepth 1 -name 'seed-*' -delete
done

# A seed's name says where it came from: seed-<path with / as ->.
seed_name() {
  local path=${1#./}
  echo "seed-${path//\//-}"
}

# Byte values as the input layouts use them.
# shellcheck disable=SC2059 # the octal escape is built, then printed
byte() { printf "\\$(printf '%03o' "$1")"; }
SEPARATOR=$(byte 1)
COMPILE_DEFAULT=121  # the compiler's first byte: the default recurse depth
COMPILE_EXTENDED=249 # the same in the extended language

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# ---- scanner: every text as it stands ----
while IFS= read -r -d '' file; do
  cp "$file" "$CORPUS/scanner/$(seed_name "$file")"
done < <(find tests/data/compile tests/data/preprocess examples -type f ! -name '*.md' -print0)

# ---- preprocessor: flags, main text, then the case's headers by name ----
# Flags: 1 ignore case, 2 compile the result (on one core and on two), 4 let
# Source go on two cores, 8 and 16 together compare with a used
# preprocessor, 32 (with 2) the extended language. Each case goes in as the golden test runs it, and once more
# compiled and reused.
preprocessor_seed() { # dir main [headers...]: the seed for flags $FLAGS
  local dir=$1 main=$2 header
  shift 2
  byte "$FLAGS"
  cat "$dir/$main"
  for header in "$@"; do
    printf '%s%s\n' "$SEPARATOR" "$header"
    cat "$dir/$header"
  done
}

while IFS= read -r -d '' main; do
  dir=$(dirname "$main")
  base=0
  [[ -f $dir/options ]] && grep -qx 'ignore-case' "$dir/options" && base=1
  mapfile -t headers < <(cd "$dir" && find . -type f ! -name main.bos ! -name 'expected.*' ! -name options |
    sed 's|^\./||' | sort | head -n 3)
  FLAGS=$base preprocessor_seed "$dir" main.bos "${headers[@]}" >"$CORPUS/preprocessor/$(seed_name "$dir")"
  FLAGS=$((base | 26)) preprocessor_seed "$dir" main.bos "${headers[@]}" >"$CORPUS/preprocessor/$(seed_name "$dir")-26"
done < <(find tests/data/preprocess -name main.bos -print0)

for example in examples/*.bos; do
  mapfile -t headers < <(cd examples/include && ls)
  # The headers sit under include/ in the tree; in the seed they go by the
  # names the examples include.
  {
    byte 2
    cat "$example"
    for header in "${headers[@]:0:3}"; do
      printf '%s%s\n' "$SEPARATOR" "$header"
      cat "examples/include/$header"
    done
  } >"$CORPUS/preprocessor/$(seed_name "$example")"
done

# The extended examples, compiled in their language (2 | 32), with the
# headers that sit beside them.
for example in examples/extended/*.bos; do
  mapfile -t headers < <(cd examples/extended && ls -- *.h 2>/dev/null)
  {
    byte 34
    cat "$example"
    for header in "${headers[@]:0:3}"; do
      printf '%s%s\n' "$SEPARATOR" "$header"
      cat "examples/extended/$header"
    done
  } >"$CORPUS/preprocessor/$(seed_name "$example")"
done

for file in tests/data/compile/*/*.bos; do
  { byte 2; cat "$file"; } >"$CORPUS/preprocessor/$(seed_name "$file")"
done

# ---- evaluator: the #if conditions of the test data and examples ----
n=0
while IFS= read -r condition; do
  n=$((n + 1))
  printf '%s' "$condition" >"$CORPUS/evaluator/seed-if-$n"
done < <(grep -rhoa '#if .*' tests/data/preprocess examples | sed 's/^#if //; s/\r$//' | sort -u)
# and a few that reach each operator, function and error road
while IFS= read -r condition; do
  n=$((n + 1))
  printf '%s' "$condition" >"$CORPUS/evaluator/seed-if-$n"
done <<'EOF'
(1 + 2) * 3 - 4 DIV 2 MOD 3 = 7
NOT (TRUE AND FALSE) OR (TRUE XOR TRUE)
1 SHL 4 SHR 2 <> 3
'abc' + 'def' <= 'abd'
UPPER('tank') = 'TANK' AND LOWER('A') = 'a'
COPY('stratagon', 3, 4) + STRING(POS('a', 'tank')) + STRING(LENGTH('abc'))
TRUNC(2.7) + ROUND(2.5) + ABS(-3) >= 7
ARCTAN(1) * 4 - PI < 0.001
COS(0) + EXP(1) + FRAC(1.25) + INT(2.5) + LN(2) + SIN(0) + SQR(3) + SQRT(16) + POWER(2, 10)
IF(1 > 0, 'yes', 'no') = 'yes'
FLOAT(1) / 3 > INTEGER(0)
BOOLEAN(TRUE) = TRUE
SEVEN * HALF + LENGTH(NAME) > 0 AND YES
1 / 0
0 / 0
5 DIV 0
2147483647 + 1
2147483648
1.5E308 * 10
SQRT(-1)
COPY('a',,2)
((((((((((1))))))))))
-(-2147483648)
'it''s'
1 < 2 < 3
EOF

# ---- compiler: flags (language, recurse depth), scales (16: the defaults), then the text ----
for file in tests/data/compile/*/*.bos; do
  flags=$COMPILE_DEFAULT
  [[ $file == */extended/* ]] && flags=$COMPILE_EXTENDED
  { byte "$flags"; byte 16; cat "$file"; } >"$CORPUS/compiler/$(seed_name "$file")"
done
# Preprocessed text: what the compiler reads on the road of a compile.
while IFS= read -r -d '' expected; do
  { byte "$COMPILE_DEFAULT"; byte 16; cat "$expected"; } >"$CORPUS/compiler/$(seed_name "$expected")"
done < <(find tests/data/preprocess -name expected.pp -size +0 -print0)
for example in examples/*.bos; do
  { byte "$COMPILE_DEFAULT"; byte 16; "$MARLOC" -E -I examples/include "$example"; } >"$CORPUS/compiler/$(seed_name "$example")"
done
for example in examples/extended/*.bos; do
  { byte "$COMPILE_EXTENDED"; byte 16; "$MARLOC" -X -E "$example"; } >"$CORPUS/compiler/$(seed_name "$example")"
done

# ---- cob: the examples and the golden cases that compile, by marloc ----
mkdir -p "$TMP/cob"
"$MARLOC" -I examples/include -o "$TMP/cob" examples/*.bos >/dev/null
for cob in "$TMP/cob"/*.cob; do
  cp "$cob" "$CORPUS/cob/seed-examples-$(basename "$cob")"
done
for words in tests/data/compile/*/*.words; do
  case_file=${words%.words}.bos
  group=$(basename "$(dirname "$words")")
  mkdir -p "$TMP/cob/$group"
  # Golden inputs are compiler text; marloc preprocesses them first, which
  # leaves such text as it is, so most of them compile here too.
  language=()
  [[ $group == extended ]] && language=(-X)
  "$MARLOC" "${language[@]}" -o "$TMP/cob/$group" "$case_file" >/dev/null 2>&1 || true
done
for cob in "$TMP/cob"/*/*.cob; do
  [[ -f $cob ]] || continue
  group=$(basename "$(dirname "$cob")")
  cp "$cob" "$CORPUS/cob/seed-compile-$group-$(basename "$cob")"
done

# ---- lsp_reader: a piece size byte, then what a client sends ----
frame() { # body: the body framed, its length in bytes
  local LC_ALL=C
  printf 'Content-Length: %d\r\n\r\n%s' "${#1}" "$1"
}
URI='"textDocument":{"uri":"file:///tmp/unit.bos"'
AT=',"position":{"line":3,"character":7}}'
lsp_seed() { # name byte messages...
  local name=$1 piece=$2 body
  shift 2
  {
    byte "$piece"
    for body in "$@"; do frame "$body"; done
  } >"$CORPUS/lsp_reader/seed-$name"
}
lsp_seed session 7 '{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"capabilities":{}}}' \
  '{"jsonrpc":"2.0","method":"initialized","params":{}}' \
  '{"jsonrpc":"2.0","method":"textDocument/didOpen","params":{'"$URI"',"languageId":"bos","version":1,"text":"piece base;\r\nCreate()\n{\n  hide base;\n}\n"}}}' \
  '{"jsonrpc":"2.0","method":"textDocument/didChange","params":{'"$URI"',"version":2},"contentChanges":[{"range":{"start":{"line":3,"character":7},"end":{"line":3,"character":11}},"text":"turret"}]}}' \
  '{"jsonrpc":"2.0","id":2,"method":"textDocument/hover","params":{'"$URI"'}'"$AT"'}' \
  '{"jsonrpc":"2.0","id":3,"method":"shutdown"}' '{"jsonrpc":"2.0","method":"exit"}'
lsp_seed response 1 '{"jsonrpc":"2.0","id":"a","result":null}' '{"jsonrpc":"2.0","id":4,"error":{"code":-32601,"message":"x"}}'
lsp_seed invalid 3 '[{"jsonrpc":"2.0","id":1,"method":"x"}]' '{"id":{},"method":1}' '{"jsonrpc":"2.0","method":"\ud800"}'
{ byte 2; printf 'xyz}Content-Length: 2\r\n\r\n{}content-length:  3 \n\n[1]Content-Length: 9\r\n\r\n{}'; frame '{}'; } \
  >"$CORPUS/lsp_reader/seed-bad-headers"
{ byte 0; printf 'Content-Length: 600\r\n\r\n'; head -c 600 /dev/zero; frame '{"jsonrpc":"2.0","id":1,"method":"shutdown"}'; } \
  >"$CORPUS/lsp_reader/seed-too-large"

for target in "${TARGETS[@]}"; do
  printf '%-13s %4d seeds\n' "$target" "$(find "$CORPUS/$target" -maxdepth 1 -name 'seed-*' | wc -l)"
done
