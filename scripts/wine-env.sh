#!/usr/bin/env bash
# A private Wine environment for tests: its own prefix, HOME, X display and a
# wineserver kept alive for the whole session.
#
#   wine-env.sh start STATEDIR [--display DISPLAY] [--arch win32|win64]
#                    [--managed] [--no-menubuilder]
#       Creates STATEDIR/prefix once (32-bit by default; win64 for the 64-bit
#       test build on machines whose kernel runs no 32-bit code), no Mono/Gecko prompts, unmanaged
#       X11 windows, classic look), starts Xvfb on a free display (or uses the
#       DISPLAY given), starts a persistent wineserver, and writes STATEDIR/env,
#       a file to source before running wine. Running it again while the
#       session is up only refreshes STATEDIR/env.
#       --managed: the display's window manager frames Wine's windows (a real
#       desktop; the default keeps them away from it, see below).
#       --no-menubuilder: system32\winemenubuilder.exe is replaced by a folder
#       of that name, so a link save fails to start it at once; the override
#       alone still forks a Wine process per link that then fails to load
#       (~7 ms a link, which the benchmark would count). Without the option a
#       prefix that had it gets the program back.
#       Both are settings of the prefix and stay until a start asks otherwise.
#   wine-env.sh settings [--managed] [--no-menubuilder]
#       Prints every setting a session started with these options runs with,
#       one a line: the setting, a tab, why (the benchmark prints them).
#   wine-env.sh stop STATEDIR
#       Ends the prefix's wineserver (and with it every Wine process of that
#       prefix) and the Xvfb started by `start`. Safe to run when nothing runs.
#
# Every wait is bounded. Background daemons get their own log files and never
# inherit our stdout/stderr: ctest waits for the pipes of a test to close.
set -euo pipefail

die() {
  echo "wine-env: $*" >&2
  exit 1
}

usage() {
  echo "usage: $0 start STATEDIR [--display DISPLAY] [--arch win32|win64] [--managed] [--no-menubuilder]" >&2
  echo "       $0 stop STATEDIR | $0 settings [--managed] [--no-menubuilder]" >&2
  exit 2
}

# The registry values every prefix gets when it is made: key|name|data|why.
reg_settings=(
  'HKCU\Software\Wine\X11 Driver|Managed|N|without a window manager Wine waits ~2 s whenever a managed window is hidden or destroyed (the progress window, every message box)'
  'HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager|ThemeActive|0|the themed progress bar repaints about ten times slower; the classic look is that of the Windows generation the installer targets'
  'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug|Debugger|no-debugger-in-test-prefixes|a crashing program just ends (the message on stderr says why) instead of starting winedbg, which would wait for a debugger session forever'
)

[ $# -ge 1 ] || usage
cmd=$1
shift
if [ "$cmd" != settings ]; then
  [ $# -ge 1 ] || usage
  mkdir -p "$1"
  state=$(cd "$1" && pwd)
  shift
fi
use_display=
arch=${INSTALLER_WINE_ARCH:-win32}
managed=N
menubuilder=on
while [ $# -gt 0 ]; do
  case $1 in
    --display) [ $# -ge 2 ] || usage; use_display=$2; shift 2 ;;
    --arch) [ $# -ge 2 ] || usage; arch=$2; shift 2 ;;
    --managed) managed=Y; shift ;;
    --no-menubuilder) menubuilder=off; shift ;;
    *) usage ;;
  esac
done

if [ "$cmd" = settings ]; then
  for entry in "${reg_settings[@]}"; do
    IFS='|' read -r key name data why <<<"$entry"
    if [ "$name" = Managed ] && [ "$managed" = Y ]; then
      printf '%s\t%s\n' "$key: Managed=Y" "the display's window manager frames the windows (--managed: a real desktop)"
    else
      printf '%s\t%s\n' "$key: $name=$data" "$why"
    fi
  done
  printf '%s\t%s\n' \
    "WINEDLLOVERRIDES winemenubuilder.exe=d" \
    "every IPersistFile::Save of a link would start winemenubuilder and wait for it (~45 ms a link), and it writes menu files into HOME"
  [ "$menubuilder" = on ] || printf '%s\t%s\n' \
    "system32\\winemenubuilder.exe replaced by a folder of that name (--no-menubuilder)" \
    "the override alone still forks a Wine process per link that then fails to load (~7 ms a link); a missing file would cost a scan of system32 per link, a folder makes the start fail at once"
  printf '%s\t%s\n' \
    "wineserver -p (one persistent server for the session)" \
    "otherwise each program start also starts a server (seconds cold, ~20 ms warm)" \
    "WINEDEBUG=-all" "debug channels off: their output costs time" \
    "WINEDLLOVERRIDES mscoree,mshtml=" "no Mono/Gecko install prompts" \
    "Wine's own fonts in the prefix" "dialogs are measured and drawn with the fonts they are on Windows, not a wider substitute"
  exit 0
fi

prefix=$state/prefix
home=$state/home
log=$state/log
mkdir -p "$home" "$log"

