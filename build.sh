#!/usr/bin/env bash
# Builds Marlo on Debian 12.
#
#   ./build.sh          install missing build dependencies, build into build/,
#                       then compile examples/*.bos with marloc into build/examples/
#   ./build.sh test     the same build, then every test (ctest), then the tests
#                       again under AddressSanitizer + UBSan in build-asan/
#   ./build.sh format   check that the C++ sources are clang-format clean
#
# With CI=true warnings are errors.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")"
ROOT=$PWD
MODE=${1:-build}
JOBS=${MARLO_JOBS:-2}

case "$MODE" in
  build | test | format) ;;
  -h | --help)
    sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'
    exit 0
    ;;
  *)
    echo "build.sh: unknown command '$MODE' (use: ./build.sh [test|format])" >&2
    exit 2
    ;;
esac

say() { printf '==> %s\n' "$*"; }

CORE_PACKAGES=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev clang-format)
IDE_PACKAGES=(qt6-base-dev libqscintilla2-qt6-dev)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing_of() {
  local pkg
  for pkg in "$@"; do installed "$pkg" || printf '%s\n' "$pkg"; done
}

as_root() {
  if [[ $(id -u) -eq 0 ]]; then
    "$@"
  elif command -v sudo >/dev/null; then
    sudo "$@"
  else
    echo "build.sh: need root or sudo to run: $*" >&2
    return 1
  fi
}

APT_UPDATED=0
apt_install() {
  if [[ $APT_UPDATED -eq 0 ]]; then
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
    APT_UPDATED=1
  fi
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@"
}

install_dependencies() {
  if ! command -v dpkg-query >/dev/null || ! command -v apt-get >/dev/null; then
    say "no apt-get here: using the tools already installed"
    return
  fi
  local missing
  mapfile -t missing < <(missing_of "${CORE_PACKAGES[@]}")
  if ((${#missing[@]})); then
    say "installing build dependencies: ${missing[*]}"
    apt_install "${missing[@]}"
  else
    say "build dependencies present"
  fi

  # The desktop program needs Qt; everything else builds without it.
  mapfile -t missing < <(missing_of "${IDE_PACKAGES[@]}")
  if ((${#missing[@]})); then
    say "installing Qt for the IDE: ${missing[*]}"
    apt_install "${missing[@]}" || say "could not install ${missing[*]}: the IDE will be skipped"
  fi
}

ide_option() {
  if [[ ! -f $ROOT/ide/CMakeLists.txt ]]; then
    say "IDE: not built yet (there is no ide/ in this tree) - skipped" >&2
    echo OFF
  elif installed qt6-base-dev && installed libqscintilla2-qt6-dev; then
    echo ON
  else
    say "IDE: Qt 6 or QScintilla is missing - skipped" >&2
    echo OFF
  fi
}

configure_and_build() {
  local dir=$1
  shift
  say "configuring $dir"
  cmake -S "$ROOT" -B "$dir" -G Ninja "$@"
  say "building $dir"
  cmake --build "$dir" --parallel "$JOBS"
}

werror_option() {
  if [[ ${CI:-} == true ]]; then echo ON; else echo OFF; fi
}

compile_examples() {
  local out=build/examples
  mkdir -p "$out"
  shopt -s nullglob
  local examples=(examples/*.bos)
  shopt -u nullglob
  if ((${#examples[@]} == 0)); then
    say "no examples/*.bos to compile"
    return
  fi
  say "compiling ${#examples[@]} example(s) into $out"
  build/cli/marloc -I examples/include --output-dir "$out" --jobs "$JOBS" "${examples[@]}"
  ls -l "$out"
}

format_check() {
  command -v clang-format >/dev/null || install_dependencies
  local files bad=0 f
  mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.h' '*.cpp' 2>/dev/null ||
    find . -path ./build\* -prune -o \( -name '*.h' -o -name '*.cpp' \) -print)
  for f in "${files[@]}"; do
    if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
      echo "not clang-format clean: $f"
      bad=1
    fi
  done
  if ((bad)); then
    echo "run: clang-format -i <file>" >&2
    exit 1
  fi
  say "all ${#files[@]} C++ files are clang-format clean"
}

if [[ $MODE == format ]]; then
  format_check
  exit 0
fi

START=$SECONDS
install_dependencies
IDE=$(ide_option)
configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARLO_WERROR="$(werror_option)" -DMARLO_BUILD_IDE="$IDE"
compile_examples

if [[ $MODE == test ]]; then
  say "running the tests in build/"
  ctest --test-dir build --output-on-failure --parallel "$JOBS"

  # The same tests once more with AddressSanitizer and UBSan; no IDE here.
  configure_and_build build-asan -DCMAKE_BUILD_TYPE=Debug -DMARLO_SANITIZE=ON -DMARLO_BUILD_IDE=OFF \
    -DMARLO_WERROR="$(werror_option)"
  say "running the tests in build-asan/ (AddressSanitizer + UBSan)"
  ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=0:detect_stack_use_after_return=1} \
    UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
    ctest --test-dir build-asan --output-on-failure --parallel "$JOBS"
fi

say "done in $((SECONDS - START)) s"
