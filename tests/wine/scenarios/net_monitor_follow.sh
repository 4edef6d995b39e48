#!/usr/bin/env bash
# A network program polling two regulators on the simulator: "Проверка связи"
# links the channels stored in "KVL.icx"; the channel monitor follows a new
# setpoint (setpoint cell and output cell); the exchange log shows the newest
# 14 poll answers in the order the regulators sent them; a regulator that
# falls silent is marked in its row and leaves TimeOut lines in the log, and
# its row recovers when it answers again; "ВЫКЛ." hides the log.
# Usage: net_monitor_follow.sh regnet9|regnet5 REGSIM
here=$(cd "$(dirname "$0")/.." && pwd)
KVL_SCENARIO="net_monitor_follow-$1"
source "$here/harness.sh"
program=$1
regsim=${2:?usage: net_monitor_follow.sh regnet9|regnet5 REGSIM}
title=$(kvl_net_title "$program")
if [ "$program" = regnet9 ]; then
  lines=(1277 1278)
else
  lines=(1211 1215)
fi
# Rows of the monitor: setpoint, output and (regnet5) deviation cells.
sp0=1239 out0=1242 out1=1243 dev1=1255

kvl_start
rm -f "$KVL_WINE_OUT/$KVL_SCENARIO-trace.txt"  # regsim appends to it
kvl_regsim "$regsim" --dev addr=3,serial=12345,setpoint=40,flow=40 \
  --dev addr=5,kind=pressure,serial=23456,setpoint=25,flow=25
kvl_map_com 1 "$KVL_PTY"
dir=$(kvl_workdir run)
kvl_write_icx "$dir" "$program" 0 3 5
kvl_launch "$(kvl_net_exe "$program")" "$dir"
main=$(kvl_main "$title") || exit 1
sim() { echo "$*" >&8; }

# Link both stored channels with "Проверка связи".
kvl_auto menu "$main" 40082 >/dev/null || kvl_fail "could not choose the network formation"
net=$(kvl_auto dialog "Формирование сети" 20000) || kvl_fail "no network formation dialog"
kvl_auto click "$net" 1156 >/dev/null || kvl_fail "could not click Открыть порт"
kvl_wait_text "$net" 1158 "Порт COM1 открыт"
kvl_auto click "$net" 1210 >/dev/null || kvl_fail "could not click Проверка связи"
kvl_wait_text "$net" "${lines[0]}" "Кан.0.КВЛ №12345 Сет.№3 Вход:*" 40
kvl_wait_text "$net" "${lines[1]}" "Кан.1.ВПЗ №23456 Сет.№5 Вход:*" 40
kvl_auto click "$net" 1 >/dev/null
kvl_auto gone "$net" 10000 >/dev/null || kvl_fail "the network dialog stayed open"

# The exchange log on, then the monitor (its polling fills the log).
kvl_auto menu "$main" 40057 >/dev/null || kvl_fail "could not choose ВКЛ."
kvl_auto menu "$main" 836 >/dev/null || kvl_fail "could not choose Вывести на экран"
mon=$(kvl_auto dialog "Установка канала и контроль параметров" 20000) || kvl_fail "no monitor"
kvl_wait_text "$mon" $sp0 "40.0" 20

# A new setpoint on the regulator: the setpoint cell and then the output follow.
sim "set 3 setpoint=60"
kvl_wait_text "$mon" $sp0 "60.0" 20
kvl_wait_text "$mon" $out0 "+@(59.[7-9]|60.[0-3])%     " 30
kvl_shot "net_monitor_setpoint_60-$program" "$mon"

# The log: 14 lines, each a poll answer "17;..." of channel 0 or 1, and
# together the newest answers in the order the simulator sent them.
log=$(kvl_auto lines "$main" 10001) || kvl_fail "could not read the exchange log"
kvl_expect "log lines" "$(printf '%s\n' "$log" | wc -l)" 14
python3 - "$KVL_WINE_OUT/$KVL_SCENARIO-trace.txt" <<PY || kvl_fail "the exchange log does not match the poll answers: $(printf '%s | ' "$log")"
import sys
log = """$log""".split("\n")
channel = {3: 0, 5: 1}
sent = []
asked = None  # address of the last request (its byte 7)
for line in open(sys.argv[1]):
    f = line.split()
    if len(f) != 13 or f[2] != "K":
        continue
    b = [int(x, 16) for x in f[3:]]
    if f[1] == "RX":
        asked = b[7]
    elif b[0] == 17 and asked in channel:
        sent.append("%d;%d;%d-%d;%d-%d;%d-%d;%d-%d;10;%d" % (*b, channel[asked]))
for i in range(len(sent) - len(log) + 1):
    if sent[i:i + len(log)] == log:
        break
else:
    sys.exit("no run of %d answers in the trace (%d answers)" % (len(log), len(sent)))
# The newest line is among the last answers sent (polling goes on meanwhile,
# a few seconds of it on a busy machine).
if i + len(log) < len(sent) - 20:
    sys.exit("the log is old: it ends at answer %d of %d" % (i + len(log), len(sent)))
PY
kvl_shot "net_main_log-$program" "$main"

# The pressure regulator falls silent: its row says so, the log shows the
# five attempts; channel 0 goes on being polled.
sim "set 5 silent=1"
if [ "$program" = regnet9 ]; then
  kvl_wait_text "$mon" $out1 "нет связи" 30
else
  kvl_wait_text "$mon" $dev1 "Нет связи" 30
fi
sleep 2
log=$(kvl_auto lines "$main" 10001 | tr '\n' ' ') || kvl_fail "could not read the exchange log"
[[ $log == *"TimeOut0 TimeOut1 TimeOut2 TimeOut3 TimeOut4 "* ]] ||
  kvl_fail "no five TimeOut lines in the log: $log"
[[ $log == *"17;"*";10;0 "* ]] || kvl_fail "channel 0 is no longer polled: $log"
kvl_expect "active channel while 5 is silent" "$(kvl_auto text "$mon" 1262)" "Ак.кан.№0,"
kvl_expect "setpoint cell of the silent one" "$(kvl_auto text "$mon" 1240)" "25.0"
kvl_shot "net_monitor_silent-$program" "$mon"

# It answers again: the row shows values again.
sim "set 5 silent=0"
kvl_wait_text "$mon" $out1 "+2[45].[0-9]%     " 30
if [ "$program" = regnet5 ]; then
  kvl_wait_text "$mon" $dev1 "[+-]0.[0-9]% " 30
fi

# "ВЫКЛ." hides the log.
kvl_auto menu "$main" 40058 >/dev/null || kvl_fail "could not choose ВЫКЛ."
sleep 0.5
kvl_expect "log list after ВЫКЛ." "$(kvl_auto state "$main" 10001 | cut -d' ' -f1)" hidden

kvl_auto click "$mon" 1 >/dev/null
kvl_auto gone "$mon" 10000 >/dev/null || kvl_fail "the monitor stayed open"
kvl_auto menu "$main" 258 >/dev/null || kvl_fail "could not choose Exit"
kvl_answer "OK to close window?" "КВЛ30" 1
kvl_wait_exit 30
kvl_log "passed"
