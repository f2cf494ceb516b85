#!/usr/bin/env bash
# Builds Marlo on Debian 12.
#
#   ./build.sh          install missing build dependencies, build into build/,
#                       then compile the examples (extended/ with -X) into build/examples/
#   ./build.sh test     the same build, then every test (ctest), then the tests
#                       again under AddressSanitizer + UBSan in build-asan/,
#                       then the Windows build's tests under Wine, then each
#                       fuzz target for 30 s when clang 14 is there
#   ./build.sh windows  cross-build the core, marloc.exe and their tests for
#                       Windows with MinGW-w64 into build-windows/
#   ./build.sh fuzz [S] build the fuzz targets in build-fuzz/, seed them and
#                       run each for S seconds (60)
#   ./build.sh format   check that the C++ sources are clang-format clean
#
# With CI=true warnings are errors. MARLO_FUZZ_SECONDS=0 ./build.sh test
# leaves the fuzz run out, MARLO_WINDOWS=0 the Windows part.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")"
ROOT=$PWD
MODE=${1:-build}
JOBS=${MARLO_JOBS:-2}

case "$MODE" in
  build | test | format | fuzz | windows) ;;
  -h | --help)
    sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'
    exit 0
    ;;
  *)
    echo "build.sh: unknown command '$MODE' (use: ./build.sh [test|windows|fuzz [SECONDS]|format])" >&2
    exit 2
    ;;
esac

say() { printf '==> %s\n' "$*"; }

