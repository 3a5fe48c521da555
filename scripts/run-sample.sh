#!/usr/bin/env bash
# The main job: build INSTALL.EXE and run it under Wine on the sample medium.
#
#   scripts/run-sample.sh              with a usable DISPLAY: you drive the installer
#                                      yourself; without one: a scripted walkthrough
#   scripts/run-sample.sh --walkthrough   the scripted walkthrough even with a display
#
# Steps: installs missing packages (scripts/setup-deps.sh), configures and
# builds the win32 preset, stages the sample medium (sample/) with INSTALL.EXE
# into build/win32/sample-medium, where mkmedium checks it and packs it as the
# CD image build/win32/sample-medium.iso; the image's contents (as Windows
# reads them) are unpacked into build/win32/sample-cd, and INSTALL.EXE runs
# there under Wine in a private prefix under build/win32/. The walkthrough runs on a virtual display
# inside Wine's virtual desktop (so that window captions are drawn), presses
# Install, answers the boxes, saves a screenshot of each stage to
# docs/screenshots/ (the install dialog and the progress window also at
# 144 dpi, from a second installation over the first) and prints what was
# installed: the files with their sizes and each shortcut with its target,
# description and working directory.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

mode=auto
case ${1:-} in
  "") ;;
  --walkthrough) mode=walkthrough ;;
  -h|--help) sed -n '2,18p' "$0"; exit 0 ;;
  *) echo "usage: $0 [--walkthrough]" >&2; exit 2 ;;
esac

say() { echo "== $*"; }

say "checking packages"
bash scripts/setup-deps.sh

# The product is the 32-bit build; a machine whose kernel runs no 32-bit code
# runs the same sources built for 64-bit Windows (scripts/wine-preset.sh).
preset=$(bash scripts/wine-preset.sh)
[ "$preset" = win32 ] || say "this machine's kernel runs no 32-bit code: using the 64-bit build of INSTALL.EXE"
export INSTALLER_WINE_ARCH=$preset
build=$root/build/$preset
say "building the $preset preset (log: build/$preset-build.log)"
mkdir -p "$root/build"
# Only what this command runs: INSTALL.EXE and the sample program (staged
# together as the sample medium) and the driver of the walkthrough.
if ! { cmake --preset "$preset" && cmake --build --preset "$preset" -j2 --target sample_medium e2e_driver; } \
  >"$root/build/$preset-build.log" 2>&1; then
  tail -n 40 "$root/build/$preset-build.log"
  echo "run-sample: the build failed" >&2
  exit 1
fi
iso=$build/sample-medium.iso
[ -f "$iso" ] || { echo "run-sample: the sample medium's image $iso was not made" >&2; exit 1; }
say "the sample medium as mkmedium checked it (image: $iso)"
"$build/host-tools/tools/mkmedium/mkmedium" check "$build/sample-medium" | sed 's/^/  /'
# The installer runs from what the image holds: its Joliet tree, the names
# Windows reads from the CD (made writable again for the walkthrough's copy).
medium=$build/sample-cd
rm -rf "$medium"
xorriso -read_fs norock -joliet on -indev "$iso" -osirrox on -extract / "$medium" >/dev/null 2>&1 || {
  echo "run-sample: xorriso could not unpack $iso" >&2
  exit 1
}
chmod -R u+w "$medium"
[ -f "$medium/INSTALL.EXE" ] && [ -f "$medium/setup.inf" ] || {
  echo "run-sample: the sample medium's image lacks INSTALL.EXE or setup.inf" >&2
  exit 1
}
say "sample medium unpacked from the image: $medium"
ls -l "$medium" | sed 1d

if [ "$mode" = auto ]; then
  if [ -n "${DISPLAY:-}" ] && command -v xdpyinfo >/dev/null && xdpyinfo >/dev/null 2>&1; then
    mode=interactive
  else
    mode=walkthrough
  fi
fi

wine_env=$root/scripts/wine-env.sh
winetools() { python3 "$root/scripts/winetools.py" "$@"; }

