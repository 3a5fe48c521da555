#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test:
#   native       unit tests against the headless platform
#   native-asan  the same under AddressSanitizer and UndefinedBehaviorSanitizer
#   win32        INSTALL.EXE and the Windows tests, run under Wine on a private Xvfb display
#   win64        the same for the 64-bit build, where the kernel runs no 32-bit code
# Every stage runs even if an earlier one failed; the exit code is non-zero if any failed.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/setup-deps.sh || { echo "setup-deps failed" >&2; exit 1; }

jobs=$(nproc 2>/dev/null || echo 2)
failed_stages=()
total_passed=0
total_failed=0
log_dir="$root/build/test-logs"
mkdir -p "$log_dir"

stage() {
  local preset=$1
  local start=$SECONDS
  echo "=== $preset: configure and build"
  if ! cmake --preset "$preset" >"$log_dir/$preset-configure.log" 2>&1; then
    cat "$log_dir/$preset-configure.log"
    failed_stages+=("$preset (configure)")
    return
  fi
  if ! cmake --build --preset "$preset" -j"$jobs" >"$log_dir/$preset-build.log" 2>&1; then
    tail -n 60 "$log_dir/$preset-build.log"
    failed_stages+=("$preset (build)")
    return
  fi
  echo "=== $preset: test"
  run_ctest "$preset" tests -j"$jobs"
  echo "=== $preset: $((SECONDS - start)) s"
}

# run_ctest PRESET WHAT [CTEST ARGS...]: runs the preset's tests, adds them to
# the totals, and records the stage "PRESET (WHAT)" as failed if any failed.
run_ctest() {
  local preset=$1 what=$2
  shift 2
  ctest --preset "$preset" "$@" 2>&1 | tee "$log_dir/$preset-ctest.log"
  local rc=${PIPESTATUS[0]}
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log_dir/$preset-ctest.log" | tail -n 1)
  if [[ $line =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
    total_failed=$((total_failed + BASH_REMATCH[1]))
    total_passed=$((total_passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
  fi
  [ "$rc" -eq 0 ] || failed_stages+=("$preset ($what)")
}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# The product build and the checks of its program file that need no Wine
# (label "static"): where Wine cannot run it.
build_only() {
  local preset=$1
  echo "=== $preset: configure and build (its Wine tests run on the 64-bit build below)"
  if ! { cmake --preset "$preset" && cmake --build --preset "$preset" -j"$jobs"; } >"$log_dir/$preset-build.log" 2>&1; then
    tail -n 60 "$log_dir/$preset-build.log"
    failed_stages+=("$preset (build)")
    return
  fi
  echo "=== $preset: checks without Wine"
  run_ctest "$preset" checks -L static
}

stage native
stage native-asan
# INSTALL.EXE ships as a 32-bit program and its Wine tests run it where the
# kernel runs 32-bit code. Where it does not (IA-32 emulation switched off, as
# on some virtual machines), the product is still built, and the same sources
# built for 64-bit Windows take its place under 64-bit Wine.
wine_preset=$(bash scripts/wine-preset.sh)
if [ "$wine_preset" = win32 ]; then
  stage win32
else
  echo "=== this machine's kernel runs no 32-bit code: Wine tests on the 64-bit build"
  build_only win32
  stage win64
fi

if [ -x scripts/fuzz.sh ]; then
  echo "=== fuzz: smoke run"
  if ! bash scripts/fuzz.sh smoke; then failed_stages+=("fuzz smoke"); fi
fi

echo
if [ ${#failed_stages[@]} -gt 0 ]; then
  echo "Failed stages: ${failed_stages[*]}"
fi
echo "Total: $total_passed passed, $total_failed failed"
[ ${#failed_stages[@]} -eq 0 ]
