#!/usr/bin/env bash
# One-command demo: builds what is missing, starts the regulator simulator with
# a network of three regulators (addresses 3, 5 and 7), writes a demo
# "KVL.icx", maps COM1 to the simulator in a private Wine prefix and runs
# regnet9.exe: on your display when there is one, otherwise on a private Xvfb
# with screenshots saved.
#
#   scripts/demo.sh            link the three regulators and open the monitor
#   scripts/demo.sh --bare     just start the program with its configuration
#   scripts/demo.sh --solo     regsolo.exe with one simulated regulator at
#                              address 5: connect it and show its status line
#                              (--solo --bare: just start regsolo)
#
# Environment: KVL_BUILD (default <repo>/build), KVL_JOBS (default 2).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KVL_BUILD:-$root/build}
jobs=${KVL_JOBS:-2}
bare=""
solo=""
for arg in "$@"; do
  case $arg in
    --bare) bare=yes ;;
    --solo) solo=yes ;;
    *)
      echo "usage: scripts/demo.sh [--solo] [--bare]" >&2
      exit 2
      ;;
  esac
done

say() { echo "demo: $*" >&2; }
die() {
  say "$*"
  exit 1
}

# Tools: installed when missing (as root), or named.
source "$root/scripts/deps.sh"
kvl_install_deps || die "install the packages named above, then run the demo again"

# Builds: the Windows programs and the native simulator.
win=$build/win
native=$build/demo-native
if [ ! -f "$win/build.ninja" ]; then
  say "configuring the Windows build in $win"
  cmake -S "$root" -B "$win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-posix.cmake" >/dev/null
fi
ninja -C "$win" -j"$jobs" regnet9 regsolo kvlauto >/dev/null ||
  die "the Windows build failed (run: ninja -C $win)"
if [ ! -f "$native/build.ninja" ]; then
  say "configuring the simulator build in $native"
  cmake -S "$root" -B "$native" -G Ninja >/dev/null
fi
ninja -C "$native" -j"$jobs" regsim >/dev/null || die "the simulator build failed (run: ninja -C $native regsim)"
exe=$win/windows/regnet9.exe
[ -n "$solo" ] && exe=$win/windows/regsolo.exe
auto=$win/tests/wine/kvlauto.exe
regsim=$native/sim/regsim
for f in "$exe" "$auto" "$regsim"; do
  [ -f "$f" ] || die "missing $f after the build"
done

work=$build/demo
mkdir -p "$work"
out=$work/screenshots
sim_pid=""
prog_pid=""
started_xvfb=""
source "$root/tests/wine/wine_env.sh"

