#!/usr/bin/env bash
# bench_wine: what the real programs cost under Wine on this machine. Prints
# figures only.
#
#   tools/bench/bench_wine.sh [--minutes M] [--exchanges N] [--regsim PATH]
#
# Needs the Windows build (build/win: regnet9.exe, kvlauto.exe,
# bench_wine_link.exe) and a native regsim (build/native/sim/regsim unless
# --regsim is given). KVL_BUILD moves the build folder. Everything runs in
# build/bench-wine: a private Wine prefix, a private Xvfb, regsim with nine flow
# regulators (addresses 1..9) on a pty, COM1 mapped to that pty.
#
# (a) round trip of one poll through the Win32 link (bench_wine_link.exe);
# (b) regnet9.exe for M minutes each (default 5), first with no port open (what
#     Wine itself costs), then with the port open and nine channels linked, no
#     polling: CPU time, resident memory and private memory (VmData: committed
#     private pages) of the program's process and of the wineserver, from /proc;
# (c) the same with the channel monitor open, polling the nine regulators every
#     700 ms, for M minutes; and the poll cycle as the simulator saw it (its
#     trace: first request to last answer of each tick).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${KVL_BUILD:-$root/build}
minutes=5
exchanges=2000
regsim=$build/native/sim/regsim
while [ $# -gt 0 ]; do
  case $1 in
    --minutes) minutes=$2; shift 2 ;;
    --exchanges) exchanges=$2; shift 2 ;;
    --regsim) regsim=$2; shift 2 ;;
    *) echo "usage: bench_wine.sh [--minutes M] [--exchanges N] [--regsim PATH]" >&2; exit 2 ;;
  esac
done
win=$build/win
prog=$win/windows/regnet9.exe
auto=$win/tests/wine/kvlauto.exe
linkbench=$win/tools/bench/bench_wine_link.exe
for f in "$prog" "$auto" "$linkbench"; do
  [ -f "$f" ] || { echo "no $f: build the Windows configuration first" >&2; exit 2; }
done
[ -x "$regsim" ] || { echo "no simulator at $regsim (give --regsim)" >&2; exit 2; }

