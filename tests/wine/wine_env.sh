# Shell library of the Wine tests: a private Wine prefix, COM port mapping and a
# private X server. Source it from bash:  . tests/wine/wine_env.sh
#
#   kvl_wine_prefix DIR     use (and on first use create) the prefix DIR
#   kvl_wine_map_com N PATH map COMN to the device PATH (restarts the wineserver)
#   kvl_wine_server_start   start the prefix's wineserver quietly (map_com does)
#   kvl_wine_run ARGS...    wine ARGS in the prefix
#   kvl_wine_stop           stop the prefix's wineserver and wait for it
#   kvl_wine_pid COMM       the process id of COMM (a glob on /proc's comm, such as
#                           regnet9.exe or 'wineserver*') running in the prefix
#   kvl_xvfb_start          start Xvfb on a free display, export DISPLAY
#   kvl_xvfb_stop           stop that Xvfb
#
# Only what these functions start is stopped by them, by process id.

export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko: wineboot would otherwise offer to download them.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

kvl_wine_reg_add() {  # KEY NAME TYPE DATA
  wine reg add "$1" /v "$2" /t "$3" /d "$4" /f >/dev/null 2>&1
}

kvl_wine_prefix() {
  local dir=${1:?kvl_wine_prefix DIR}
  mkdir -p "$dir" || return 1
  export WINEPREFIX
  WINEPREFIX=$(cd "$dir" && pwd)
  if [ -f "$WINEPREFIX/.kvl_ready" ]; then
    return 0
  fi
  wineboot -i >/dev/null 2>&1 || { echo "wineboot failed in $WINEPREFIX" >&2; return 1; }
  # Programs run inside a Wine virtual desktop: without a window manager Wine
  # otherwise stalls on every hidden window. A crash ends the program instead
  # of opening the crash dialog.
  kvl_wine_reg_add 'HKCU\Software\Wine\Explorer' Desktop REG_SZ Default &&
    kvl_wine_reg_add 'HKCU\Software\Wine\Explorer\Desktops' Default REG_SZ 1280x1024 &&
    kvl_wine_reg_add 'HKCU\Software\Wine\WineDbg' ShowCrashDialog REG_DWORD 0 ||
    { echo "cannot write the registry of $WINEPREFIX" >&2; return 1; }
  kvl_wine_stop
  touch "$WINEPREFIX/.kvl_ready"
}

kvl_wine_map_com() {
  local n=${1:?kvl_wine_map_com N PATH} path=${2:?kvl_wine_map_com N PATH}
  : "${WINEPREFIX:?call kvl_wine_prefix first}"
  kvl_wine_reg_add 'HKLM\Software\Wine\Ports' "COM$n" REG_SZ "$path" ||
    { echo "cannot map COM$n to $path" >&2; return 1; }
  # The mapping is read when the wineserver starts.
  kvl_wine_stop
  kvl_wine_server_start
}

# Starts the prefix's wineserver on its own, with its output discarded (a server
# started by a program would write its object dump into that program's output).
kvl_wine_server_start() {
  : "${WINEPREFIX:?call kvl_wine_prefix first}"
  wineserver -p >/dev/null 2>&1
}

kvl_wine_run() {
  : "${WINEPREFIX:?call kvl_wine_prefix first}"
  wine "$@"
}

kvl_wine_stop() {
  [ -n "${WINEPREFIX:-}" ] || return 0
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  return 0
}

kvl_wine_pid() {
  local p
  for p in /proc/[0-9]*; do
    p=${p#/proc/}
    # shellcheck disable=SC2053
    [[ $(cat "/proc/$p/comm" 2>/dev/null) == $1 ]] &&
      grep -qz "^WINEPREFIX=$WINEPREFIX\$" "/proc/$p/environ" 2>/dev/null && { echo "$p"; return 0; }
  done
  return 1
}

kvl_xvfb_start() {
  local fdfile
  fdfile=$(mktemp) || return 1
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
  KVL_XVFB_PID=$!
  local i
  for i in $(seq 1 100); do
    [ -s "$fdfile" ] && break
    sleep 0.1
  done
  if [ ! -s "$fdfile" ]; then
    rm -f "$fdfile"
    kvl_xvfb_stop
    echo "Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=":$(tr -d '[:space:]' <"$fdfile")"
  rm -f "$fdfile"
}

kvl_xvfb_stop() {
  if [ -n "${KVL_XVFB_PID:-}" ]; then
    kill "$KVL_XVFB_PID" 2>/dev/null
    wait "$KVL_XVFB_PID" 2>/dev/null
    unset KVL_XVFB_PID
  fi
  return 0
}