export WINEPREFIX=$prefix
export HOME=$home
export WINEARCH=$arch
case $arch in
  win32) ;;
  win64)
    # Debian's `wine` runs the 32-bit loader whenever it is installed, and a
    # 64-bit prefix needs the 64-bit one: a `wine` of our own comes first on
    # PATH for everything started in this environment. (wineserver is the
    # 64-bit server either way.)
    mkdir -p "$state/bin"
    printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$state/bin/wine"
    chmod +x "$state/bin/wine"
    export PATH=$state/bin:$PATH
    export WINELOADER=/usr/lib/wine/wine64
    ;;
  *) usage ;;
esac
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# Serialise start/stop of one state directory (several test programs may share
# it). Every program started below gets fd 9 closed: a daemon holding it would
# keep the lock forever.
exec 9>"$state/lock"
flock -w 300 9 || die "timed out waiting for the lock on $state"

# pid_alive PID NAME: PID runs a program whose command line contains NAME.
pid_alive() {
  [ -n "$1" ] && [ -r "/proc/$1/cmdline" ] && tr '\0' ' ' <"/proc/$1/cmdline" | grep -q -- "$2"
}

# wait_gone PID NAME SECONDS: waits for the process to end; false on timeout.
wait_gone() {
  local i
  for ((i = 0; i < $3 * 10; i++)); do
    pid_alive "$1" "$2" || return 0
    sleep 0.1
  done
  return 1
}

stop_xvfb() {
  local pid
  pid=$(cat "$state/xvfb.pid" 2>/dev/null || true)
  if pid_alive "$pid" Xvfb; then
    kill "$pid" 2>/dev/null || true
    if ! wait_gone "$pid" Xvfb 5; then
      kill -9 "$pid" 2>/dev/null || true
      wait_gone "$pid" Xvfb 5 || true
    fi
  fi
  rm -f "$state/xvfb.pid" "$state/xvfb.display"
}

stop_wineserver() {
  # -k ends this prefix's server and its processes; it returns when they are gone.
  [ -d "$prefix" ] || return 0
  timeout 30 wineserver -k </dev/null >>"$log/wineserver.log" 2>&1 9>&- || true
}

start_xvfb() {
  local pid display=
  pid=$(cat "$state/xvfb.pid" 2>/dev/null || true)
  if pid_alive "$pid" Xvfb && [ -s "$state/xvfb.display" ]; then
    echo ":$(cat "$state/xvfb.display")"
    return
  fi
  # -displayfd: Xvfb picks a free display number and writes it to the fd once
  # it accepts connections; fixed numbers collide with other runs. Two Xvfb
  # started at the same moment (ctest starts test sessions in parallel) can
  # still pick the same number, and the later one exits ("server already
  # running"): it is started again, after a moment of its own.
  local attempt=0 i
  while [ -z "$display" ] && [ "$attempt" -lt 5 ]; do
    attempt=$((attempt + 1))
    rm -f "$state/xvfb.display"
    setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
      3>"$state/xvfb.display" </dev/null >"$log/xvfb.log" 2>&1 9>&- &
    pid=$!
    echo "$pid" >"$state/xvfb.pid"
    for ((i = 0; i < 150; i++)); do
      if grep -q '^[0-9][0-9]*$' "$state/xvfb.display" 2>/dev/null; then
        display=$(head -n1 "$state/xvfb.display")
        break
      fi
      pid_alive "$pid" Xvfb || break
      sleep 0.1
    done
    [ -n "$display" ] || sleep "0.$((RANDOM % 9 + 1))"
  done
  if [ -z "$display" ]; then
    stop_xvfb
    die "Xvfb did not start (see $log/xvfb.log)"
  fi
  echo ":$display"
}

# reg_add KEY NAME DATA LOG: one REG_SZ value. A freshly made prefix's first
# programs sometimes fail while Wine's own services are still starting (seen
# once in a run of many): tried three times before it counts as a failure.
reg_add() {
  local try
  for try in 1 2 3; do
    timeout 60 wine reg add "$1" /v "$2" /t REG_SZ /d "$3" /f </dev/null >>"$4" 2>&1 9>&- && return 0
    sleep 1
  done
  return 1
}

# Bump when the prefix set-up below changes: older prefixes are then rebuilt.
prefix_version=3

