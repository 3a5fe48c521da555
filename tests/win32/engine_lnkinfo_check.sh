#!/usr/bin/env bash
# Reads a shell link written by the engine's CreateShortcut (under Wine) with
# lnkinfo, an independent .lnk parser, and checks its target, description and
# working directory.
#   engine_lnkinfo_check.sh WIN32_TESTS_EXE OUTDIR
# The Wine session is the test run's (INSTALLER_WINE_STATE, see wine-run.sh).
set -euo pipefail

[ $# -eq 2 ] || { echo "usage: $0 WIN32_TESTS_EXE OUTDIR" >&2; exit 2; }
exe=$1
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
command -v lnkinfo >/dev/null || { echo "engine_lnkinfo_check: lnkinfo is missing (package liblnk-utils)" >&2; exit 1; }

rm -rf "$2"
mkdir -p "$2"
out=$(cd "$2" && pwd)
# Wine's drive Z: is the Linux root.
win_out="Z:${out//\//\\}"

ENGINE_LNK_DIR="$win_out" "$repo/scripts/wine-run.sh" "$exe" \
  --gtest_filter=EngineShortcutTest.LinkForLnkinfo
link="$out/Brackenvue.lnk"
[ -f "$link" ] || { echo "engine_lnkinfo_check: no link at $link" >&2; exit 1; }

info=$(lnkinfo "$link")
echo "$info"
status=0
expect() {  # expect LABEL VALUE: lnkinfo prints "LABEL<white space>: VALUE"
  local got
  got=$(grep -i -m1 "^[[:space:]]*$1[[:space:]]*:" <<<"$info" | sed 's/^[^:]*:[[:space:]]*//; s/[[:space:]]*$//')
  # Windows paths compare without regard to letter case.
  if [ "${got,,}" != "${2,,}" ]; then
    echo "engine_lnkinfo_check: $1 is '$got', expected '$2'" >&2
    status=1
  fi
}
expect "Local path" "$win_out\\Brackenvue\\app.exe"
expect "Description" "Brackenvue"
expect "Working directory" "$win_out\\Brackenvue"
exit $status
