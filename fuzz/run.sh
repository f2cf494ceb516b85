#!/usr/bin/env bash
# Runs one fuzz target on its corpus with the project's limits:
#
#   fuzz/run.sh TARGET [LIBFUZZER_OPTION...] [FILE...]
#
# TARGET is scanner, preprocessor, evaluator, compiler, cob or lsp_reader.
# Options given here come after the defaults and override them, e.g.
# -max_total_time=600 or -runs=10000000. Without file arguments the target runs on its corpus,
# BUILD_DIR/corpus/TARGET (fill it with fuzz/seed.sh first); with them it
# runs those (for example `-minimize_crash=1 -runs=100000 crash-...`).
# Finds are written to BUILD_DIR/artifacts/TARGET/. BUILD_DIR is
# $MARLO_FUZZ_BUILD, else build-fuzz.
#
# Defaults: 1 s per input, 2048 MB of memory, inputs up to 4096 bytes with
# the BOS dictionary (8 KiB and no dictionary for cob; the protocol's
# dictionary and 1 KiB for lsp_reader), final statistics.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
BUILD=${MARLO_FUZZ_BUILD:-build-fuzz}
TARGET=${1:-}
if [[ -z $TARGET ]]; then
  sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
fi
shift

case "$TARGET" in
  scanner | preprocessor | evaluator | compiler) LIMITS=(-max_len=16384 -dict=fuzz/dict/bos.dict) ;;
  cob) LIMITS=(-max_len=8192) ;;
  # The reader's bodies stop at 512 bytes: longer inputs only cost time.
  lsp_reader) LIMITS=(-max_len=1024 -dict=fuzz/dict/lsp.dict) ;;
  *)
    echo "run.sh: no fuzz target '$TARGET' (scanner, preprocessor, evaluator, compiler, cob, lsp_reader)" >&2
    exit 2
    ;;
esac

EXE=$BUILD/fuzz/fuzz_$TARGET
if [[ ! -x $EXE ]]; then
  echo "run.sh: $EXE is not built (cmake --preset fuzz && cmake --build --preset fuzz)" >&2
  exit 2
fi
mkdir -p "$BUILD/corpus/$TARGET" "$BUILD/artifacts/$TARGET"

# Allocation stacks cut to 5 frames and a smaller quarantine make each
# input cheaper; to see a find's full allocation stack, run it again with
# ASAN_OPTIONS= (empty).
export ASAN_OPTIONS=${ASAN_OPTIONS-malloc_context_size=5:quarantine_size_mb=32}

INPUTS=("$BUILD/corpus/$TARGET")
for arg in "$@"; do
  [[ $arg == -* ]] || INPUTS=()
done

exec "$EXE" -timeout=1 -rss_limit_mb=2048 "${LIMITS[@]}" -artifact_prefix="$BUILD/artifacts/$TARGET/" \
  -print_final_stats=1 "$@" "${INPUTS[@]}"
