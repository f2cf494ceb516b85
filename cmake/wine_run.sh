#!/bin/sh
# Runs a Windows program under Wine, as CMake's cross-compiling emulator:
#
#   wine_run.sh PREFIX PROGRAM.exe [ARGS...]
#
# PREFIX is a Wine folder of its own (made on the first run), so that tests
# touch no one's ~/.wine. Quiet and without windows, for CI: no debug
# output, no display, no offer to install Mono or Gecko, no menu entries.
set -eu
prefix=$1
shift
case $prefix in
  /*) ;;
  *) prefix=$PWD/$prefix ;; # Wine takes absolute paths only
esac
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY

if command -v wine >/dev/null 2>&1; then
  wine=wine
elif command -v wine64 >/dev/null 2>&1; then
  wine=wine64
else
  wine=/usr/lib/wine/wine64
fi
if command -v wineserver >/dev/null 2>&1; then
  server=wineserver
else
  server=/usr/lib/wine/wineserver64
fi

# The first start sets the prefix up; tests run in parallel wait for it
# instead of each setting it up at once. A hang ends after five minutes.
if [ ! -f "$prefix/.ready" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/.ready" ]; then
      timeout 300 "$wine" wineboot -i >"$prefix-setup.log" 2>&1 || {
        echo "wine_run.sh: wineboot failed or hung in $prefix" >&2
        exit 1
      }
      # Its server goes before the one below can start.
      timeout 60 "$server" -w || true
      touch "$prefix/.ready"
    fi
  ) 9>"$prefix.lock"
fi

# Debian's Wine starts a server for each program and ends it with the program
# (-p0); one that stays 30 s after its last program serves a whole test run
# at half the time, then goes. When one runs already, this does nothing.
"$server" -p30 >/dev/null 2>&1 || true

# A start can fail without running the program at all when the server comes
# or goes under tests run in parallel (seen once in some hundred runs): a
# failed run is run once more, and the second one's output and status count.
# A test that really fails fails twice.
out=$(mktemp)
if "$wine" "$@" >"$out" 2>&1; then
  cat "$out"
  rm -f "$out"
  exit 0
fi
rm -f "$out"
exec "$wine" "$@"