# Prints the files of the installation directory and the shortcuts of the
# program folder, read from the Linux side (with lnkinfo, through winetools.py).
report() {
  local prefix=$1 install_dir=$2 folder=$3
  local inst="$prefix/drive_c/${install_dir#C:\\}"
  inst=${inst//\\//}
  local programs
  programs=$(winetools programs-dir "$prefix" 2>/dev/null) || programs=
  echo
  say "installed files in $install_dir"
  if [ -d "$inst" ]; then
    find "$inst" -type f -printf '%s\t%P\n' | sort -k2 | awk -F'\t' '{ printf "  %12d bytes  %s\n", $1, $2 }'
  else
    echo "  (none: the installation directory does not exist)"
  fi
  say "shortcuts in the Start menu's Programs\\$folder"
  local any=0 lnk
  if [ -d "$programs/$folder" ]; then
    while IFS= read -r -d '' lnk; do
      any=1
      echo "  $(basename "$lnk")"
      winetools lnkinfo "$lnk" | sed 's/^/    /' || true
    done < <(find "$programs/$folder" -name '*.lnk' -print0 | sort -z)
  fi
  [ $any = 1 ] || echo "  (none)"
}

if [ "$mode" = interactive ]; then
  state=$build/sample-wine
  say "starting Wine on $DISPLAY (prefix $state/prefix; the first start takes a few seconds)"
  # The test prefixes keep windows away from the window manager, which saves
  # time on a bare X server; on a real desktop the manager should frame them.
  bash "$wine_env" start "$state" --display "$DISPLAY" --managed
  # shellcheck disable=SC1091
  . "$state/env"
  say "running INSTALL.EXE from the sample medium: install, exit or try other folders"
  (cd "$medium" && wine INSTALL.EXE) || true
  report "$WINEPREFIX" 'C:\Program Files\Brackenvue' Brackenvue
  echo
  echo "The installed sample program starts with:"
  echo "  (. $state/env && wine 'C:\\Program Files\\Brackenvue\\brackenvue.exe')"
  echo "Wine keeps running for Notepad and the like; end it with: scripts/wine-env.sh stop $state"
  exit 0
fi

# ---- scripted walkthrough ------------------------------------------------------
state=$build/sample-walkthrough-wine
shots=$root/docs/screenshots
work=$build/sample-walkthrough
rm -rf "$work"
mkdir -p "$work/sync" "$shots"
# The walkthrough's medium is the sample medium plus one large file, so that
# the progress window stays up long enough to be photographed.
cp -a "$medium" "$work/medium"
truncate -s 1G "$work/medium/sample-pack.dat"
tr -d '\r' <"$medium/setup.inf" | awk '
  NR == 1 { n = $1 + 0; printf "%d\r\n", n + 1; next }
  { print $0 "\r" }
  NR == n + 1 { print "sample-pack.dat Sample Pack\r" }
' >"$work/medium/setup.inf.new"
mv "$work/medium/setup.inf.new" "$work/medium/setup.inf"

say "starting a virtual display and Wine (prefix $state/prefix; the first start takes a few seconds)"
bash "$wine_env" start "$state"
cleanup() { bash "$wine_env" stop "$state" >/dev/null 2>&1 || true; }
trap cleanup EXIT
# shellcheck disable=SC1091
. "$state/env"
prefix=$WINEPREFIX
# A fresh start: no earlier installation in the prefix.
rm -rf "$prefix/drive_c/Program Files/Brackenvue"
programs_lin=$(winetools programs-dir "$prefix")
rm -rf "$programs_lin/Brackenvue"

winpath() { echo "Z:${1//\//\\}"; }
cat >"$work/steps.txt" <<'EOF'
wait-dialog
sync 1-install-dialog
click 1006
wait-progress
sync 2-progress
wait-box
sync 3-complete
box ok
wait-box
sync 4-readme-notice
box ok
wait-exit
wait-window readme.txt
sync 5-notepad
EOF

say "walkthrough: Install with the defaults, screenshots in docs/screenshots/"
# The driver runs inside Wine's virtual desktop, and INSTALL.EXE, its child,
# opens its windows there too: the desktop draws captions and frames, which a
# bare X server without a window manager does not.
wine explorer /desktop=Brackenvue,800x600 "$build/tests/e2e/e2e_driver.exe" \
  --exe "$(winpath "$work/medium/INSTALL.EXE")" --medium "$(winpath "$work/medium")" \
  --script "$(winpath "$work/steps.txt")" --sync "$(winpath "$work/sync")" \
  --transcript "$(winpath "$work/transcript.txt")" --timeout 120 </dev/null >/dev/null 2>&1 &
driver=$!

status=0
for stage in 1-install-dialog 2-progress 3-complete 4-readme-notice 5-notepad; do
  for ((i = 0; i < 1200; i++)); do
    [ -e "$work/sync/$stage.ready" ] && break
    kill -0 "$driver" 2>/dev/null || break
    grep -q '^FAIL' "$work/transcript.txt" 2>/dev/null && break
    sleep 0.1
  done
  if [ ! -e "$work/sync/$stage.ready" ]; then
    echo "run-sample: the walkthrough did not reach the stage $stage" >&2
    status=1
    break
  fi
  sleep 0.3  # let the window finish painting
  import -window root -crop 800x600+0+0 +repage "$shots/$stage.png"
  echo "  screenshot docs/screenshots/$stage.png"
  touch "$work/sync/$stage.done"
done
# The virtual desktop stays up as long as a window is open on it (Notepad);
# the driver is done when its transcript says so.
for ((i = 0; i < 300; i++)); do
  grep -q -E '^(done|FAIL)' "$work/transcript.txt" 2>/dev/null && break
  sleep 0.1
done

# Last, the installed shortcut: started by the shell, it runs the sample
# program, which shows where it runs from (the link's working directory).
programs_win=$(winetools programs-dir "$prefix" --windows)
if [ $status = 0 ]; then
  # The sample program's box is captioned Brackenvue; nothing else open then is.
  printf 'wait-window Brackenvue\nsync 6-shortcut\n' >"$work/steps2.txt"
  wine explorer /desktop=Brackenvue,800x600 start "$programs_win\Brackenvue\Brackenvue.lnk" </dev/null >/dev/null 2>&1 &
  wine explorer /desktop=Brackenvue,800x600 "$build/tests/e2e/e2e_driver.exe" --script "$(winpath "$work/steps2.txt")" \
    --sync "$(winpath "$work/sync")" --transcript "$(winpath "$work/transcript2.txt")" --timeout 60 \
    </dev/null >/dev/null 2>&1 &
  for ((i = 0; i < 300; i++)); do
    [ -e "$work/sync/6-shortcut.ready" ] && break
    grep -q '^FAIL' "$work/transcript2.txt" 2>/dev/null && break
    sleep 0.1
  done
  if [ -e "$work/sync/6-shortcut.ready" ]; then
    sleep 0.3
    import -window root -crop 800x600+0+0 +repage "$shots/6-shortcut.png"
    echo "  screenshot docs/screenshots/6-shortcut.png"
    touch "$work/sync/6-shortcut.done"
  else
    echo "run-sample: the installed shortcut did not start the sample program" >&2
    status=1
  fi
fi
# A second installation at 144 dpi (150 %): Wine reads LogPixels when a
# program starts, so INSTALL.EXE started now lays its dialogs out at 144 dpi.
# It goes to a directory and program folder of its own (the sample program
# started from its shortcut above still runs from the first one), and runs on
# a desktop of its own, which covers the first one's windows.
dpi_dir='C:\Program Files\Brackenvue 144 dpi'
dpi_folder='Brackenvue 144 dpi'
if [ $status = 0 ]; then
  say "walkthrough at 144 dpi: the install dialog and the progress window"
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
  printf '%s\n' wait-dialog 'sync 7-install-dialog-144dpi' "set 1000 $dpi_dir" "set 1001 $dpi_folder" 'click 1006' \
    wait-progress 'sync 8-progress-144dpi' wait-box 'box ok' wait-box 'box ok' wait-exit >"$work/steps3.txt"
  wine explorer /desktop=Brackenvue144dpi,800x600 "$build/tests/e2e/e2e_driver.exe" \
    --exe "$(winpath "$work/medium/INSTALL.EXE")" --medium "$(winpath "$work/medium")" \
    --script "$(winpath "$work/steps3.txt")" --sync "$(winpath "$work/sync")" \
    --transcript "$(winpath "$work/transcript3.txt")" --timeout 120 </dev/null >/dev/null 2>&1 &
  # The desktop is up already: this `wine explorer` only starts the driver in
  # it and returns, so the transcript tells how far the driver got.
  for stage in 7-install-dialog-144dpi 8-progress-144dpi; do
    for ((i = 0; i < 1200; i++)); do
      [ -e "$work/sync/$stage.ready" ] && break
      grep -q -E '^(FAIL|done)' "$work/transcript3.txt" 2>/dev/null && break
      sleep 0.1
    done
    if [ ! -e "$work/sync/$stage.ready" ]; then
      echo "run-sample: the 144-dpi walkthrough did not reach the stage $stage" >&2
      status=1
      break
    fi
    sleep 0.3
    import -window root -crop 800x600+0+0 +repage "$shots/$stage.png"
    echo "  screenshot docs/screenshots/$stage.png"
    touch "$work/sync/$stage.done"
  done
  for ((i = 0; i < 600; i++)); do
    grep -q -E '^(done|FAIL)' "$work/transcript3.txt" 2>/dev/null && break
    sleep 0.1
  done
  grep -q '^done' "$work/transcript3.txt" 2>/dev/null || status=1
  wine reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1 || true
  # Only the pictures were wanted from it.
  rm -rf "$prefix/drive_c/Program Files/Brackenvue 144 dpi"
  find "$prefix/drive_c/users" -path "*Start Menu/Programs/$dpi_folder" -type d -prune -exec rm -rf {} + 2>/dev/null || true
fi

echo
say "what the driver saw"
cat "$work/transcript.txt" "$work/transcript2.txt" "$work/transcript3.txt" 2>/dev/null | sed 's/^/  /' ||
  echo "  (no transcript)"
grep -q '^done' "$work/transcript.txt" 2>/dev/null || status=1

report "$prefix" 'C:\Program Files\Brackenvue' Brackenvue
# The large file only served the screenshot of the progress window.
rm -f "$prefix/drive_c/Program Files/Brackenvue/sample-pack.dat" "$work/medium/sample-pack.dat"
echo "  (sample-pack.dat, the walkthrough's large extra file, was deleted after the listing)"
[ $status = 0 ] || echo "run-sample: the walkthrough did not complete" >&2
exit $status
