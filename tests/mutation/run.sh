#!/usr/bin/env bash
# Mutation run, by hand (not part of CI): proves that the test suite catches
# the faults seeded in tests/mutation/faults.txt (its header gives the format).
#
#   tests/mutation/run.sh [FAULTS_FILE] [--only N|N-M] [--check]
#
#   --only N   fault N alone (counted from 1 in file order); N-M: N to M
#   --check    only check that each original line occurs exactly once
#
# Each fault is applied (the line's indentation kept), the tree rebuilt and
# tested, and the file restored, also on Ctrl+C or an error, then checked
# unchanged with git. CAUGHT: a test failed or timed out; MISSED: all passed;
# BROKEN: the fault did not compile (or its build timed out); STALE: its line
# is not found exactly once. Faults in ide/ and net/ use build-mutation-ide
# (the desktop program and the 'ide/' tests), all others build-mutation-core
# (no desktop program, every test): RelWithDebInfo, configured once, reused,
# and first checked to pass untouched. Logs go to build-mutation-logs/.
#
# Environment: MUTATION_JOBS (2); MUTATION_TIMEOUT, seconds per build and per
# test run (900); MUTATION_EXCLUDE, a ctest -E regex of tests left out (none
# by default).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
FAULTS=$ROOT/tests/mutation/faults.txt ONLY="" CHECK_ONLY=false
while (($#)); do
  case $1 in
    --only) ONLY=${2:?--only needs N or N-M}; shift 2 ;;
    --check) CHECK_ONLY=true; shift ;;
    -h | --help) awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"; exit 0 ;;
    *) FAULTS=$1; shift ;;
  esac
done
JOBS=${MUTATION_JOBS:-2} LIMIT=${MUTATION_TIMEOUT:-900}
EXCLUDE=${MUTATION_EXCLUDE-}
LOGS=$ROOT/build-mutation-logs

# ---- the fault list, in parallel arrays (index 0 is fault 1)
PATHS=() ORIGS=() REPLS=()
trim() { local s=$1; s=${s#"${s%%[![:space:]]*}"}; printf '%s' "${s%"${s##*[![:space:]]}"}"; }
while IFS= read -r line || [[ -n $line ]]; do
  case $line in
    '#'* | '') ;;
    '- '*) ORIGS+=("$(trim "${line:2}")") ;;
    '+ '* | '+') REPLS+=("$(trim "${line:1}")") ;;
    *) PATHS+=("$(trim "$line")") ;;
  esac