create_prefix() {
  [ "$(cat "$prefix/.installer-ready" 2>/dev/null)" = "$prefix_version $arch" ] && return 0
  local t0=$SECONDS
  stop_wineserver
  rm -rf "$prefix"
  # wineboot -i builds the prefix; the server it starts exits on its own
  # afterwards (Debian's wrapper runs it without persistence), which saves the
  # registry, and `wineserver -w` waits for that.
  # Two prefixes made at the same moment (ctest starts the test sessions in
  # parallel) now and then leave one that cannot load kernel32.dll (seen with
  # 64-bit Wine): that prefix is thrown away and made again.
  local boot
  for boot in 1 2 3; do
    timeout 240 wine wineboot -i </dev/null >>"$log/wineboot.log" 2>&1 9>&- && break
    [ "$boot" -lt 3 ] || die "wineboot -i failed (see $log/wineboot.log)"
    echo "wine-env: wineboot -i failed, making the prefix again" >>"$log/wineboot.log"
    stop_wineserver
    rm -rf "$prefix"
    sleep "$((RANDOM % 3 + 1))"
  done
  # Wine's own fonts (fonts-wine), among them its "MS Sans Serif" bitmap font,
  # in the prefix's Fonts folder: without them the dialogs are measured and
  # drawn with a wider substitute, and do not look as they do on Windows.
  if [ -d /usr/share/wine/fonts ]; then
    cp /usr/share/wine/fonts/*.fon /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
  fi
  local entry key name data why
  for entry in "${reg_settings[@]}"; do
    IFS='|' read -r key name data why <<<"$entry"
    reg_add "$key" "$name" "$data" "$log/wineboot.log" || die "could not set $key\\$name"
  done
  timeout 60 wineserver -w </dev/null >>"$log/wineserver.log" 2>&1 9>&- || stop_wineserver
  grep -q '"Managed"="N"' "$prefix/user.reg" || die "registry settings were not saved"
  echo "$prefix_version $arch" >"$prefix/.installer-ready"
  echo "wine-env: created prefix $prefix in $((SECONDS - t0)) s" >&2
}

# The settings a start may change on an existing prefix (see the options),
# applied through the session's server. What was applied is recorded in the
# prefix, so a start that changes nothing runs no Wine program for it; a
# rebuilt prefix starts without the record, as create_prefix left it.
apply_start_settings() {
  local record=$prefix/.installer-settings
  local want="managed=$managed menubuilder=$menubuilder"
  [ "$(cat "$record" 2>/dev/null || echo "managed=N menubuilder=on")" = "$want" ] && return 0
  reg_add 'HKCU\Software\Wine\X11 Driver' Managed "$managed" "$log/session.log" ||
    die "could not set the X11 driver's Managed to $managed"
  local stub=$prefix/drive_c/windows/system32/winemenubuilder.exe
  if [ "$menubuilder" = off ]; then
    [ ! -f "$stub" ] || mv -f "$stub" "$stub.disabled"
    mkdir -p "$stub"
  elif [ -d "$stub" ] && [ -f "$stub.disabled" ]; then
    rmdir "$stub" && mv -f "$stub.disabled" "$stub"
  fi
  echo "$want" >"$record"
}

case $cmd in
  start)
    command -v wine >/dev/null || die "wine is not installed (run scripts/setup-deps.sh)"
    if [ -n "$use_display" ]; then
      display=$use_display
    else
      command -v Xvfb >/dev/null || die "Xvfb is not installed (run scripts/setup-deps.sh)"
      display=$(start_xvfb)
    fi
    export DISPLAY=$display
    # Wine's desktop process is bound to the X server it started on: a session
    # that ran on another display or an Xvfb that has since gone starts afresh.
    session="$DISPLAY ${use_display:+external}$(cat "$state/xvfb.pid" 2>/dev/null)"
    if [ "$(cat "$state/session.display" 2>/dev/null)" != "$session" ]; then
      stop_wineserver
      echo "$session" >"$state/session.display"
    fi
    create_prefix
    # A persistent server saves the start-up of one per program (seconds cold,
    # ~20 ms warm). If one is already up for this prefix this exits at once.
    setsid wineserver -p </dev/null >>"$log/wineserver.log" 2>&1 9>&- || true
    apply_start_settings
    # The first program of a session starts Wine's own long-lived processes
    # (services, the desktop window's explorer, rpcss), which inherit its
    # output. Started here, they write to our log; started by a test, they
    # would keep ctest's pipe open and the test would never end. rundll32
    # with no arguments opens a window (so the desktop starts) and ends.
    timeout 60 wine rundll32.exe </dev/null >>"$log/session.log" 2>&1 9>&- ||
      echo "wine-env: warning: warm-up program failed (see $log/session.log)" >&2
    {
      printf 'export WINEPREFIX=%q\n' "$WINEPREFIX"
      printf 'export HOME=%q\n' "$HOME"
      printf 'export DISPLAY=%q\n' "$DISPLAY"
      printf 'export WINEARCH=%q\n' "$WINEARCH"
      printf 'export PATH=%q\n' "$PATH"
      [ -z "${WINELOADER:-}" ] || printf 'export WINELOADER=%q\n' "$WINELOADER"
      printf 'export WINEDEBUG=%q\n' "$WINEDEBUG"
      printf 'export WINEDLLOVERRIDES=%q\n' "$WINEDLLOVERRIDES"
    } >"$state/env.tmp"
    mv -f "$state/env.tmp" "$state/env"
    echo "wine-env: ready (DISPLAY=$DISPLAY, WINEPREFIX=$WINEPREFIX)" >&2
    ;;
  stop)
    stop_wineserver
    stop_xvfb
    rm -f "$state/env" "$state/session.display"
    echo "wine-env: stopped" >&2
    ;;
  *)
    usage
    ;;
esac