work=$build/bench-wine
mkdir -p "$work"
source "$root/tests/wine/wine_env.sh"
export LANG=C.UTF-8 LC_ALL=C.UTF-8
sim_pid=""
prog_pid=""
cleanup() {
  [ -n "$prog_pid" ] && kill "$prog_pid" 2>/dev/null
  kvl_wine_stop
  kvl_xvfb_stop
  if [ -n "$sim_pid" ]; then
    echo quit >&8
    exec 8>&-
    wait "$sim_pid" 2>/dev/null
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
die() {
  echo "bench_wine: $*" >&2
  exit 1
}

# The simulated line: nine flow regulators; COM1 is mapped to the link regsim
# keeps to its pty.
rm -f "$work/sim.ctl" "$work/trace.txt"
mkfifo "$work/sim.ctl"
devices=()
for a in 1 2 3 4 5 6 7 8 9; do devices+=(--dev "addr=$a,setpoint=$((a * 10)),flow=$((a * 10))"); done
"$regsim" --pty --quiet --link "$work/com1" --trace "$work/trace.txt" "${devices[@]}" \
  <"$work/sim.ctl" >"$work/sim.out" &
sim_pid=$!
exec 8>"$work/sim.ctl"
for _ in $(seq 1 100); do
  [ -e "$work/com1" ] && break
  sleep 0.1
done
[ -e "$work/com1" ] || die "regsim did not make its pty"

kvl_xvfb_start || die "Xvfb did not start"
kvl_wine_prefix "$work/prefix" || die "could not make the Wine prefix"
kvl_wine_map_com 1 "$work/com1" || die "could not map COM1"

echo "bench_wine: $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load average" \
  "$(cut -d' ' -f1-3 /proc/loadavg), $(wine --version 2>/dev/null)"
echo

figures=$(wine "$linkbench" "$exchanges" 1 | tr -d '\r') || die "bench_wine_link failed"
echo "(a) $figures"
echo

hz=$(getconf CLK_TCK)
# One line: seconds since the epoch, then CPU seconds, resident kB and private kB
# of each pid.
sample() {
  local line p
  line=$(date +%s.%N)
  for p in "$@"; do
    line+=" $(awk -v hz="$hz" '{printf "%.2f", ($14 + $15) / hz}' "/proc/$p/stat")"
    line+=" $(awk '/^VmRSS/ {r = $2} /^VmData/ {d = $2} END {print r, d}' "/proc/$p/status")"
  done
  echo "$line"
}
# Samples every 10 s for the given seconds, then prints each process's share of
# a core and its memory trends (least-squares slopes).
measure() {  # SECONDS FILE PID NAME PID NAME
  local secs=$1 file=$2 i
  : >"$file"
  for i in $(seq 0 10 "$secs"); do
    sample "$3" "$5" >>"$file"
    [ "$i" -lt "$secs" ] && sleep 10
  done
  python3 - "$file" "$4" "$6" <<'PY'
import sys
rows = [list(map(float, l.split())) for l in open(sys.argv[1]) if l.strip()]
t = [r[0] - rows[0][0] for r in rows]
def trend(v):  # MB an hour
    mt, mv = sum(t) / len(t), sum(v) / len(v)
    return 3600 * sum((a - mt) * (b - mv) for a, b in zip(t, v)) / sum((a - mt) ** 2 for a in t)
for k, name in enumerate(sys.argv[2:]):
    cpu = [r[1 + 3 * k] for r in rows]
    rss = [r[2 + 3 * k] / 1024 for r in rows]
    data = [r[3 + 3 * k] / 1024 for r in rows]
    print(f"    {name:<12} CPU {100 * (cpu[-1] - cpu[0]) / t[-1]:7.3f} % of a core;"
          f" resident {rss[0]:5.1f} -> {rss[-1]:5.1f} MB ({trend(rss):+7.2f} MB/hour);"
          f" private {data[0]:6.1f} -> {data[-1]:6.1f} MB ({trend(data):+7.2f} MB/hour)")
PY
}

dir=$work/run
rm -rf "$dir"
mkdir -p "$dir"
python3 - "$dir/KVL.icx" <<'PY'
import struct, sys
img = bytearray(704)  # regnet9: 11 records of 64 bytes; port index at 32, address at 40
for record in range(9):
    struct.pack_into("<I", img, record * 64 + 40, record + 1)
open(sys.argv[1], "wb").write(img)
PY
(cd "$dir" && exec wine "$prog" >"$work/program.log" 2>&1) &
prog_pid=$!
a() { wine "$auto" "$@"; }
main=$(a find "Net9 Demo КВЛ30" TTYWndClass 60000) || die "regnet9 did not start"
exe_pid=$(kvl_wine_pid regnet9.exe) || die "no regnet9.exe process"
ws_pid=$(kvl_wine_pid 'wineserver*') || die "no wineserver process"
secs=$((minutes * 60))
sleep 10  # let the start settle
echo "(b) regnet9.exe, no port open, ${minutes} min"
measure "$secs" "$work/closed.txt" "$exe_pid" regnet9.exe "$ws_pid" wineserver
a menu "$main" 40082 >/dev/null || die "no network formation command"
net=$(a dialog "Формирование сети" 20000) || die "no network formation dialog"
a click "$net" 1156 >/dev/null || die "could not open the port"
sleep 1
# The check of all channels shows "Проверка завершена" for a second at its end.
a watch "$net" 1236 "Проверка завершена" 120000 >/dev/null &
watcher=$!
sleep 1
a click "$net" 1210 >/dev/null || die "could not start the check of all channels"
wait "$watcher" || die "the channel check did not end"
a click "$net" 1 >/dev/null
a gone "$net" 10000 >/dev/null || die "the network dialog stayed open"
sleep 10
echo "    regnet9.exe, COM1 open with nine channels linked, no polling, ${minutes} min"
measure "$secs" "$work/idle.txt" "$exe_pid" regnet9.exe "$ws_pid" wineserver
echo

a menu "$main" 836 >/dev/null || die "no channel was linked: see $work/trace.txt"
a dialog "Установка канала и контроль параметров" 20000 >/dev/null || die "no monitor window"
sleep 10
start_ms=$(tail -n 1 "$work/trace.txt" | cut -d' ' -f1)
echo "(c) regnet9.exe polling the nine regulators every 700 ms, ${minutes} min"
measure "$secs" "$work/polling.txt" "$exe_pid" regnet9.exe "$ws_pid" wineserver
python3 - "$work/trace.txt" "$start_ms" <<'PY'
import sys
start = int(sys.argv[2])
ticks, cur, last = [], [], None
for line in open(sys.argv[1]):
    f = line.split()
    if len(f) < 3 or f[1] not in ("RX", "TX") or int(f[0]) < start:
        continue
    t = int(f[0])
    if last is not None and t - last > 300:
        ticks.append(cur)
        cur = []
    cur.append((t, f[1]))
    last = t
ticks.append(cur)
full = [k for k in ticks if sum(1 for _, d in k if d == "RX") == 9 and sum(1 for _, d in k if d == "TX") == 9]
if not full:
    print("    no complete poll tick in the trace")
    sys.exit()
cyc = sorted(k[-1][0] - k[0][0] for k in full)
print(f"    poll ticks {len(ticks)}, complete (9 answered) {len(full)};"
      f" tick from first request to last answer: median {cyc[len(cyc) // 2]} ms,"
      f" p90 {cyc[len(cyc) * 9 // 10]} ms, max {cyc[-1]} ms")
PY
