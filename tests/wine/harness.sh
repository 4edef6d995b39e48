#!/usr/bin/env bash
# End-to-end harness: runs the real programs under Wine on a private Xvfb
# display, in a private Wine prefix with a virtual desktop, and drives them
# through kvlauto.exe as an operator would. Source it from a scenario.
#
# Needs: KVL_WIN_BUILD_DIR (the Windows build with the programs and kvlauto.exe).
# Optional: KVL_WINE_WORK (state: prefix, runs; default /tmp/kvl-wine-$UID),
#           KVL_WINE_OUT (screenshots and logs; default $KVL_WINE_WORK/out),
#           KVL_SCREENSHOT_DIR (also save the scenario's window pictures there).
#
# Functions (all fail the scenario with a message when something is wrong; a
# failure inside $(...) or a pipeline ends the whole scenario as well):
#   kvl_start                      display, prefix, wineserver; cleanup on exit
#   kvl_map_com N PATH             COMn of the prefix -> a serial device or pty
#   kvl_workdir NAME               a fresh current directory for a program run
#   kvl_launch EXE DIR [ARGS...]   starts a program (the .exe file name) in DIR
#   kvl_wait_exit [SECONDS] [STATUS]  waits until the program has ended with exit
#                                  status STATUS (default 0: a crash while closing fails)
#   kvl_auto ARGS...               one kvlauto.exe command that must succeed; prints
#                                  its output
#   kvl_refused REASON ARGS...     one kvlauto.exe command that must be refused as a
#                                  person would find it (a greyed item, a disabled
#                                  control...); REASON: a glob its message must match
#   kvl_absent ARGS...             "kvlauto absent ARGS": must establish that the
#                                  window or control is not there
#   kvl_main TITLE                 the program's main window handle
#   kvl_msgbox TEXT CAPTION        waits for this message box; prints its handle
#   kvl_answer TEXT CAPTION ID     the same, then presses button ID (1 OK, 2 Cancel, 6 Yes, 7 No)
#   kvl_expect WHAT ACTUAL EXPECTED
#   kvl_wait_text HANDLE ID GLOB [SECONDS]  waits until a control shows a text
#   kvl_wait_selection HANDLE ID INDEX / kvl_wait_check HANDLE ID checked|unchecked
#   kvl_wait_count FILE PATTERN MORE-THAN [SECONDS]  waits until more than MORE-THAN
#                                  lines of FILE match the grep PATTERN
#   kvl_count FILE PATTERN         lines of FILE matching the grep PATTERN (the file
#                                  must be there)
#   kvl_shot NAME [HANDLE]         screenshot of the desktop or of one window
#   kvl_regsim REGSIM ARGS...      the simulator on a pty (sets KVL_PTY); stopped on
#                                  exit, where it must end with status 0
#   kvl_write_icx DIR PROGRAM PORT [NET...]  a "KVL.icx" for regnet9 or regnet5
#   kvl_net_title PROGRAM / kvl_net_exe PROGRAM   main window title / .exe name
#   kvl_fail MESSAGE
#
# kvlauto.exe (tests/wine/kvlauto.cpp) lists its commands at its top. Menu
# states come from the program itself: the main window answers a read-only
# WM_COPYDATA query (windows/debug_query.h), since Wine does not let another
# process read a menu; it also answers with the texts its last WM_PAINT drew.
# Clicks are refused on hidden, disabled or covered controls, as a person could
# not click them either: kvl_refused expects exactly such a refusal, so a check
# that something cannot be done never passes because kvlauto failed.
set -uo pipefail

