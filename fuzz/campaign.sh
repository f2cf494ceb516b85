#!/usr/bin/env bash
# The long fuzzing run: each target until it has executed GOAL inputs in
# total, in parts of at most MARLO_FUZZ_PART_SECONDS (3600) each, at low
# priority:
#
#   fuzz/campaign.sh [GOAL] [TARGET...]     (default: 10000000, all six)
#
# Every finished part appends a line to BUILD_DIR/campaign/runs.tsv (target,
# start, seconds, executions, outcome); the totals so far come from that
# file, so a campaign stopped half-way goes on where it was when started
# again; an interrupted part (SIGINT to the fuzzer) is counted as "stopped"
# and ends the campaign. A part that ends in a crash or sanitizer report stops the campaign
# with the find's path. A timeout is replayed first: when the input runs
# well within the limit on its own, the machine was busy (the limit is wall
# time) and the part counts as a stall, not a find.
set -uo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
BUILD=${MARLO_FUZZ_BUILD:-build-fuzz}
GOAL=${1:-10000000}
shift || true
TARGETS=("$@")
[[ ${#TARGETS[@]} -gt 0 ]] || TARGETS=(scanner evaluator compiler cob preprocessor lsp_reader)
LOG_DIR=$BUILD/campaign
RUNS=$LOG_DIR/runs.tsv
mkdir -p "$LOG_DIR"
[[ -f $RUNS ]] || printf 'target\tstart\tseconds\texecutions\toutcome\n' >"$RUNS"

total_of() { awk -F'\t' -v t="$1" '$1 == t { s += $4 } END { print s + 0 }' "$RUNS"; }

for target in "${TARGETS[@]}"; do
  while :; do
    done_so_far=$(total_of "$target")
    left=$((GOAL - done_so_far))
    ((left > 0)) || break
    start=$(date -u +%Y-%m-%dT%H:%M:%SZ)
    began=$SECONDS
    part_log=$LOG_DIR/$target.part.$$.log
    before=$(ls "$BUILD/artifacts/$target" 2>/dev/null | sort)
    nice -n 19 fuzz/run.sh "$target" -runs="$left" -max_total_time="${MARLO_FUZZ_PART_SECONDS:-3600}" >"$part_log" 2>&1
    rc=$?
    executed=$(sed -n 's/^stat::number_of_executed_units: //p' "$part_log" | tail -1)
    if [[ -z $executed ]]; then
      # A crash leaves no final statistics; the last status line has the count.
      executed=$(grep -o '^#[0-9]*' "$part_log" | tail -1 | tr -d '#')
    fi
    executed=${executed:-0}
    outcome=ok
    if ((rc != 0)) && [[ -z $(ls "$BUILD/artifacts/$target" 2>/dev/null | sort | comm -13 <(echo "$before") -) ]] &&
      grep -q 'libFuzzer: run interrupted' "$part_log"; then
      # Interrupted (Ctrl-C, or SIGINT to the fuzzer): what ran still counts.
      printf '%s\t%s\t%s\t%s\t%s\n' "$target" "$start" $((SECONDS - began)) "$executed" stopped >>"$RUNS"
      echo "campaign: stopped; $target has run $(total_of "$target") inputs" >&2
      exit 130
    elif ((rc != 0)); then
      find=$(comm -13 <(echo "$before") <(ls "$BUILD/artifacts/$target" 2>/dev/null | sort) | tail -1)
      outcome="rc=$rc ${find:-no artifact}"
      if [[ $find == timeout-* ]]; then
        replay_began=$(date +%s%N)
        ASAN_OPTIONS= "$BUILD/fuzz/fuzz_$target" "$BUILD/artifacts/$target/$find" >/dev/null 2>&1
        replay_ms=$((($(date +%s%N) - replay_began) / 1000000))
        if ((replay_ms < 500)); then
          outcome="stall: $find replays in $replay_ms ms"
          mv "$BUILD/artifacts/$target/$find" "$LOG_DIR/stall-$target-$find"
        fi
      fi
    fi
    printf '%s\t%s\t%s\t%s\t%s\n' "$target" "$start" $((SECONDS - began)) "$executed" "$outcome" >>"$RUNS"
    if [[ $outcome != ok && $outcome != stall:* ]]; then
      echo "campaign: $target found something: $outcome (log: $part_log)" >&2
      exit 1
    fi
  done
  echo "campaign: $target has run $(total_of "$target") inputs"
done
