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

rm -rf "$2"
mkdir -p "$2"
out=$(cd "$2" && pwd)
# Wine's drive Z: is the Linux root.
win_out="Z:${out//\//\\}"

ENGINE_LNK_DIR="$win_out" "$repo/scripts/wine-run.sh" "$exe" \
  --gtest_filter=EngineShortcutTest.LinkForLnkinfo
link="$out/Brackenvue.lnk"
[ -f "$link" ] || { echo "engine_lnkinfo_check: no link at $link" >&2; exit 1; }

# The reading of lnkinfo's output is winetools.py's, as for every other check.
winetools() { python3 "$repo/scripts/winetools.py" "$@"; }
winetools lnkinfo "$link"
status=0
expect() {  # expect FIELD VALUE
  local got
  got=$(winetools lnkinfo "$link" --field "$1")
  # Windows paths compare without regard to letter case.
  if [ "${got,,}" != "${2,,}" ]; then
    echo "engine_lnkinfo_check: $1 is '$got', expected '$2'" >&2
    status=1
  fi
}
expect target "$win_out\\Brackenvue\\app.exe"
expect description "Brackenvue"
expect workdir "$win_out\\Brackenvue"
exit $status
