#!/usr/bin/env bash
# The installer benchmark (not part of the test command):
#   scripts/bench.sh [--rounds N] [--quick] [--profiles small,mixed,large] ...
# Installs what is missing, builds INSTALL.EXE and the benchmark programs
# (win32 preset, or win64 where 32-bit programs cannot run) and the native
# LoadManifest benchmark (native preset), then runs bench/run_bench.py under
# Wine in a private prefix and display (build/bench/wine-state) and prints the
# table. `--help` lists the options.
# The table and the raw figures are also kept in build/bench/results/.
set -euo pipefail
cd "$(dirname "$0")/.."

for arg in "$@"; do
  if [ "$arg" = "-h" ] || [ "$arg" = "--help" ]; then
    exec python3 bench/run_bench.py --help
  fi
done

bash scripts/setup-deps.sh
mkdir -p build/bench
log=build/bench/build.log
: >"$log"
build() {
  local preset=$1
  shift
  echo "bench: building $* ($preset)" >&2
  if ! { cmake --preset "$preset" && cmake --build --preset "$preset" -j2 --target "$@"; } >>"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "bench: build failed (full log: $log)" >&2
    exit 1
  fi
}
# The product is the 32-bit build; a machine whose kernel runs no 32-bit code
# measures the same sources built for 64-bit Windows (without the 32-bit NSIS
# contender and the 32-bit size budget).
preset=$(bash scripts/wine-preset.sh)
[ "$preset" = win32 ] || echo "bench: this machine's kernel runs no 32-bit code: measuring the 64-bit build" >&2
export INSTALLER_WINE_ARCH=$preset
build "$preset" install_exe bench_floor bench_drive bench_noop_dialog
build native bench_load_manifest
exec python3 bench/run_bench.py "$@"