: "${KVL_WIN_BUILD_DIR:?set KVL_WIN_BUILD_DIR to the Windows build directory}"
KVL_WINE_WORK=${KVL_WINE_WORK:-/tmp/kvl-wine-$(id -u)}
KVL_WINE_OUT=${KVL_WINE_OUT:-$KVL_WINE_WORK/out}
KVL_SCENARIO=${KVL_SCENARIO:-$(basename "$0" .sh)}
KVL_AUTO_EXE=$KVL_WIN_BUILD_DIR/tests/wine/kvlauto.exe
export WINEPREFIX=$KVL_WINE_WORK/prefix
source "$(dirname "${BASH_SOURCE[0]}")/wine_env.sh"
export LANG=C.UTF-8 LC_ALL=C.UTF-8
mkdir -p "$KVL_WINE_WORK" "$KVL_WINE_OUT"

_kvl_prog_pid=""
_kvl_failed=0

kvl_log() { echo "[$KVL_SCENARIO] $*" >&2; }

# Inside a command substitution or a pipeline the failure also stops the
# scenario's own shell, which would otherwise go on with an empty value.
kvl_fail() {
  kvl_log "FAIL: $*"
  _kvl_failed=1
  [ "$BASHPID" = "$$" ] || kill -USR1 $$
  exit 1
}
trap '_kvl_failed=1; exit 1' USR1

kvl_have() { command -v "$1" >/dev/null 2>&1 || kvl_fail "$1 is not installed"; }

# The prefix is made once per work directory and reused by later scenarios
# (wineboot takes tens of seconds); the lock keeps two first runs apart.
_kvl_prefix() {
  (
    flock 9
    kvl_wine_prefix "$WINEPREFIX"
  ) 9>"$KVL_WINE_WORK/prefix.lock" || kvl_fail "could not make the Wine prefix $WINEPREFIX"
}

_kvl_cleanup() {
  local rc=$?
  trap - USR1
  # A scenario that launched a program checks how it ended (kvl_wait_exit).
  if [ "$rc" -eq 0 ] && [ "$_kvl_failed" -eq 0 ] && [ -n "$_kvl_prog_pid" ]; then
    kvl_log "FAIL: the scenario ended without waiting for the program's exit"
    rc=1
  fi
  if [ "$rc" -ne 0 ] || [ "$_kvl_failed" -ne 0 ]; then
    _kvl_shot_file "failure-$KVL_SCENARIO" 2>/dev/null
    kvl_log "windows at failure:"
    wine "$KVL_AUTO_EXE" windows >&2 2>/dev/null
    kvl_log "screenshot: $KVL_WINE_OUT/failure-$KVL_SCENARIO.png"
  fi
  if [ -n "$_kvl_prog_pid" ] && kill -0 "$_kvl_prog_pid" 2>/dev/null; then
    kill "$_kvl_prog_pid" 2>/dev/null
  fi
  kvl_wine_stop
  kvl_xvfb_stop
  _kvl_regsim_stop || rc=1
  exit "$rc"
}

# Stops the simulator with "quit" on its control pipe; it must end by itself
# with status 0 (a sanitizer report or a crash on the way out is a failure).
_kvl_regsim_stop() {
  [ -n "$_kvl_sim_pid" ] || return 0
  local pid=$_kvl_sim_pid status i
  _kvl_sim_pid=""
  echo quit >&8 2>/dev/null
  exec 8>&-
  for i in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    kvl_log "FAIL: regsim did not end within 10 s of \"quit\""
    return 1
  fi
  wait "$pid"
  status=$?
  if [ "$status" -ne 0 ]; then
    kvl_log "FAIL: regsim ended with exit status $status: $(tail -n 5 "$KVL_WINE_OUT/$KVL_SCENARIO-sim.err" 2>/dev/null)"
    return 1
  fi
}

kvl_start() {
  kvl_have wine
  kvl_have Xvfb
  kvl_have import
  [ -f "$KVL_AUTO_EXE" ] || kvl_fail "no $KVL_AUTO_EXE: build the Windows configuration first"
  trap _kvl_cleanup EXIT
  trap 'exit 143' TERM INT HUP
  kvl_xvfb_start || kvl_fail "Xvfb did not start"
  _kvl_prefix
  kvl_wine_stop
  kvl_wine_server_start
}

