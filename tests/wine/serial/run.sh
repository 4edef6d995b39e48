#!/bin/bash
# Runs link_check.exe under Wine with COM1 mapped to a simulator on a pty.
#   run.sh LINK_CHECK_EXE REGSIM [PREFIX_DIR]
# Exit status: that of link_check.exe (0 = all checks passed), 2 for a set-up
# failure, 1 when link_check passed but the simulator did not end with status 0.
set -u
exe=${1:?usage: run.sh LINK_CHECK_EXE REGSIM [PREFIX_DIR]}
regsim=${2:?usage: run.sh LINK_CHECK_EXE REGSIM [PREFIX_DIR]}
prefix=${3:-${TMPDIR:-/tmp}/kvl-wine-serial-$(id -u)}
here=$(cd "$(dirname "$0")" && pwd)
[ -f "$exe" ] || { echo "no $exe: build the Windows configuration first" >&2; exit 2; }
[ -x "$regsim" ] || { echo "no simulator at $regsim" >&2; exit 2; }
. "$here/../wine_env.sh"

work=$(mktemp -d) || exit 2
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  kvl_wine_stop
  rm -rf "$work"
}
trap cleanup EXIT

kvl_wine_prefix "$prefix" || exit 2

mkfifo "$work/ctl"
"$regsim" --pty --quiet --trace "$work/trace.txt" \
  --dev addr=5,serial=4321,setpoint=25.5,flow=25.5 \
  --dev addr=6,chunks=3+3+4,chunk-delay-ms=15 \
  --dev addr=7,answer-from=3 \
  --dev addr=8,badsum=1 <"$work/ctl" >"$work/out" &
sim_pid=$!
exec 9>"$work/ctl"  # keeps the simulator's stdin open until we leave
pty=
for _ in $(seq 1 100); do
  pty=$(sed -n 's/^PTY //p' "$work/out" | head -n1)
  [ -n "$pty" ] && break
  sleep 0.1
done
[ -n "$pty" ] || { echo "regsim did not report its pty" >&2; exit 2; }
echo "regsim on $pty"

kvl_wine_map_com 1 "$pty" || exit 2
kvl_wine_map_com 10 "$pty" || exit 2
kvl_wine_run "$exe"
status=$?
if [ $status -ne 0 ] && [ -s "$work/trace.txt" ]; then
  echo "--- simulator trace (last 40 lines)"
  tail -n 40 "$work/trace.txt"
fi
# The simulator must end cleanly too (a sanitizer report makes it fail).
echo quit >&9
exec 9>&-
wait "$sim_pid"
sim_status=$?
sim_pid=
if [ $sim_status -ne 0 ]; then
  echo "regsim ended with exit status $sim_status" >&2
  [ $status -ne 0 ] || status=1
fi
exit $status
