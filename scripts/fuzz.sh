#!/usr/bin/env bash
# Fuzzing of the engine with libFuzzer (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) against the headless platform. Targets:
#   manifest  the whole LoadManifest path; input = the bytes of setup.inf
#   paths     CreateDirectoryPath and RunInstall's path composition; input =
#             options, installation directory, program folder, entry lines
#             (one per line; see fuzz/paths_fuzzer.cpp)
#
#   scripts/fuzz.sh build            configure build/fuzz with clang and build
#   scripts/fuzz.sh smoke            replay every seed and regression input,
#                                    then fuzz each target for $FUZZ_SMOKE_SECONDS
#                                    (default 15) seconds; the test command runs it
#   scripts/fuzz.sh long [SECONDS [TARGET...]]
#                                    fuzz each target (default: all) for SECONDS
#                                    (default 900), one after the other, keeping
#                                    the grown corpus in build/fuzz/corpus/<target>;
#                                    prints the executions, coverage and findings
#                                    of each. FUZZ_BUILD_DIR=DIR builds and runs in
#                                    DIR instead, apart from other builds.
#   scripts/fuzz.sh regress          replay seeds and regression inputs only
#   scripts/fuzz.sh coverage         line coverage of engine/ by the kept corpus
#                                    (llvm-cov; build in build/fuzz-cov)
#
# A finding (crash, sanitizer report, broken invariant) is written to
# build/fuzz/findings/<target>/ and the script exits non-zero. Keep each
# finding, once fixed, in fuzz/regressions/<target>/ under a name that says
# what it was: every smoke run replays those files.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${FUZZ_BUILD_DIR:-$root/build/fuzz}  # another directory keeps a long run apart from rebuilds
targets=(manifest paths)

# The manifest target allocates tables of up to 64 MiB (it leaves larger
# allocable counts out; see fuzz/manifest_fuzzer.cpp).
common_flags=(-rss_limit_mb=2048 -malloc_limit_mb=512 -timeout=20 -print_final_stats=1)
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}:allocator_may_return_null=0
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}:halt_on_error=1

die() {
  echo "fuzz: $*" >&2
  exit 1
}

