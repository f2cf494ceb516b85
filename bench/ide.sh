#!/usr/bin/env bash
# The compile of a 10 MB script inside the desktop program's source window,
# against marloc on the same file:
#
#   bench/ide.sh [LINES]      (default 380000 lines, about 10 MB)
#
# Builds marlo_ide_bench and marloc (Release) into build-bench-ide/, writes
# the input with bench/generate.py and runs the window offscreen.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${MARLO_BENCH_BUILD:-$ROOT/build-bench-ide}
LINES=${1:-380000}

cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMARLO_BUILD_IDE=ON -DMARLO_BUILD_TESTS=OFF \
  -DMARLO_BUILD_IDE_BENCH=ON >/dev/null
cmake --build "$BUILD" --parallel 2 --target marloc marlo_ide_bench >/dev/null
python3 "$ROOT/bench/generate.py" --lines "$LINES" --out "$BUILD/ide-input" >/dev/null
"$BUILD/bench/marlo_ide_bench" "$BUILD/ide-input/main.bos" "$BUILD/ide-input" "$BUILD/cli/marloc" 3
