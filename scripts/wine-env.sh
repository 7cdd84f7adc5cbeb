# Sourced by the Wine scripts: an isolated prefix inside the build folder, made once and reused,
# a persistent wine server and an Xvfb display of its own.
#
# The wine server and the services it starts inherit the descriptors of whoever starts them; if
# that is CTest's output pipe, CTest waits forever. So the server is started here, detached, with
# its output in a file, and warmed up once before any test runs. $prefix.log keeps what the
# making of the prefix, Xvfb and the warm-up print; the server's own chatter is dropped.

. "$(dirname "${BASH_SOURCE[0]}")/progress.bash"

export WINEDEBUG=-all
# No Mono or Gecko download prompts while the prefix is made; no desktop-menu builder, which
# would write menu entries and icons into the Linux user's own folders when an MSI installs.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# usage: lumero_wine_prepare DIR [managed]
# "managed" leaves the window manager in charge of Wine's windows, for runs watched by a person;
# the tests' prefixes leave it out.
lumero_wine_prepare() {
  local prefix=$1 managed=${2:-}
  [ -n "$prefix" ] || { echo "wine-env: no prefix given" >&2; return 2; }
  mkdir -p "$prefix"
  prefix=$(cd "$prefix" && pwd)
  export WINEPREFIX=$prefix
  local log="$prefix.log"
  (
    # Every process started while the lock is held must not inherit it (9>&-), or the lock
    # would stay taken for as long as the wine server lives.
    flock 9
    if [ ! -f "$prefix/.lumero-ready" ]; then
      # Ready only once every step succeeded; a half-made prefix is made again next time.
      lumero_progress_start "wine-env: making the Wine prefix $prefix" 20 9>&-
      if ! { wineboot -i >"$log" 2>&1 </dev/null 9>&- &&
        # An unhandled fault must end the process, not open winedbg's dialog on the hidden display.
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >>"$log" 2>&1 </dev/null 9>&- &&
        # Without a window manager, DestroyWindow of an unmanaged top-level window is much faster.
        { [ "$managed" = managed ] ||
          wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >>"$log" 2>&1 </dev/null 9>&-; } &&
        wineserver -w 9>&-; }; then
        lumero_progress_stop
        echo "wine-env: making the Wine prefix $prefix failed; see $log" >&2
        exit 1
      fi
      lumero_progress_stop
      touch "$prefix/.lumero-ready"
    fi
    if [ -z "${DISPLAY:-}" ]; then
      local pidfile="$prefix.xvfb.pid" dispfile="$prefix.xvfb.display"
      if ! { [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null; }; then
        local fifo; fifo=$(mktemp -u); mkfifo "$fifo"
        setsid Xvfb -displayfd 3 -nolisten tcp -screen 0 2560x1600x24 3>"$fifo" >>"$log" 2>&1 </dev/null 9>&- &
        echo $! >"$pidfile"
        read -r display <"$fifo"; rm -f "$fifo"
        echo ":$display" >"$dispfile"
      fi
    fi
    # The warm-up below starts Wine's desktop process, which keeps the display it was started
    # with: without this, later programs find no display driver.
    if [ -z "${DISPLAY:-}" ] && [ -f "$prefix.xvfb.display" ]; then
      export DISPLAY=$(cat "$prefix.xvfb.display")
    fi
    local serverpid="$prefix.wineserver.pid"
    if ! { [ -f "$serverpid" ] && kill -0 "$(cat "$serverpid")" 2>/dev/null; }; then
      # The server's own output is mostly dumps of its object tables, megabytes per test run.
      setsid wineserver -f -p >/dev/null 2>&1 </dev/null 9>&- &
      echo $! >"$serverpid"
      sleep 0.2
      wine cmd.exe /c exit >>"$log" 2>&1 </dev/null 9>&- || true
    fi
  ) 9>"$prefix.lock" || return 1
  if [ -z "${DISPLAY:-}" ] && [ -f "$prefix.xvfb.display" ]; then
    export DISPLAY=$(cat "$prefix.xvfb.display")
  fi
}

lumero_wine_stop() {
  local prefix=$1
  [ -d "$prefix" ] || return 0
  prefix=$(cd "$prefix" && pwd)
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
  local f
  for f in "$prefix.wineserver.pid" "$prefix.xvfb.pid"; do
    [ -f "$f" ] && kill "$(cat "$f")" 2>/dev/null || true
    rm -f "$f"
  done
  rm -f "$prefix.xvfb.display"
}
