#!/usr/bin/env bash
# The throughput benchmark: marloc against GNU cpp on generated inputs.
#
#   bench/run.sh            build marloc (Release) into build-bench/, write the
#                           inputs, time the runs, print the table and checks
#   bench/run.sh --micro    the same, then the Google Benchmark micro-benchmarks
#
# Inputs (bench/generate.py, fixed seed): one unit of 100k lines (~2.7 MB) and
# one of 1M lines (~27 MB), each with its two headers, and 200 units of 2000
# lines for the -j measurement. Each measurement is the median wall time of 5
# whole-process runs (3 on the 1M-line unit) and the largest peak memory
# (maximum resident set size from /usr/bin/time -v).
#
# Settings from the environment: MARLO_BENCH_BUILD (build folder, default
# build-bench), MARLO_BENCH_WORK (inputs and scratch, default
# <build>/bench-work), MARLO_BENCH_RUNS (5), MARLO_BENCH_LARGE_RUNS (3),
# MARLO_BENCH_TIMEOUT (seconds per run, 600).
#
# Exit status 0 whatever the figures (the checks are a report); 1 when the
# build, the generator or a run fails.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${MARLO_BENCH_BUILD:-$ROOT/build-bench}
WORK=${MARLO_BENCH_WORK:-$BUILD/bench-work}
RUNS=${MARLO_BENCH_RUNS:-5}
LARGE_RUNS=${MARLO_BENCH_LARGE_RUNS:-3}
TIMEOUT=${MARLO_BENCH_TIMEOUT:-600}
MICRO=0

for arg in "$@"; do
  case "$arg" in
    --micro) MICRO=1 ;;
    -h | --help)
      sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'
      exit 0
      ;;
    *)
      echo "run.sh: unknown argument '$arg' (use: bench/run.sh [--micro])" >&2
      exit 2
      ;;
  esac
done

say() { printf '==> %s\n' "$*" >&2; }

as_root() {
  if [[ $(id -u) -eq 0 ]]; then
    "$@"
  elif command -v sudo >/dev/null; then
    sudo "$@"
  else
    echo "run.sh: need root or sudo to run: $*" >&2
    return 1
  fi
}

# Tools the benchmark needs, with the Debian package of each.
need=()
[[ -x /usr/bin/time ]] || need+=(time)
command -v cpp >/dev/null || need+=(cpp)
command -v python3 >/dev/null || need+=(python3)
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
if ! dpkg-query -W -f='${Status}' libbenchmark-dev 2>/dev/null | grep -q 'install ok installed'; then
  need+=(libbenchmark-dev)
fi
if ((${#need[@]})); then
  say "installing ${need[*]}"
  as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${need[@]}"
fi

say "building marloc (Release) in $BUILD"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DMARLO_BUILD_IDE=OFF -DMARLO_BUILD_TESTS=OFF \
  -DMARLO_BUILD_BENCH=ON >/dev/null
targets=(marloc)
((MICRO)) && targets+=(marlo_bench)
cmake --build "$BUILD" --parallel 2 --target "${targets[@]}" >/dev/null

say "writing the inputs into $WORK"
rm -rf "$WORK/lines100k" "$WORK/lines1m" "$WORK/files200" "$WORK/cob"
mkdir -p "$WORK"
python3 "$ROOT/bench/generate.py" --lines 100000 --out "$WORK/lines100k"
python3 "$ROOT/bench/generate.py" --lines 1000000 --out "$WORK/lines1m"
python3 "$ROOT/bench/generate.py" --files 200 --lines 2000 --out "$WORK/files200"

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //' || true)
say "machine: $(nproc) cores, ${cpu:-unknown cpu}; $(cpp --version | head -1)"
python3 "$ROOT/bench/measure.py" --marloc "$BUILD/cli/marloc" --small "$WORK/lines100k" --large "$WORK/lines1m" \
  --files "$WORK/files200" --work "$WORK" --runs "$RUNS" --large-runs "$LARGE_RUNS" --timeout "$TIMEOUT"

if ((MICRO)); then
  say "micro-benchmarks"
  "$BUILD/bench/marlo_bench"
fi