kvl_map_com() { kvl_wine_map_com "$1" "$2" || kvl_fail "could not map COM$1 to $2"; }

kvl_workdir() {
  local d=$KVL_WINE_WORK/runs/$KVL_SCENARIO/$1
  rm -rf "$d"
  mkdir -p "$d"
  echo "$d"
}

kvl_exe() {
  local f=$KVL_WIN_BUILD_DIR/windows/$1
  [ -f "$f" ] || f=$KVL_WIN_BUILD_DIR/tests/wine/$1
  [ -f "$f" ] || kvl_fail "no $1 in $KVL_WIN_BUILD_DIR"
  echo "$f"
}

kvl_launch() {
  local exe dir=$2
  exe=$(kvl_exe "$1") || exit 1
  shift 2
  (cd "$dir" && exec wine "$exe" "$@" >"$KVL_WINE_OUT/$KVL_SCENARIO-program.log" 2>&1) &
  _kvl_prog_pid=$!
}

# Wine passes on a Windows program's exit code (its low byte). A program that
# crashes, on the way out too, ends with the exception's code there (5 for an
# access violation, 3 for abort()): crash dialogs are off in the prefix.
kvl_wait_exit() {
  local limit=${1:-20} want=${2:-0} i status
  [ -n "$_kvl_prog_pid" ] || kvl_fail "no program was started"
  for i in $(seq 1 $((limit * 10))); do
    kill -0 "$_kvl_prog_pid" 2>/dev/null || {
      wait "$_kvl_prog_pid"
      status=$?
      _kvl_prog_pid=""
      [ "$status" -eq "$want" ] ||
        kvl_fail "the program ended with exit status $status, expected $want" \
          "(output: $(tail -n 5 "$KVL_WINE_OUT/$KVL_SCENARIO-program.log" | tr '\n' ' '))"
      return 0
    }
    sleep 0.1
  done
  kvl_fail "the program did not end within ${limit}s"
}

kvl_running() { [ -n "$_kvl_prog_pid" ] && kill -0 "$_kvl_prog_pid" 2>/dev/null; }

# kvlauto's exit status for a clear "no" (tests/wine/kvlauto.cpp).
KVL_AUTO_NO=4

# One kvlauto run: its output on stdout, its message in $_kvl_auto_err; returns
# its exit status.
_kvl_auto_run() {
  local out try status err=$KVL_WINE_OUT/kvlauto.$BASHPID.err
  for try in 1 2 3; do
    out=$(wine "$KVL_AUTO_EXE" "$@" 2>"$err")
    status=$?
    _kvl_auto_err=$(tr -d '\r' <"$err" 2>/dev/null)  # stderr is in text mode
    [ "$status" -eq 0 ] && break
    # kvlauto always says why it fails; a failure without a word is Wine not
    # starting the helper on a loaded machine, and worth another try.
    [ -z "$out" ] && [ -z "$_kvl_auto_err" ] || break
    kvl_log "kvlauto $*: no answer (try $try), trying again"
    sleep 0.5
  done
  rm -f "$err"
  [ -z "$out" ] || printf '%s\n' "$out"
  return "$status"
}

kvl_auto() {
  _kvl_auto_run "$@" && return 0
  kvl_fail "kvlauto $* (exit status $?): $_kvl_auto_err"
}

kvl_refused() {
  local reason=$1 status
  shift
  _kvl_auto_run "$@" >/dev/null
  status=$?
  case $status in
    0) kvl_fail "kvlauto $* was carried out, expected a refusal ($reason)" ;;
    "$KVL_AUTO_NO")
      # shellcheck disable=SC2053
      [[ $_kvl_auto_err == kvlauto:\ $reason ]] ||
        kvl_fail "kvlauto $* was refused for another reason: $_kvl_auto_err (expected $reason)" ;;
    *) kvl_fail "kvlauto $* failed (exit status $status): $_kvl_auto_err" ;;
  esac
}

