#!/usr/bin/env bash
# soak: regnet9.exe under Wine for MINUTES (default 30) against nine simulated
# regulators whose faults rotate, with the port closed and opened again every
# minute. Fails (exit status 1) when the program crashes or does not end
# cleanly, shows a value under a channel whose regulator did not send it, grows
# in memory, or keeps handles, GDI objects or windows after a cycle.
#
#   scripts/soak.sh [MINUTES] [--regsim PATH]
#
# Needs the Windows build (KVL_WIN_BUILD_DIR, default build/win: regnet9.exe,
# kvlauto.exe) and a native regsim (build/native/sim/regsim unless --regsim is
# given). State, screenshots and the run's files go to KVL_WINE_WORK (default
# build/soak). The last line printed is a one-line summary of the run.
#
# Every minute is one round: the monitor is closed, the port closed and opened
# again in the network dialog and every channel checked, the monitor opened;
# then four fault phases share the rest of the minute. The phases rotate through
# the line vanishing and coming back (the simulator ends, so its pty closes, and
# starts again), silent devices, wrong check values, junk before the answers,
# answers in chunks, a turnaround of 150-450 ms, drop-outs, and all of these at
# once on different devices. Each phase gives the nine regulators new setpoints
# and flows, distinct between devices.
#
# Checks:
# - values: every setpoint, output and device number the monitor shows for
#   channel N (at address N+1) is one the regulator at that address sent, as the
#   simulator's trace has it; so is every channel line of the network dialog;
# - memory: resident and private memory (VmRSS, VmData) of the program's Wine
#   process, sampled with the monitor's texts, so always while it polls under a
#   phase's faults (never while a cycle has the monitor closed); after a warm-up
#   (a quarter of the run from the first sample, at least one minute and at
#   most five) a least-squares line is fitted, and the run fails when its slope
#   is above 1 MB an hour with 95 % confidence (slope minus 1.96 standard errors
#   above 1 MB an hour). A short run can show only a fast leak; the long run in
#   README gives the figure;
# - handles, GDI objects and windows of the program (kvlauto resources) each time
#   the monitor is open again after a cycle or the line's return: within +-2 of
#   the count after the first round, which is the warm-up of Wine's caches (the
#   first message box, the first dialogs);
# - no crash: the program is still there at every step and ends with exit
#   status 0 after Exit.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
minutes=30
regsim=$root/build/native/sim/regsim
while [ $# -gt 0 ]; do
  case $1 in
    --regsim) regsim=${2:?--regsim needs a path}; shift 2 ;;
    [0-9]*) minutes=$1; shift ;;
    *) echo "usage: soak.sh [MINUTES] [--regsim PATH]" >&2; exit 2 ;;
  esac
done
[ "$minutes" -ge 2 ] 2>/dev/null || { echo "soak.sh: MINUTES must be 2 or more" >&2; exit 2; }
export KVL_WIN_BUILD_DIR=${KVL_WIN_BUILD_DIR:-$root/build/win}
export KVL_WINE_WORK=${KVL_WINE_WORK:-$root/build/soak}
KVL_SCENARIO=soak
source "$root/tests/wine/harness.sh"

run=$KVL_WINE_WORK/runs/soak
mkdir -p "$run"
com1=$run/com1
samples=$run/samples.txt     # "@ SECONDS" lines, then id TAB class TAB text of the monitor
netlines=$run/netlines.txt   # the network dialog's channel lines after each check
traces=$run/traces.txt       # the simulator's traces of the run, one after another
memfile=$run/memory.txt      # ms VmRSS-kB VmData-kB
resfile=$run/resources.txt   # seconds round what handles N gdi N windows N
: >"$samples"
: >"$netlines"
: >"$traces"
: >"$memfile"
: >"$resfile"
t0=$(date +%s)
elapsed() { echo $(($(date +%s) - t0)); }
say() { kvl_log "$(printf '%4ds' "$(elapsed)") $*"; }

