#!/bin/bash
# Runs link_check.exe under Wine with COM1 (and COM10) mapped to a simulator on a
# pty, through a link that the simulator makes to its pty and removes when it ends.
#   run.sh LINK_CHECK_EXE REGSIM [PREFIX_DIR]
# link_check.exe asks for the device to go away and come back by printing "@pull"
# or "@restore"; the simulator is then ended (its pty closes) or started again,
# and link_check.exe is answered "done" (or "failed") on its standard input.
# Exit status: that of link_check.exe (0 = all checks passed), 2 for a set-up
# failure, 1 when link_check passed but the simulator once did not end with status 0.
set -u
exe=${1:?usage: run.sh LINK_CHECK_EXE REGSIM [PREFIX_DIR]}
regsim=${2:?usage: run.sh LINK_CHECK_EXE REGSIM [PREFIX_DIR]}
prefix=${3:-${TMPDIR:-/tmp}/kvl-wine-serial-$(id -u)}
here=$(cd "$(dirname "$0")" && pwd)
[ -f "$exe" ] || { echo "no $exe: build the Windows configuration first" >&2; exit 2; }
[ -x "$regsim" ] || { echo "no simulator at $regsim" >&2; exit 2; }
. "$here/../wine_env.sh"

work=$(mktemp -d) || exit 2
link=$work/com
sim_pid=
sim_failed=0
# Ends the simulator; it must end cleanly (a sanitizer report makes it fail).
sim_stop() {
  [ -n "$sim_pid" ] || return 0
  echo quit >&9
  exec 9>&-
  wait "$sim_pid"
  local st=$?
  sim_pid=
  if [ $st -ne 0 ]; then
    echo "regsim ended with exit status $st" >&2
    sim_failed=1
  fi
}
sim_start() {
  rm -f "$work/ctl" "$work/out"
  mkfifo "$work/ctl" || return 1
  "$regsim" --pty --quiet --link "$link" --trace "$work/trace.txt" \
    --dev addr=5,serial=4321,setpoint=25.5,flow=25.5 \
    --dev addr=6,chunks=3+3+4,chunk-delay-ms=15 \
    --dev addr=7,answer-from=3 \
    --dev addr=8,badsum=1 <"$work/ctl" >"$work/out" 5>&- 6<&- &
  sim_pid=$!
  exec 9>"$work/ctl"  # keeps the simulator's stdin open until it is stopped
  for _ in $(seq 1 100); do
    [ -e "$link" ] && return 0
    sleep 0.1
  done
  echo "regsim did not make its pty" >&2
  return 1
}
cleanup() {
  sim_stop
  kvl_wine_stop
  rm -rf "$work"
}
trap cleanup EXIT

kvl_wine_prefix "$prefix" || exit 2
sim_start || exit 2
echo "regsim on $(readlink "$link")"
kvl_wine_map_com 1 "$link" || exit 2
kvl_wine_map_com 10 "$link" || exit 2

# link_check.exe talks to this script through two pipes.
mkfifo "$work/to" "$work/from" || exit 2
kvl_wine_run "$exe" <"$work/to" >"$work/from" 2>&1 &
check_pid=$!
exec 5>"$work/to" 6<"$work/from"
handle() {
  case $1 in
    @pull)
      sim_stop
      echo "done" >&5
      ;;
    @restore)
      if sim_start; then echo "done" >&5; else echo failed >&5; fi
      ;;
    *) printf '%s\n' "$1" ;;
  esac
}
while :; do
  if IFS= read -r -t 1 line <&6; then
    handle "${line%$'\r'}"
  elif [ $? -gt 128 ] && kill -0 "$check_pid" 2>/dev/null; then
    continue  # nothing yet, link_check.exe still runs
  else
    [ -n "$line" ] && handle "${line%$'\r'}"
    break
  fi
done
exec 5>&- 6<&-
wait "$check_pid"
status=$?
if [ $status -ne 0 ] && [ -s "$work/trace.txt" ]; then
  echo "--- simulator trace (last 40 lines)"
  tail -n 40 "$work/trace.txt"
fi
sim_stop
[ $status -ne 0 ] || status=$sim_failed
exit $status
