#!/usr/bin/env bash
# Runs one marloc case (tests/data/marloc/README.md): the case's files are
# copied to WORK_DIR, each "$ " line of its transcript runs there in bash,
# `marloc` standing for the binary, and the transcript written anew from what
# the commands print must equal the case's. MARLO_UPDATE=1 writes it into the
# case instead, for a new case to be checked by hand.
#
#   marloc_case.sh MARLOC VERSION CASE_DIR WORK_DIR
set -uo pipefail
export LC_ALL=C MARLOC
MARLOC=$(realpath "$1") version=$2 case_dir=$(realpath "$3") work=$(realpath -m "$4")
actual=$work.transcript
rm -rf "$work" && mkdir -p "$work" && cp -R "$case_dir/." "$work/" && rm "$work/transcript" && cd "$work" || exit 1
marloc() { "$MARLOC" "$@"; }
export -f marloc

# A file's text; one that does not end a line is marked so.
show() {
  [[ -s $1 ]] || return 0
  cat "$1"
  [[ -z $(tail -c 1 "$1") ]] || printf '\n\\ no newline at end\n'
}

while IFS= read -r line; do
  case $line in
    '#'*) echo "$line" ;;
    '$ '*)
      echo "$line"
      bash -c "${line:2}" >"$work.out" 2>"$work.err" </dev/null
      status=$?
      show "$work.out"
      [[ ! -s $work.err ]] || { echo '--- stderr' && show "$work.err"; }
      ((status == 0)) || echo "--- exit $status"
      ;;
  esac
done <"$case_dir/transcript" >"$actual"

# The files that are new or no longer as the case has them.
echo '--- files' >>"$actual"
find . -mindepth 1 \( -type f -o -type l \) | sort | while IFS= read -r file; do
  file=${file#./}
  if [[ -L $file ]]; then
    echo "$file -> $(readlink "$file")"
  elif ! cmp -s "$file" "$case_dir/$file"; then
    cksum "$file"
  fi
done >>"$actual"
sed -i "s/${version//./\\.}/@VERSION@/g" "$actual"

if [[ ${MARLO_UPDATE:-} == 1 ]]; then
  cp "$actual" "$case_dir/transcript"
else
  diff -u "$case_dir/transcript" "$actual"
fi