done <"$FAULTS"
if ((${#PATHS[@]} != ${#ORIGS[@]} || ${#PATHS[@]} != ${#REPLS[@]})); then
  echo "run.sh: $FAULTS: every entry needs a path, a '- ' line and a '+ ' line" >&2
  exit 2
fi

# How many lines of FILE read ORIG once trimmed; given REPL, prints FILE with
# such a line replaced instead, its indentation kept.
match_lines() {  # FILE ORIG [REPL]
  ORIG=$2 REPL=${3-} DO=${3+1} awk '{ t = $0; sub(/^[ \t]+/, "", t); sub(/[ \t\r]+$/, "", t)
    hit = (t == ENVIRON["ORIG"]); n += hit
    if (ENVIRON["DO"] == "") next
    if (hit) { match($0, /^[ \t]*/); print substr($0, 1, RLENGTH) ENVIRON["REPL"] } else print }
    END { if (ENVIRON["DO"] == "") print n + 0 }' "$ROOT/$1"
}
found_once() { [[ $(match_lines "$1" "$2" 2>/dev/null || echo 0) == 1 ]]; }

# ---- restoring. Messages go to fd 3, the first standard error: a trap may
# run while a build's or a test's output is redirected.
exec 3>&2
APPLIED="" BACKUP=$(mktemp) CHILD=""
restore() {
  [[ -n $APPLIED ]] || return 0
  cat "$BACKUP" >"$ROOT/$APPLIED"  # a new mtime, so that the next build recompiles it
  git -C "$ROOT" diff --quiet -- "$APPLIED" || { echo "run.sh: $APPLIED NOT restored" >&3; exit 3; }
  APPLIED=""
}
on_signal() {
  if [[ -n $CHILD ]]; then kill -TERM "$CHILD" 2>/dev/null || true; fi
  restore
  echo "run.sh: interrupted, files restored" >&3
  exit 130
}
trap on_signal INT TERM
trap 'restore; rm -f "$BACKUP" "$BACKUP.new"' EXIT

# A command under the time limit, waited for in the background so that a
# signal is handled at once; its status, 124 when the limit struck.
limited() {
  local rc=0
  timeout "$LIMIT" nice "$@" & CHILD=$!
  wait "$CHILD" || rc=$?
  CHILD=""
  return "$rc"
}

# ---- building and testing
area_of() { [[ $1 == ide/* || $1 == net/* ]] && echo ide || echo core; }
build() {  # AREA LOG
  local dir=$ROOT/build-mutation-$1 targets=() ide=OFF
  : >"$2"
  if [[ $1 == ide ]]; then  # the desktop program and its tests only
    ide=ON
    targets=(--target marlo $(cd "$ROOT/tests/ide" && ls tst_*.cpp | sed 's/\.cpp$//'))
  fi
  [[ -f $dir/build.ninja ]] ||
    cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARLO_BUILD_IDE=$ide >>"$2" 2>&1 || return 1
  limited cmake --build "$dir" -j "$JOBS" "${targets[@]}" >>"$2" 2>&1
}
run_tests() {  # AREA LOG
  local filter=()
  [[ $1 == ide ]] && filter=(-R '^ide/')
  [[ -n $EXCLUDE ]] && filter+=(-E "$EXCLUDE")
  limited ctest --test-dir "$ROOT/build-mutation-$1" -j "$JOBS" --timeout 120 --stop-on-failure \
    --no-tests=error "${filter[@]}" >"$2" 2>&1
}

# ---- which faults
FIRST=1 LAST=${#PATHS[@]}
[[ -n $ONLY ]] && FIRST=${ONLY%-*} LAST=${ONLY#*-}
((FIRST >= 1 && FIRST <= LAST && LAST <= ${#PATHS[@]})) || { echo "run.sh: no faults $ONLY" >&2; exit 2; }
if $CHECK_ONLY; then
  bad=0
  for ((n = FIRST; n <= LAST; n++)); do
    found_once "${PATHS[n - 1]}" "${ORIGS[n - 1]}" || { echo "fault $n: not found exactly once in ${PATHS[n - 1]}"; bad=1; }
  done
  ((bad)) || echo "all $((LAST - FIRST + 1)) faults found exactly once"
  exit "$bad"
fi

mkdir -p "$LOGS"
echo "Mutation run on $(git -C "$ROOT" rev-parse --short HEAD), faults $FIRST-$LAST of ${FAULTS#"$ROOT/"}"
declare -A ready=()
for ((n = FIRST; n <= LAST; n++)); do
  area=$(area_of "${PATHS[n - 1]}")
  [[ -z ${ready[$area]:-} ]] || continue
  echo "baseline: build-mutation-$area builds and passes its tests untouched"
  build "$area" "$LOGS/baseline-$area.build.log" || { echo "run.sh: the untouched tree does not build" >&2; exit 1; }
  run_tests "$area" "$LOGS/baseline-$area.test.log" || { echo "run.sh: the untouched tree fails its tests" >&2; exit 1; }
  ready[$area]=1
done

# Progress goes to standard error; the table and the summary to standard output.
RESULTS=() caught=0 missed=0 broken=0 stale=0
for ((n = FIRST; n <= LAST; n++)); do
  path=${PATHS[n - 1]} area=$(area_of "${PATHS[n - 1]}") t0=$SECONDS
  if ! found_once "$path" "${ORIGS[n - 1]}"; then
    result=STALE && ((++stale))
  else
    git -C "$ROOT" diff --quiet -- "$path" || { echo "run.sh: $path has local changes" >&2; exit 1; }
    cp "$ROOT/$path" "$BACKUP"
    APPLIED=$path
    match_lines "$path" "${ORIGS[n - 1]}" "${REPLS[n - 1]}" >"$BACKUP.new"
    cat "$BACKUP.new" >"$ROOT/$path"
    if ! build "$area" "$LOGS/fault-$n.build.log"; then
      result=BROKEN && ((++broken))
    elif run_tests "$area" "$LOGS/fault-$n.test.log"; then
      result=MISSED && ((++missed))
    else
      result=CAUGHT && ((++caught))
    fi
    restore
  fi
  RESULTS+=("$(printf '%3d  %-6s %4ss  %s: %s' "$n" "$result" $((SECONDS - t0)) "$path" "${REPLS[n - 1]}")")
  echo "${RESULTS[-1]}" >&2
done

printf '\n  #  result  time  file: faulty line\n'
printf '%s\n' "${RESULTS[@]}"
echo
echo "$caught caught, $missed missed, $broken broken of $((LAST - FIRST + 1))"
((stale == 0)) || echo "$stale stale: the original line is not found exactly once"
echo "run time $((SECONDS / 60)) min $((SECONDS % 60)) s"
