#!/usr/bin/env bash
# A real ninja build of three scripts with marloc -MD: the first build
# compiles all three, touching a header rebuilds only the script that
# includes it, touching an unrelated file rebuilds nothing.
#
#   tests/cli/ninja_depfiles.sh MARLOC WORK_DIR
set -euo pipefail
marloc=$1
work=$2
if ! command -v ninja >/dev/null; then
  echo "ninja is not installed: skipped"
  exit 77
fi
rm -rf "$work"
mkdir -p "$work/inc"
cd "$work"
printf 'piece base;\r\n' >inc/shared.h
printf 'static-var s;\r\n' >inc/other.h
printf '#include "shared.h"\r\ncreate ()\r\n{\r\n  hide base;\r\n}\r\n' >a.bos
printf '#include "other.h"\r\ncreate ()\r\n{\r\n  s = 1;\r\n}\r\n' >b.bos
printf 'create ()\r\n{\r\n}\r\n' >c.bos
echo notes >unrelated.txt
cat >build.ninja <<NINJA
rule bos
  command = $marloc -MD -I inc -o out \$in >/dev/null
  depfile = \$out.d
  deps = gcc
build out/a.cob: bos a.bos
build out/b.cob: bos b.bos
build out/c.cob: bos c.bos
NINJA
mkdir -p out

# How many edges a ninja run carried out.
built() { ninja | grep -c '^\[' || true; }
expect() {
  if [[ $1 != "$2" ]]; then
    echo "$3: expected $2 builds, got $1" >&2
    exit 1
  fi
}

expect "$(built)" 3 "first build"
expect "$(built)" 0 "second build, nothing changed"
sleep 1.1 # file times in whole seconds on some file systems
touch inc/shared.h
expect "$(built)" 1 "after touching inc/shared.h"
[[ out/a.cob -nt inc/shared.h ]] || {
  echo "out/a.cob was not rebuilt" >&2
  exit 1
}
touch unrelated.txt
expect "$(built)" 0 "after touching an unrelated file"
echo "ninja rebuilt exactly what the headers made stale"