CORE_PACKAGES=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev clang-format nlohmann-json3-dev)
IDE_PACKAGES=(qt6-base-dev libqscintilla2-qt6-dev qt6-multimedia-dev libqt6svg6)
FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)
# The Windows build: MinGW-w64 with POSIX threads, GoogleTest's sources to
# build with it, and Wine to run the result.
WINDOWS_PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix googletest)
WINE_PACKAGES=(wine64 wine)
# Servers the network tests start on 127.0.0.1, the virtual X server,
# clipboard owner and system-call tracer of two desktop tests, and the editor
# the language server's end-to-end test drives (they skip without them).
TEST_PACKAGES=(python3 python3-aiosmtpd tinyproxy xvfb xauth xclip strace neovim)
FUZZ_TARGETS=(scanner preprocessor evaluator compiler cob lsp_reader)

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
  else
    say "compiling ${#examples[@]} example(s) into $out"
    build/cli/marloc -I examples/include --output-dir "$out" --jobs "$JOBS" "${examples[@]}"
    ls -l "$out"
  fi

  # Today's unit scripts, in the extended language; their headers lie beside them.
  local extended_out=build/examples/extended
  shopt -s nullglob
  local extended=(examples/extended/*.bos)
  shopt -u nullglob
  if ((${#extended[@]} == 0)); then
    return
  fi
  mkdir -p "$extended_out"
  say "compiling ${#extended[@]} extended example(s) into $extended_out"
  build/cli/marloc -X --output-dir "$extended_out" --jobs "$JOBS" "${extended[@]}"
  ls -l "$extended_out"
}

format_check() {
  command -v clang-format >/dev/null || install_dependencies
  local files bad=0 f
  # BOS headers (examples/, tests/data/) are script text, not C++.
  mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.h' '*.cpp' \
    ':!:examples/*' ':!:tests/data/*' 2>/dev/null ||
    find . \( -path ./build\* -o -path ./examples -o -path ./tests/data \) -prune -o \
    \( -name '*.h' -o -name '*.cpp' \) -print)
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

# Tests of permission faults skip when run as root, who may write anywhere:
# as root, they run once more as the user nobody.
UNPRIVILEGED_TESTS=(
  "tests/cli/marloc_e2e_tests --gtest_filter=*NobodyMayWrite*"
  "tests/ide/tst_main_window failedSaveLosesNothing"
)
run_unprivileged() {
  local dir=$1 home test
  if [[ $(id -u) -ne 0 ]] || ! command -v setpriv >/dev/null || ! id nobody >/dev/null 2>&1; then
    say "unprivileged tests: not root, or no setpriv or user nobody - not run again"
    return
  fi
  home=$(mktemp -d)
  mkdir -m 700 "$home/run"
  chown -R nobody "$home"
  local as_nobody=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups
    env HOME="$home" TMPDIR="$home" XDG_RUNTIME_DIR="$home/run" XDG_CONFIG_HOME="$home/config"
    XDG_DATA_HOME="$home/data" QT_QPA_PLATFORM=offscreen)
  if ! "${as_nobody[@]}" test -x "$ROOT/$dir/tests/cli/marloc_e2e_tests"; then
    say "unprivileged tests: nobody cannot reach $ROOT/$dir - not run again"
    rm -rf "$home"
    return
  fi
  for test in "${UNPRIVILEGED_TESTS[@]}"; do
    read -r -a words <<<"$test"
    [[ -x $ROOT/$dir/${words[0]} ]] || continue
    say "as nobody: $test"
    "${as_nobody[@]}" "$ROOT/$dir/${words[0]}" "${words[@]:1}" || {
      rm -rf "$home"
      echo "build.sh: $test failed as the user nobody" >&2
      exit 1
    }
  done
  rm -rf "$home"
}

# libFuzzer comes with clang 14; true when it is (or could be made) present.
fuzz_tools() {
  local missing
  if command -v dpkg-query >/dev/null && command -v apt-get >/dev/null; then
    mapfile -t missing < <(missing_of "${FUZZ_PACKAGES[@]}")
    if ((${#missing[@]})); then
      say "installing clang for fuzzing: ${missing[*]}"
      apt_install "${missing[@]}" || return 1
    fi
  fi
  command -v clang++-14 >/dev/null
}

# Builds the fuzz targets in build-fuzz/ (as the fuzz preset does), seeds
# their corpora and runs each for $1 seconds; a find fails the run.
fuzz_run() {
  local seconds=$1 target log runs
  configure_and_build_targets build-fuzz "fuzz_all" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++-14 -DMARLO_BUILD_FUZZ=ON -DMARLO_BUILD_TESTS=OFF -DMARLO_BUILD_IDE=OFF \
    -DMARLO_WERROR="$(werror_option)"
  [[ -x build/cli/marloc ]] || configure_and_build_targets build-fuzz marloc
  say "seeding build-fuzz/corpus/"
  fuzz/seed.sh build-fuzz
  mkdir -p build-fuzz/logs
  for target in "${FUZZ_TARGETS[@]}"; do
    log=build-fuzz/logs/$target.log
    say "fuzz_$target for $seconds s (log: $log)"
    if ! fuzz/run.sh "$target" -max_total_time="$seconds" >"$log" 2>&1; then
      tail -n 60 "$log"
      echo "build.sh: fuzz_$target found a fault; the input is in build-fuzz/artifacts/$target/" >&2
      exit 1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    say "fuzz_$target: ${runs:-?} runs, nothing found"
  done
}

configure_and_build_targets() {
  local dir=$1 targets=$2
  shift 2
  if (($#)); then
    say "configuring $dir"
    cmake -S "$ROOT" -B "$dir" -G Ninja "$@"
  fi
  say "building $targets in $dir"
  # shellcheck disable=SC2086 # a list of targets
  cmake --build "$dir" --parallel "$JOBS" --target $targets
}

# MinGW-w64 and GoogleTest's sources for the Windows build; false when they
# are missing and cannot be installed.
windows_compiler() {
  local missing
  if command -v dpkg-query >/dev/null && command -v apt-get >/dev/null; then
    mapfile -t missing < <(missing_of "${WINDOWS_PACKAGES[@]}")
    if ((${#missing[@]})); then
      say "installing the Windows cross compiler: ${missing[*]}"
      apt_install "${missing[@]}" || return 1
    fi
  fi
  command -v x86_64-w64-mingw32-g++-posix >/dev/null && [[ -f /usr/src/googletest/CMakeLists.txt ]]
}

# Wine, which runs the Windows tests (CMake finds it when configuring).
windows_wine() {
  local missing
  if command -v dpkg-query >/dev/null && command -v apt-get >/dev/null; then
    mapfile -t missing < <(missing_of "${WINE_PACKAGES[@]}")
    if ((${#missing[@]})); then
      say "installing Wine: ${missing[*]}"
      apt_install "${missing[@]}" || return 1
    fi
  fi
  command -v wine >/dev/null || command -v wine64 >/dev/null || [[ -x /usr/lib/wine/wine64 ]]
}

WINDOWS_DIR=build-windows
windows_build() {
  configure_and_build "$WINDOWS_DIR" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARLO_BUILD_IDE=OFF -DMARLO_BUILD_LSP=OFF \
    -DMARLO_GTEST_SOURCE_DIR=/usr/src/googletest -DMARLO_WERROR="$(werror_option)"
}

# ctest runs each test through cmake/wine_run.sh, whose Wine prefix lies in
# build-windows/wine; then marloc.exe is compared with Linux's marloc.
windows_tests() {
  local wine_run=("$ROOT/cmake/wine_run.sh" "$ROOT/$WINDOWS_DIR/wine")
  say "starting Wine in $WINDOWS_DIR/wine"
  if ! "${wine_run[@]}" cmd /c exit >/dev/null 2>&1; then
    say "Windows tests: Wine does not start here (see $WINDOWS_DIR/wine-setup.log) - not run"
    return
  fi
  say "running the tests in $WINDOWS_DIR/ under Wine"
  ctest --test-dir "$WINDOWS_DIR" --output-on-failure --parallel "$JOBS"
  say "comparing marloc.exe with build/cli/marloc"
  tests/cli/same_output_on_windows.sh build/cli/marloc "$WINDOWS_DIR/cli/marloc.exe" "$WINDOWS_DIR/same-output" \
    "${wine_run[@]}"
}

if [[ $MODE == windows ]]; then
  START=$SECONDS
  windows_compiler || {
    echo "build.sh: MinGW-w64 (${WINDOWS_PACKAGES[*]}) could not be installed" >&2
    exit 1
  }
  windows_wine || say "Wine could not be installed: the Windows tests cannot run here"
  windows_build
  say "done in $((SECONDS - START)) s"
  exit 0
fi

if [[ $MODE == format ]]; then
  format_check
  exit 0
fi

if [[ $MODE == fuzz ]]; then
  START=$SECONDS
  SECONDS_EACH=${2:-60}
  install_dependencies
  fuzz_tools || {
    echo "build.sh: clang-14 and libclang-rt-14-dev are needed for fuzzing" >&2
    exit 1
  }
  fuzz_run "$SECONDS_EACH"
  say "done in $((SECONDS - START)) s"
  exit 0
fi

START=$SECONDS
install_dependencies
IDE=$(ide_option)
configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARLO_WERROR="$(werror_option)" -DMARLO_BUILD_IDE="$IDE"
compile_examples

if [[ $MODE == test ]]; then
  if command -v dpkg-query >/dev/null && command -v apt-get >/dev/null; then
    mapfile -t missing < <(missing_of "${TEST_PACKAGES[@]}")
    if ((${#missing[@]})); then
      say "installing the test servers: ${missing[*]}"
      apt_install "${missing[@]}" || say "could not install ${missing[*]}: their tests will be skipped"
    fi
  fi
  say "running the tests in build/"
  ctest --test-dir build --output-on-failure --parallel "$JOBS"
  run_unprivileged build

  # The same tests once more with AddressSanitizer and UBSan, the desktop
  # program's on the offscreen platform too.
  configure_and_build build-asan -DCMAKE_BUILD_TYPE=Debug -DMARLO_SANITIZE=ON -DMARLO_BUILD_IDE="$IDE" \
    -DMARLO_WERROR="$(werror_option)"
  say "running the tests in build-asan/ (AddressSanitizer + UBSan)"
  ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=0:detect_stack_use_after_return=1} \
    UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
    ctest --test-dir build-asan --output-on-failure --parallel "$JOBS"

  # The Windows build and its tests under Wine, when both can be had.
  if [[ ${MARLO_WINDOWS:-1} != 0 ]]; then
    WINDOWS_START=$SECONDS
    if ! windows_compiler; then
      say "Windows: MinGW-w64 or GoogleTest's sources could not be installed - build and tests skipped"
    elif ! windows_wine; then
      windows_build
      say "Windows tests: Wine could not be installed - built, not run"
    else
      windows_build
      windows_tests
    fi
    say "the Windows part took $((SECONDS - WINDOWS_START)) s"
  fi

  # A short fuzz run of every target, when clang 14 can be had.
  FUZZ_SECONDS=${MARLO_FUZZ_SECONDS:-30}
  if ((FUZZ_SECONDS > 0)); then
    if fuzz_tools; then
      FUZZ_START=$SECONDS
      fuzz_run "$FUZZ_SECONDS"
      say "fuzzing took $((SECONDS - FUZZ_START)) s"
    else
      say "fuzzing: clang-14 or libclang-rt-14-dev is missing - skipped"
    fi
  fi
fi

say "done in $((SECONDS - START)) s"
