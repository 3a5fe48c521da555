#!/usr/bin/env bash
# Runs a Windows program under the Wine session of the running tests:
#   wine-run.sh PROGRAM [ARGS...]
# CMake uses it as the cross-compiling emulator. The session (prefix, display,
# wineserver) is the one `wine-env.sh start` made in $INSTALLER_WINE_STATE,
# by default <repo>/build/win32/wine-state. The program's exit code is ours;
# after $INSTALLER_WINE_TIMEOUT seconds (default 600) it is killed and the
# exit code is 124.
#
# The program's output goes through files, copied to ours as it grows: any
# Wine process it starts on the way (a system service, the desktop) inherits
# only those files, never the pipe that ctest waits on to close.
set -uo pipefail

[ $# -ge 1 ] || { echo "usage: $0 PROGRAM [ARGS...]" >&2; exit 2; }
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
state=${INSTALLER_WINE_STATE:-$repo/build/win32/wine-state}
if [ ! -r "$state/env" ]; then
  echo "wine-run: no Wine session in $state; start one with: scripts/wine-env.sh start $state" >&2
  exit 125
fi
# shellcheck disable=SC1091
. "$state/env"

out=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX") || exit 125
err=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX") || exit 125
trap 'rm -f "$out" "$err"' EXIT

timeout --kill-after=10 "${INSTALLER_WINE_TIMEOUT:-600}" wine "$@" >"$out" 2>"$err" &
pid=$!
trap 'kill "$pid" 2>/dev/null' INT TERM
tail -s 0.1 -n +1 -f --pid="$pid" "$out" &
tail_out=$!
tail -s 0.1 -n +1 -f --pid="$pid" "$err" >&2 &
tail_err=$!
wait "$pid"
rc=$?
wait "$tail_out" "$tail_err"
exit "$rc"