cleanup() {
  [ -n "$prog_pid" ] && kill "$prog_pid" 2>/dev/null
  kvl_wine_stop
  [ -n "$started_xvfb" ] && kvl_xvfb_stop
  if [ -n "$sim_pid" ]; then
    exec 8>&- || true
    kill "$sim_pid" 2>/dev/null
    wait "$sim_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# The simulator: a flow regulator at 3, a pressure regulator at 5, another flow
# regulator at 7; for regsolo one flow regulator at 5 whose valve is free
# (status byte 6: external control on, regulation permitted).
rm -f "$work/sim.ctl"
mkfifo "$work/sim.ctl"
if [ -n "$solo" ]; then
  devices=(--dev addr=5,kind=flow,serial=4321,setpoint=30,flow=30,status6=0x42)
else
  devices=(--dev addr=3,kind=flow,serial=12345,setpoint=40,flow=40
    --dev addr=5,kind=pressure,serial=23456,setpoint=25,flow=25
    --dev addr=7,kind=flow,serial=34567,setpoint=70,flow=65)
fi
"$regsim" --pty --quiet --trace "$work/trace.txt" "${devices[@]}" <"$work/sim.ctl" >"$work/sim.out" &
sim_pid=$!
exec 8>"$work/sim.ctl"
pty=""
for _ in $(seq 1 100); do
  pty=$(sed -n 's/^PTY //p' "$work/sim.out" | head -n1)
  [ -n "$pty" ] && break
  kill -0 "$sim_pid" 2>/dev/null || die "regsim ended at start"
  sleep 0.1
done
[ -n "$pty" ] || die "regsim did not report its pty"
say "simulator on $pty (trace: $work/trace.txt)"

# "KVL.dfg" of regsolo: port index 0 (COM1), address 5.
printf '\000\005' >"$work/KVL.dfg"
# "KVL.icx" of regnet9: 11 records of 64 bytes, little-endian 32-bit fields;
# port index at offset 32 of record 0 (0 = COM1), network address at offset 40
# of each record.
python3 - "$work/KVL.icx" <<'PY'
import struct, sys
img = bytearray(704)
struct.pack_into("<I", img, 32, 0)
for record, address in enumerate([3, 5, 7]):
    struct.pack_into("<I", img, record * 64 + 40, address)
open(sys.argv[1], "wb").write(img)
PY

# The display: the user's, or a private Xvfb with screenshots.
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  say "showing the program on $DISPLAY"
else
  kvl_xvfb_start || die "Xvfb did not start"
  started_xvfb=yes
  mkdir -p "$out"
  say "no display: running on Xvfb $DISPLAY, screenshots go to $out"
fi

# The prefix and COM1.
say "Wine prefix $work/prefix (made once; the first time takes a while)"
kvl_wine_prefix "$work/prefix" || die "could not make the Wine prefix"
kvl_wine_map_com 1 "$pty" || die "could not map COM1 to $pty"

(cd "$work" && exec wine "$exe" >"$work/program.log" 2>&1) &
prog_pid=$!

a() { wine "$auto" "$@"; }
shot() {
  [ -n "$started_xvfb" ] || return 0
  local rect
  rect=$(a rect "$2") || return 0
  set -- "$1" $rect
  import -display "$DISPLAY" -window root -crop "${4}x${5}+${2}+${3}" +repage "$out/$1.png" &&
    say "screenshot $out/$1.png"
}

if [ -n "$solo" ]; then
  main=$(a find "ViriREVO7" TTYWndClass 60000) || die "the main window did not appear"
  if [ -z "$bare" ]; then
    # Connect the regulator the way an operator does, then start the polling.
    a menu "$main" 40048 >/dev/null
    con=$(a dialog "Установление связи с регулятором" 20000) || die "no connection dialog"
    a click "$con" 1156 >/dev/null
    sleep 1
    a click "$con" 1073 >/dev/null
    for _ in $(seq 1 40); do
      [ "$(a text "$con" 1075)" = "Установлена" ] && break
      sleep 0.5
    done
    [ "$(a text "$con" 1075)" = "Установлена" ] || die "the regulator did not answer: see $work/trace.txt"
    shot connection "$con"
    a click "$con" 1 >/dev/null
    a gone "$con" 10000 >/dev/null || die "the connection dialog stayed open"
    a menu "$main" 40078 >/dev/null
    a menu "$main" 40057 >/dev/null
    sleep 3
    shot main "$main"
  fi
else
  main=$(a find "Net9 Demo КВЛ30" TTYWndClass 60000) || die "the main window did not appear"
  if [ -z "$bare" ]; then
    # Link the three regulators the way an operator does, then open the monitor.
    a menu "$main" 40082 >/dev/null
    net=$(a dialog "Формирование сети" 20000) || die "no network formation dialog"
    a click "$net" 1156 >/dev/null
    sleep 1
    a click "$net" 1210 >/dev/null
    say "checking all nine channels (the six empty ones take a second each)"
    for _ in $(seq 1 60); do
      [ "$(a text "$net" 1236)" = "Проверка завершена" ] && break
      sleep 0.5
    done
    shot network "$net"
    sleep 1.5
    a click "$net" 1 >/dev/null
    a gone "$net" 10000 >/dev/null || die "the network dialog stayed open"
    a menu "$main" 836 >/dev/null || die "no channel was linked: see $work/trace.txt"
    mon=$(a dialog "Установка канала и контроль параметров" 20000) || die "no monitor window"
    a menu "$main" 40057 >/dev/null
    sleep 3
    shot monitor "$mon"
    shot main "$main"
  fi
fi

if [ -n "$started_xvfb" ]; then
  [ -n "$bare" ] && { sleep 2; shot main "$main"; }
  import -display "$DISPLAY" -window root "$out/desktop.png" && say "screenshot $out/desktop.png"
  say "done; the program is closed with the demo"
else
  say "the program runs until you close it (File > Exit)"
  wait "$prog_pid" || true
  prog_pid=""
fi