do_build() {
  command -v clang++ >/dev/null || die "clang++ is not installed (run scripts/setup-deps.sh)"
  if [ ! -f "$build/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S fuzz -B "$build" -G Ninja >"$build-configure.log" 2>&1 ||
      { cat "$build-configure.log"; die "configure failed"; }
  fi
  cmake --build "$build" -j2 >"$build-build.log" 2>&1 ||
    { tail -n 40 "$build-build.log"; die "build failed"; }
}

# run TARGET CORPUS_DIR SECONDS LOG: one fuzzing session; non-zero on a finding.
run() {
  local target=$1 corpus=$2 seconds=$3 log=$4
  mkdir -p "$corpus" "$build/findings/$target" "$build/logs"
  # A target without findings so far has no regressions folder (git keeps no
  # empty folder); libFuzzer refuses a corpus folder that does not exist.
  local extra=()
  [ -d "$root/fuzz/regressions/$target" ] && extra+=("$root/fuzz/regressions/$target")
  "$build/${target}_fuzzer" "${common_flags[@]}" -max_total_time="$seconds" \
    -artifact_prefix="$build/findings/$target/" "$corpus" "$root/fuzz/corpus/$target" \
    "${extra[@]}" >"$log" 2>&1
}

# regress TARGET: every seed and regression input once.
regress() {
  local target=$1 inputs=()
  local log=$build/logs/$target-regress.log
  mkdir -p "$build/logs" "$build/findings/$target"
  shopt -s nullglob
  inputs=("$root"/fuzz/corpus/"$target"/* "$root"/fuzz/regressions/"$target"/*)
  shopt -u nullglob
  if ! "$build/${target}_fuzzer" "${common_flags[@]}" -artifact_prefix="$build/findings/$target/" \
      "${inputs[@]}" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "fuzz: $target: a seed or regression input fails (log: $log)" >&2
    return 1
  fi
  echo "fuzz: $target: ${#inputs[@]} seed and regression inputs pass"
}

# summary TARGET LOG: the figures of a session.
summary() {
  local target=$1 log=$2 done_line execs secs
  done_line=$(grep -a -E '^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE|INITED)' "$log" | tail -n 1)
  execs=$(grep -a -o 'stat::number_of_executed_units: [0-9]*' "$log" | grep -o '[0-9]*$')
  secs=$(grep -a -o 'Done [0-9]* runs in [0-9]* second' "$log" | grep -o 'in [0-9]*' | grep -o '[0-9]*')
  printf 'fuzz: %-8s executions %s in %s s; %s\n' "$target" "${execs:-?}" "${secs:-?}" \
    "$(echo "$done_line" | grep -a -o 'cov: [0-9]* ft: [0-9]* corp: [^ ]*')"
}

# findings TARGET: the inputs libFuzzer kept since this script started.
findings() {
  local target=$1
  find "$build/findings/$target" -type f -newer "$stamp" \
    \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) 2>/dev/null
}

cmd=${1:-}
mkdir -p "$build"
stamp=$(mktemp "${TMPDIR:-/tmp}/fuzz-start.XXXXXX")
trap 'rm -f "$stamp"' EXIT
case $cmd in
  build)
    do_build
    ;;
  regress)
    do_build
    rc=0
    for t in "${targets[@]}"; do regress "$t" || rc=1; done
    exit $rc
    ;;
  smoke)
    start=$SECONDS
    do_build
    seconds=${FUZZ_SMOKE_SECONDS:-15}
    rc=0
    for t in "${targets[@]}"; do
      regress "$t" || { rc=1; continue; }
      scratch=$(mktemp -d "${TMPDIR:-/tmp}/fuzz-smoke-$t.XXXXXX")
      log=$build/logs/$t-smoke.log
      if ! run "$t" "$scratch" "$seconds" "$log"; then
        rc=1
        grep -a -A3 -E 'invariant broken|ERROR:' "$log" | head -n 20
        echo "fuzz: $t: finding in the smoke run (log: $log; input: $(findings "$t" | tail -n 1))" >&2
      fi
      summary "$t" "$log"
      rm -rf "$scratch"
    done
    echo "fuzz: smoke run $((SECONDS - start)) s"
    exit $rc
    ;;
  long)
    seconds=${2:-900}
    [[ $seconds =~ ^[0-9]+$ ]] || die "usage: $0 long [SECONDS [TARGET...]]"
    [ $# -gt 2 ] && targets=("${@:3}")
    do_build
    rc=0
    for t in "${targets[@]}"; do
      [ -f "fuzz/${t}_fuzzer.cpp" ] || die "no target $t"
      log=$build/logs/$t-long.log
      echo "fuzz: $t for $seconds s (log: $log)"
      run "$t" "$build/corpus/$t" "$seconds" "$log" || rc=1
      summary "$t" "$log"
      f=$(findings "$t")
      [ -z "$f" ] || { echo "fuzz: $t findings:"; echo "$f"; }
    done
    exit $rc
    ;;
  coverage)
    command -v llvm-cov >/dev/null || die "llvm-cov is not installed"
    cov=$root/build/fuzz-cov
    if [ ! -f "$cov/build.ninja" ]; then
      CC=clang CXX=clang++ cmake -S fuzz -B "$cov" -G Ninja -DFUZZ_COVERAGE=ON >/dev/null || die "configure failed"
    fi
    cmake --build "$cov" -j2 >/dev/null || die "coverage build failed"
    rm -f "$cov"/*.profraw
    objects=()
    for t in "${targets[@]}"; do
      LLVM_PROFILE_FILE="$cov/$t.profraw" "$cov/${t}_fuzzer" -runs=0 "${common_flags[@]}" \
        "$root/fuzz/corpus/$t" $( [ -d "$root/fuzz/regressions/$t" ] && echo "$root/fuzz/regressions/$t") \
        $( [ -d "$build/corpus/$t" ] && echo "$build/corpus/$t") \
        >"$cov/$t.log" 2>&1 || die "$t failed on its corpus (log: $cov/$t.log)"
      objects+=(-object "$cov/${t}_fuzzer")
    done
    llvm-profdata merge -sparse "$cov"/*.profraw -o "$cov/all.profdata" || die "llvm-profdata failed"
    llvm-cov report "${objects[@]:1}" -instr-profile="$cov/all.profdata" "$root"/engine/*.cpp
    ;;
  *)
    sed -n '2,/^set -uo/p' "$0" | sed '$d' | sed 's/^# \{0,1\}//'
    exit 2
    ;;
esac