# The nine regulators: address a = channel a-1, serial 10000 + 1111 a; in
# phase k a setpoint of 10 a + k/10 and a flow of 10 a + 5 + k/10 (per cent,
# k = 0..8), measured without regulation so the flow is exactly that.
phase=0
values() {  # ADDR
  local a=$1 k=$((phase % 9))
  echo "setpoint=$((10 * a)).$k,flow=$((10 * a + 5)).$k"
}
sim_start() {
  local devs=() a
  for a in 1 2 3 4 5 6 7 8 9; do
    devs+=(--dev "addr=$a,serial=$((10000 + 1111 * a)),regulate=0,$(values "$a")")
  done
  kvl_regsim "$regsim" --link "$com1" "${devs[@]}"
}
sim_set() {  # ADDR TEXT
  echo "set $1 $2" >&8 || kvl_fail "the simulator does not take commands"
}
# The line vanishes: the simulator ends cleanly and its pty closes. Its trace is
# kept for the check of the values.
sim_pull() {
  _kvl_regsim_stop || kvl_fail "regsim did not end cleanly when the line was pulled"
  cat "$KVL_WINE_OUT/soak-trace.txt" >>"$traces"
}

alive() { kvl_running || kvl_fail "regnet9.exe is gone (crashed?)"; }

# Network dialog: closes the port when it is open, opens it, checks every
# channel and keeps the channel lines; then OK and the monitor. Prints the
# monitor's handle.
reopen() {
  local net watcher ch mon
  alive
  kvl_auto menu "$main" 40082 >/dev/null || kvl_fail "could not choose the network formation"
  net=$(kvl_auto dialog "Формирование сети" 20000) || kvl_fail "no network formation dialog"
  if [ "$(kvl_auto state "$net" 1156 | cut -d' ' -f3)" = checked ]; then  # "Открыть порт "
    kvl_auto click "$net" 1157 >/dev/null || kvl_fail "could not click Закрыть порт"
    kvl_wait_text "$net" 1158 "Порт COM1 закрыт"
  fi
  kvl_auto click "$net" 1156 >/dev/null || kvl_fail "could not click Открыть порт"
  kvl_wait_text "$net" 1158 "Порт COM1 открыт"
  # The check shows "Проверка завершена" for a second at its end.
  wine "$KVL_AUTO_EXE" watch "$net" 1236 "Проверка завершена" 120000 >/dev/null 2>&1 &
  watcher=$!
  sleep 1
  kvl_auto click "$net" 1210 >/dev/null || kvl_fail "could not click Проверка связи"
  wait "$watcher" || kvl_fail "the check of all channels did not end"
  echo "@ $(elapsed)" >>"$netlines"
  for ch in 0 1 2 3 4 5 6 7 8; do
    echo "$ch $(kvl_auto text "$net" $((1277 + ch)))" >>"$netlines" || exit 1
  done
  kvl_auto click "$net" 1 >/dev/null || kvl_fail "could not click OK"
  kvl_auto gone "$net" 10000 >/dev/null || kvl_fail "the network dialog stayed open"
  kvl_auto menu "$main" 836 >/dev/null || kvl_fail "no Вывести на экран: no channel linked"
  mon=$(kvl_auto dialog "Установка канала и контроль параметров" 20000) || kvl_fail "no monitor"
  echo "$mon"
}

# The program's counts once the monitor polls: the least of three reads half a
# second apart, as an exchange under way holds a handle or two for a moment.
resources() {  # WHAT
  local reads i
  sleep 2
  for i in 1 2 3; do
    reads+=$(kvl_auto resources "$main")$'\n' || exit 1
    sleep 0.5
  done
  echo "$(elapsed) $round $1 $(awk 'NF {n = NF; for (i = 1; i < NF; i += 2)
    if (!(i in m) || $(i + 1) < m[i]) { m[i] = $(i + 1); k[i] = $i }}
    END {for (i = 1; i < n; i += 2) printf "%s %d ", k[i], m[i]}' <<<"$reads")" >>"$resfile"
}

# The monitor's texts, and the program's memory (always in the same state:
# polling, while a phase's faults act).
sample() {
  local mem
  alive
  # From the window system: a program busy on a bad line answers messages late.
  { echo "@ $(elapsed)"; kvl_auto captions "$mon"; } >>"$samples" || exit 1
  mem=$(awk '/^VmRSS/ {r = $2} /^VmData/ {d = $2} END {print r, d}' "/proc/$pid/status") ||
    kvl_fail "cannot read the memory of process $pid"
  echo "$(($(date +%s%N) / 1000000 - t0 * 1000)) $mem" >>"$memfile"
}

# Samples the monitor every 2 s until the time (seconds since the start) is up.
watch_until() {
  while [ "$(elapsed)" -lt "$1" ]; do
    sample
    sleep 2
  done
}