kvl_absent() {
  local out=$KVL_WINE_OUT/kvlauto.$BASHPID.out status
  _kvl_auto_run absent "$@" >"$out"
  status=$?
  case $status in
    0) rm -f "$out" ;;
    "$KVL_AUTO_NO") kvl_fail "kvlauto absent $*: ${_kvl_auto_err#kvlauto: }: $(cat "$out")" ;;
    *) kvl_fail "kvlauto absent $* could not tell (exit status $status): $_kvl_auto_err" ;;
  esac
}

kvl_main() {
  kvl_auto find "$1" TTYWndClass 30000 || kvl_fail "no main window \"$1\""
}

kvl_msgbox() {
  local want_text=$1 want_caption=$2 line h caption text
  line=$(kvl_auto msgbox 20000 "$want_caption") ||
    kvl_fail "no message box \"$want_text\" ($(kvl_auto windows | tr '\n' ' '))"
  IFS=$'\t' read -r h caption text <<<"$line"
  kvl_expect "message box text" "$text" "$want_text"
  kvl_expect "message box caption" "$caption" "$want_caption"
  echo "$h"
}

kvl_answer() {
  local h
  h=$(kvl_msgbox "$1" "$2") || exit 1
  kvl_auto click "$h" "$3" >/dev/null || kvl_fail "could not press button $3 of \"$1\""
  kvl_auto gone "$h" 10000 >/dev/null || kvl_fail "message box \"$1\" stayed open"
}

kvl_expect() {
  if [ "$2" != "$3" ]; then
    kvl_fail "$1: expected \"$3\", got \"$2\""
  fi
}

kvl_shot() {
  local name=$1 h=${2:-} file rect
  file=$KVL_WINE_OUT/$name.png
  if [ -n "$h" ]; then
    rect=$(kvl_auto rect "$h")
    set -- $rect
    # A picture is no check: one that cannot be taken is reported, not failed.
    import -display "$DISPLAY" -window root -crop "${3}x${4}+${1}+${2}" +repage "$file" ||
      kvl_log "could not take the screenshot $name"
  else
    _kvl_shot_file "$name" || kvl_log "could not take the screenshot $name"
  fi
  _kvl_shot_keep "$file"
}

# A picture of the whole display, also when the scenario is failing.
_kvl_shot_file() {
  import -display "$DISPLAY" -window root "$KVL_WINE_OUT/$1.png" && _kvl_shot_keep "$KVL_WINE_OUT/$1.png"
}

_kvl_shot_keep() {
  local file=$1
  if [ -n "${KVL_SCREENSHOT_DIR:-}" ] && [ -f "$file" ]; then
    mkdir -p "$KVL_SCREENSHOT_DIR"
    cp "$file" "$KVL_SCREENSHOT_DIR/"
  fi
}

# A "KVL.icx" for regnet9 (704 bytes, 64-byte records, port index at offset 32
# of record 0, network address at offset 40 of each record) or regnet5 (280
# bytes, 40-byte records, offsets 28 and 36); every other field is 0.
# Usage: kvl_write_icx DIR PROGRAM PORT [NET0 NET1 ...]
kvl_write_icx() {
  python3 - "$@" <<'PY' || kvl_fail "could not write KVL.icx"
import struct, sys
d, program, port = sys.argv[1], sys.argv[2], int(sys.argv[3])
size, rec, comm, net = {"regnet9": (704, 64, 32, 40), "regnet5": (280, 40, 28, 36)}[program]
img = bytearray(size)
struct.pack_into("<I", img, comm, port)
for r, a in enumerate(int(x) for x in sys.argv[4:]):
    struct.pack_into("<I", img, r * rec + net, a)
open(d + "/KVL.icx", "wb").write(img)
PY
}

