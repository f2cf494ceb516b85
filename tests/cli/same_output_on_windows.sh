#!/usr/bin/env bash
# marloc.exe must write what marloc writes on Linux, byte for byte: the .cob
# files, the messages and the --disasm listings of every example and of every
# golden compile input, and the -E text of the examples. Then paths in the
# Windows form: drive letters and backslashes in -I, -o, the file names and
# #include, and a .cob written over an existing one.
#
#   same_output_on_windows.sh MARLOC MARLOC_EXE WORK_DIR [RUNNER...]
#
# Run from the top of the source tree. RUNNER runs a Windows program (for
# example cmake/wine_run.sh build-windows/wine); without one MARLOC_EXE is
# run directly. Paths in the Windows form use Wine's drive Z:, the root.
set -uo pipefail

if (($# < 3)); then
  sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
fi
marloc=$1
marloc_exe=$2
work=$3
shift 3
runner=("$@")

rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

# Nothing else is worth trying when the program does not start.
linux_version=$("$marloc" --version)
windows_version=$("${runner[@]}" "$marloc_exe" --version 2>&1 | tr -d '\r')
if [[ $windows_version != "$linux_version" ]]; then
  echo "same_output_on_windows.sh: $marloc_exe --version gave '$windows_version', not '$linux_version'" >&2
  exit 1
fi

# compare NAME OPTIONS... -- FILES...: one run of each program over the
# files, into folders of their own; stdout, stderr and the .cob files compared.
compared=0
compare() {
  local name=$1 options=() files
  shift
  while [[ $1 != -- ]]; do
    options+=("$1")
    shift
  done
  shift
  files=("$@")
  local linux=$work/$name/linux windows=$work/$name/windows
  mkdir -p "$linux" "$windows"
  "$marloc" "${options[@]}" --disasm -o "$linux" "${files[@]}" >"$linux.out" 2>"$linux.err"
  "${runner[@]}" "$marloc_exe" "${options[@]}" --disasm -o "$windows" "${files[@]}" >"$windows.out" 2>"$windows.err"
  # Standard error stays in text mode on Windows.
  cmp -s "$linux.out" "$windows.out" || fail "$name: standard output differs: diff $linux.out $windows.out"
  tr -d '\r' <"$windows.err" | cmp -s "$linux.err" - || fail "$name: standard error differs: $linux.err $windows.err"
  if [[ $(ls "$linux") != "$(ls "$windows")" ]]; then
    fail "$name: not the same .cob files: ls $linux $windows"
  fi
  local cob
  for cob in "$linux"/*.cob; do
    [[ -e $cob ]] || continue
    compared=$((compared + 1))
    cmp -s "$cob" "$windows/${cob##*/}" || fail "$name: ${cob##*/} differs"
  done
}

compare examples -I examples/include -- examples/*.bos
compare examples-extended -X -- examples/extended/*.bos
inputs=0
for group in tests/data/compile/*/; do
  group=${group%/}
  options=()
  [[ ${group##*/} == extended ]] && options=(-X)
  cases=("$group"/*.bos)
  inputs=$((inputs + ${#cases[@]}))
  compare "compile-${group##*/}" "${options[@]}" -- "${cases[@]}"
done

# -E prints the text byte for byte, LF line ends included.
"$marloc" -E -I examples/include examples/*.bos >"$work/examples.linux.i" 2>&1
"${runner[@]}" "$marloc_exe" -E -I examples/include examples/*.bos >"$work/examples.windows.i" 2>&1
cmp -s "$work/examples.linux.i" "$work/examples.windows.i" || fail "-E: the preprocessed text differs"

# Paths in the Windows form. The header beside the script is found with -X
# through a backslash path, the other through a drive letter in -I.
paths=$work/paths
mkdir -p "$paths/src" "$paths/inc/weapons" "$paths/linux" "$paths/windows"
printf '#define RELOAD 30\n' >"$paths/inc/weapons/gun.h"
printf '#define TURRET_SPEED <90>\n' >"$paths/src/local.h"
body=$'piece base, turret;\ncreate()\n{\n\tturn turret to y-axis TURRET_SPEED now;\n\tsleep RELOAD;\n}\n'
printf '#include "local.h"\n#include "weapons/gun.h"\n%s' "$body" >"$paths/src/Unit.bos"
printf '#include "local.h"\n#include "weapons\\gun.h"\n%s' "$body" >"$paths/src/UnitWin.bos"
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
"$marloc" -X -I "$paths/inc" -o "$paths/linux" "$paths/src/Unit.bos" >/dev/null ||
  fail "paths: Linux marloc failed on $paths/src/Unit.bos"
for run in first again; do
  # The second run writes over the .cob of the first.
  if ! "${runner[@]}" "$marloc_exe" -X -I "$(windows_path "$paths/none");$(windows_path "$paths/inc")\\" \
    -o "$(windows_path "$paths/windows")" "$(windows_path "$paths/src/UnitWin.bos")" >"$paths/windows.out" 2>&1; then
    fail "paths ($run run): marloc.exe failed: $(tr -d '\r' <"$paths/windows.out")"
  fi
done
cmp -s "$paths/linux/Unit.cob" "$paths/windows/UnitWin.cob" || fail "paths: the .cob differs"
leftover=$(find "$paths/windows" -name '*.tmp')
[[ -z $leftover ]] || fail "paths: temporary files left: $leftover"

if ((failures)); then
  echo "same_output_on_windows.sh: $failures difference(s); the outputs are in $work" >&2
  exit 1
fi
echo "marloc.exe and marloc: $compared .cob files byte-identical ($inputs golden inputs and the examples)," \
  "messages, listings and -E text identical, Windows paths work"