# The faults of a phase of the given kind, one "ADDR TEXT" line per device,
# moving over the devices from phase to phase. The line's vanishing is done by
# its phase itself.
faults_of() {  # KIND
  local f=$(((phase * 3) % 9)) a b c
  a=$((f + 1)) b=$((f + 2)) c=$((f + 3))
  case $1 in
    silent) printf '%s\n' "$a silent=1" "$b silent=1" ;;
    badsum) printf '%s\n' "$a badsum=1" "$b badsum=1" "$c badsum=1" ;;
    garbage) printf '%s\n' "$a garbage=7" "$b garbage=40" "$c garbage=3" ;;
    chunks) printf '%s\n' "$a chunks=1+1+1+1+1+1+1+1+1+1,chunk-delay-ms=15" \
      "$b chunks=3+3+4,chunk-delay-ms=60" "$c chunks=5+5,chunk-delay-ms=250" ;;
    turnaround) printf '%s\n' "$a turnaround=150-450" "$b turnaround=150-450" "$c turnaround=150-450" ;;
    dropout) printf '%s\n' "$a dropout=4" "$b dropout=8" ;;
    mixed) printf '%s\n' "1 silent=1" "2 badsum=1" "3 garbage=20" "4 chunks=2+2+2+2+2" \
      "5 turnaround=150-450" "6 dropout=5" "7 turnaround=150-450,chunks=4+6" ;;
  esac
}
clear_faults='silent=0,badsum=0,garbage=0,chunks=0,turnaround=0,dropout=0'
kinds=(vanish silent badsum garbage chunks turnaround dropout mixed)

kvl_start
sim_start
kvl_map_com 1 "$com1"
dir=$(kvl_workdir run)
kvl_write_icx "$dir" regnet9 0 1 2 3 4 5 6 7 8 9
kvl_launch regnet9.exe "$dir"
main=$(kvl_main "Net9 Demo КВЛ30") || exit 1
pid=$(kvl_wine_pid regnet9.exe) || kvl_fail "no regnet9.exe process"
say "regnet9.exe is process $pid; $minutes rounds of about a minute"
round=0
r=$(kvl_auto resources "$main") || exit 1
echo "$(elapsed) $round closed $r" >>"$resfile"