# What tells the two network programs apart to an operator.
kvl_net_title() {
  case $1 in
    regnet9) echo "Net9 Demo КВЛ30" ;;
    regnet5) echo "Demo КВЛ30(протокол КОРМАСТ-10м)" ;;
    *) kvl_fail "unknown program $1" ;;
  esac
}
# The .exe to run for a program (KVL_EXE overrides it, e.g. for a test build).
kvl_net_exe() { echo "${KVL_EXE:-$1.exe}"; }

# Waits until control ID of window HANDLE shows TEXT (a glob pattern).
# Usage: kvl_wait_text HANDLE ID PATTERN [SECONDS]
kvl_wait_text() {
  local h=$1 id=$2 pattern=$3 limit=${4:-15} t i
  for i in $(seq 1 $((limit * 4))); do
    t=$(kvl_auto text "$h" "$id") || kvl_fail "control $id is gone"
    # shellcheck disable=SC2053
    [[ $t == $pattern ]] && return 0
    sleep 0.25
  done
  kvl_fail "control $id shows \"$t\", expected \"$pattern\""
}

# Clicks and selections reach the program as posted messages, so what they
# change is waited for rather than read at once.
# Usage: kvl_wait_selection HANDLE ID INDEX / kvl_wait_check HANDLE ID checked|unchecked
kvl_wait_selection() {
  local got i
  for i in $(seq 1 60); do
    got=$(kvl_auto selection "$1" "$2")
    [ "$got" = "$3" ] && return 0
    sleep 0.25
  done
  kvl_fail "selection of $2: expected \"$3\", got \"$got\""
}
kvl_wait_check() {
  local got i
  for i in $(seq 1 60); do
    got=$(kvl_auto state "$1" "$2" | cut -d' ' -f3)
    [ "$got" = "$3" ] && return 0
    sleep 0.25
  done
  kvl_fail "button $2: expected \"$3\", got \"$got\""
}

# Lines of FILE matching the grep PATTERN; the file must be readable, so a
# missing trace cannot read as "nothing happened". Usage: kvl_count FILE PATTERN
kvl_count() {
  [ -r "$1" ] || kvl_fail "cannot read $1"
  grep -c -- "$2" "$1"
  return 0
}

# Waits until more than N lines of FILE match PATTERN (a request reached the
# simulator, say). Usage: kvl_wait_count FILE PATTERN N [SECONDS]
kvl_wait_count() {
  local limit=${4:-15} n i
  for i in $(seq 1 $((limit * 4))); do
    n=$(kvl_count "$1" "$2")
    [ "$n" -gt "$3" ] && return 0
    sleep 0.25
  done
  kvl_fail "$(basename "$1"): still $n lines match \"$2\", expected more than $3"
}

# The simulator on a pty, fed from a pipe that stays open until the scenario
# ends. Usage: kvl_regsim REGSIM ARGS... ; sets KVL_PTY.
kvl_regsim() {
  local regsim=$1 i
  shift
  [ -x "$regsim" ] || kvl_fail "no simulator at $regsim"
  local d=$KVL_WINE_WORK/runs/$KVL_SCENARIO
  mkdir -p "$d"
  rm -f "$d/sim.ctl" "$KVL_WINE_OUT/$KVL_SCENARIO-trace.txt"  # regsim appends to a trace
  mkfifo "$d/sim.ctl"
  "$regsim" --pty --quiet --trace "$KVL_WINE_OUT/$KVL_SCENARIO-trace.txt" "$@" \
    <"$d/sim.ctl" >"$d/sim.out" 2>"$KVL_WINE_OUT/$KVL_SCENARIO-sim.err" &
  _kvl_sim_pid=$!
  exec 8>"$d/sim.ctl"
  KVL_PTY=""
  for i in $(seq 1 100); do
    KVL_PTY=$(sed -n 's/^PTY //p' "$d/sim.out" | head -n1)
    [ -n "$KVL_PTY" ] && break
    sleep 0.1
  done
  [ -n "$KVL_PTY" ] || kvl_fail "regsim did not report its pty"
}
_kvl_sim_pid=""