end=$((t0 + minutes * 60))
for round in $(seq 1 "$minutes"); do
  start=$(elapsed)
  # The cycle: monitor closed, port closed and opened, channels checked.
  if [ "$round" -gt 1 ]; then
    kvl_auto click "$mon" 1 >/dev/null || kvl_fail "could not close the monitor"
    kvl_auto gone "$mon" 10000 >/dev/null || kvl_fail "the monitor stayed open"
  fi
  mon=$(reopen) || exit 1
  resources cycle
  say "round $round: port closed and opened again"
  for j in 1 2 3 4; do
    # The phases share what is left of the round's minute (6 s at least).
    left=$((start + 60 - $(elapsed)))
    stop=$(($(elapsed) + (left / (5 - j) > 6 ? left / (5 - j) : 6)))
    [ "$round" -eq "$minutes" ] && [ "$j" -eq 4 ] && [ "$stop" -lt "$((end - t0))" ] && stop=$((end - t0))
    kind=${kinds[$((((round - 1) * 4 + j - 1) % ${#kinds[@]}))]}
    phase=$((phase + 1))
    for a in 1 2 3 4 5 6 7 8 9; do sim_set "$a" "$(values "$a")"; done
    if [ "$kind" = vanish ]; then
      say "phase $phase: the line vanishes"
      sim_pull
      box=$(kvl_msgbox "Порт COM1 отключен" "ErrorSvjac") || exit 1
      kvl_auto click "$box" 1 >/dev/null || kvl_fail "could not answer the lost port's message"
      kvl_auto gone "$box" 10000 >/dev/null || kvl_fail "the lost port's message stayed open"
      kvl_auto gone "$mon" 10000 >/dev/null || kvl_fail "the monitor stayed open on a lost port"
      kvl_absent msgbox 1000
      sleep 2
      sim_start
      mon=$(reopen) || exit 1
      resources return
      say "phase $phase: the line is back"
    else
      say "phase $phase: $kind"
      while read -r a text; do sim_set "$a" "$text"; done < <(faults_of "$kind")
    fi
    watch_until "$stop"
    for a in 1 2 3 4 5 6 7 8 9; do sim_set "$a" "$clear_faults"; done
  done
done

kvl_auto click "$mon" 1 >/dev/null || kvl_fail "could not close the monitor"
kvl_auto gone "$mon" 10000 >/dev/null || kvl_fail "the monitor stayed open"
kvl_auto menu "$main" 258 >/dev/null || kvl_fail "could not choose Exit"
kvl_answer "OK to close window?" "КВЛ30" 1
kvl_wait_exit 30
cat "$KVL_WINE_OUT/soak-trace.txt" >>"$traces"

python3 - "$traces" "$samples" "$netlines" "$memfile" "$resfile" "$minutes" <<'PY'
import sys

traces, samples, netlines, memfile, resfile, minutes = sys.argv[1:]
minutes = int(minutes)
failures = []

# What each address sent: measure answers (code 17: flow bytes 2-3, sign and
# magnitude; setpoint bytes 4-5, hundredths of a per cent) and identify answers
# (code 1: serial bytes 2-3); byte 7 is the sender's address. Junk (0xA5) may
# come before the frame.
setpoints, outputs, serials = {}, {}, {}
answers = 0
for line in open(traces, encoding="utf-8", errors="replace"):
    f = line.split()
    if len(f) < 4 or f[1] != "TX" or f[2] != "K":
        continue
    b = [int(x, 16) for x in f[3:]]
    while b and b[0] == 0xA5:
        b.pop(0)
    if len(b) < 10:
        continue
    addr = b[7]
    if b[0] == 17:
        answers += 1
        flow = ((b[2] & 0x7F) << 8 | b[3]) * (-1 if b[2] & 0x80 else 1)
        setpoints.setdefault(addr, set()).add("%.1f" % ((b[4] << 8 | b[5]) / 100))
        outputs.setdefault(addr, set()).add("%+3.1f%%     " % (flow / 100))
    elif b[0] == 1:
        serials.setdefault(addr, set()).add(str(b[2] << 8 | b[3]))
if answers == 0:
    failures.append("the simulator's trace has no measure answer")

# The monitor's cells of each channel (regnet9): setpoint, output, device number.
rows = [(1239, 1242, 1245), (1240, 1243, 1246), (1241, 1244, 1247), (1248, 1249, 1250),
        (1251, 1252, 1253), (1271, 1272, 1275), (1278, 1283, 1284), (1287, 1288, 1289),
        (1292, 1293, 1294)]
cell = {}
for ch, ids in enumerate(rows):
    for kind, i in zip(("setpoint", "output", "number"), ids):
        cell[i] = (ch, kind)
allowed_extra = {"setpoint": {""}, "output": {"", "нет связи"}, "number": {""}}
known = {"setpoint": setpoints, "output": outputs, "number": serials}
def timed(path):
    """The lines of a file of "@ SECONDS" headers, each with its header's time,
    and the number of headers."""
    lines, t, headers = [], 0, 0
    for line in open(path, encoding="utf-8"):
        line = line.rstrip("\n")
        if line.startswith("@ "):
            t, headers = int(line[2:]), headers + 1
        else:
            lines.append((t, line))
    return lines, headers

shown = 0
wrong = {}
lines, snapshots = timed(samples)
for t, line in lines:
    parts = line.split("\t", 2)
    if len(parts) < 3 or not parts[0].isdigit() or int(parts[0]) not in cell:
        continue
    ch, kind = cell[int(parts[0])]
    text = parts[2]
    if text in allowed_extra[kind]:
        continue
    shown += 1
    if text not in known[kind].get(ch + 1, set()):
        wrong.setdefault((ch, kind, text), t)
for (ch, kind, text), t in sorted(wrong.items(), key=lambda x: x[1]):
    failures.append("at %d s channel %d showed %s \"%s\", which address %d never sent"
                    % (t, ch, kind, text, ch + 1))
if snapshots == 0 or shown == 0:
    failures.append("no value of the monitor was read")

# The network dialog's channel lines: "Кан.N.КВЛ №SERIAL Сет.№ADDR Вход:..."
# for a linked channel, "Кан.N. Связь не установлена Сет.№ADDR" otherwise.
linked = 0
lines, checks = timed(netlines)
for t, line in lines:
    ch, _, text = line.partition(" ")
    ch = int(ch)
    if text.startswith("Кан.%d.КВЛ №" % ch):
        linked += 1
        serial, _, rest = text[len("Кан.%d.КВЛ №" % ch):].partition(" ")
        if serial not in serials.get(ch + 1, set()) or not rest.startswith("Сет.№%d " % (ch + 1)):
            failures.append("at %d s the network dialog showed \"%s\" for channel %d" % (t, text, ch))
    elif text != "Кан.%d. Связь не установлена Сет.№%d" % (ch, ch + 1):
        failures.append("at %d s the network dialog showed \"%s\" for channel %d" % (t, text, ch))
if checks and linked < 9 * checks:
    # The checks run on a healthy line: every regulator answers.
    failures.append("%d of %d channel checks on a healthy line did not link" % (9 * checks - linked, 9 * checks))

# Memory: least-squares slope after the warm-up, with its standard error.
# Times in seconds from the first sample (the first phase's polling).
mem = [list(map(float, l.split())) for l in open(memfile) if len(l.split()) == 3]
mem = [[(r[0] - mem[0][0]) / 1000, r[1], r[2]] for r in mem]
warm = min(300.0, max(60.0, minutes * 60 / 4))
growth = {}
if len(mem) < 2:
    failures.append("no memory samples")
else:
    fit = [r for r in mem if r[0] >= warm]
    if len(fit) < 5:
        failures.append("too few memory samples after the warm-up (%d)" % len(fit))
    else:
        x = [r[0] for r in fit]
        mx = sum(x) / len(x)
        sxx = sum((a - mx) ** 2 for a in x)
        for k, name in ((1, "resident"), (2, "private")):
            y = [r[k] / 1024 for r in fit]
            my = sum(y) / len(y)
            slope = sum((a - mx) * (b - my) for a, b in zip(x, y)) / sxx
            res = [b - my - slope * (a - mx) for a, b in zip(x, y)]
            se = (sum(e * e for e in res) / max(1, len(x) - 2) / sxx) ** 0.5
            growth[name] = (slope * 3600, se * 3600, y[0], y[-1])
            if (slope - 1.96 * se) * 3600 > 1.0:
                failures.append("%s memory grows by %.2f +- %.2f MB an hour (%.1f -> %.1f MB)"
                                % (name, slope * 3600, 1.96 * se * 3600, y[0], y[-1]))

# Handles, GDI objects and windows after each cycle, against the last count of
# the first round. The first count with the port open must be above the one
# before, or the counts are not the program's.
res, closed = [], None
for line in open(resfile):
    f = line.split()
    c = {f[i]: int(f[i + 1]) for i in range(3, len(f), 2)}
    if f[2] == "closed":
        closed = c
    else:
        res.append((int(f[0]), int(f[1]), f[2], c))
spread = {"handles": [0, 0], "gdi": [0, 0], "windows": [0, 0]}
base = [r for r in res if r[1] == 1]
if not base or closed is None or len(res) < 3:
    failures.append("too few counts of the program's handles (%d)" % len(res))
else:
    if res[0][3]["handles"] <= closed["handles"] or res[0][3]["windows"] <= closed["windows"]:
        failures.append("the counts do not see the open port and the monitor: %s, then %s"
                        % (closed, res[0][3]))
    ref = base[-1][3]
    for t, rnd, what, c in res:
        for key in spread:
            d = c[key] - ref[key]
            spread[key] = [min(spread[key][0], d), max(spread[key][1], d)]
            if rnd > 1 and abs(d) > 2:
                failures.append("at %d s (%s) the program has %d %s, %d after the first round"
                                % (t, what, c[key], key, ref[key]))

for f in failures:
    print("soak: FAIL: " + f)
mg = ", ".join("%s %+.2f +- %.2f MB/h (%.1f -> %.1f MB)" % (n, g[0], 1.96 * g[1], g[2], g[3])
               for n, g in growth.items())
counts = " ".join("%s %+d..%+d" % (k, v[0], v[1]) for k, v in spread.items())
print("soak: %s: %d min; %d measure answers traced; %d monitor snapshots with %d values, %d under"
      " a wrong channel; %d channel checks; memory after %d s of warm-up: %s; %d reopenings,"
      " counts against round 1: %s"
      % ("FAIL" if failures else "passed", minutes, answers, snapshots, shown, len(wrong), checks,
         warm, mg, len(res), counts))
sys.exit(1 if failures else 0)
PY
status=$?
[ "$status" -eq 0 ] || kvl_fail "the soak's checks failed"
kvl_log "passed"
