#!/usr/bin/env bash
# One regulator on the line and a configuration where only channel 0 has an
# address (the others keep 0): in Modbus, "Проверка связи" links channel 0 only,
# although the regulator also answers the reads at address 0 (the address
# query); polling then asks address 3 alone.
# Usage: net_modbus_single.sh regnet9|regnet5 REGSIM
here=$(cd "$(dirname "$0")/.." && pwd)
KVL_SCENARIO="net_modbus_single-$1"
source "$here/harness.sh"
program=$1
regsim=${2:?usage: net_modbus_single.sh regnet9|regnet5 REGSIM}
title=$(kvl_net_title "$program")
if [ "$program" = regnet9 ]; then
  lines=(1277 1278 1279 1280 1281 1282 1283 1284 1285)
else
  lines=(1211 1215 1216 1217 1218)
fi
trace=$KVL_WINE_OUT/$KVL_SCENARIO-trace.txt

kvl_start
rm -f "$KVL_WINE_OUT/$KVL_SCENARIO-trace.txt"  # regsim appends to it
kvl_regsim "$regsim" --dev addr=3,serial=4321,setpoint=30,flow=30
kvl_map_com 1 "$KVL_PTY"
dir=$(kvl_workdir run)
kvl_write_icx "$dir" "$program" 0 3
kvl_launch "$(kvl_net_exe "$program")" "$dir"
main=$(kvl_main "$title") || exit 1

kvl_auto menu "$main" 40084 >/dev/null || kvl_fail "could not choose Modbus"
kvl_auto menu "$main" 40082 >/dev/null || kvl_fail "could not choose the network formation"
net=$(kvl_auto dialog "Формирование сети" 20000) || kvl_fail "no network formation dialog"
kvl_auto click "$net" 1156 >/dev/null || kvl_fail "could not click Открыть порт"
kvl_wait_text "$net" 1158 "Порт COM1 открыт"
kvl_auto click "$net" 1210 >/dev/null || kvl_fail "could not click Проверка связи"
kvl_wait_text "$net" 1236 "   " 60
# The regulator did answer the reads at address 0 ...
grep -q "TX M 03 03 06" "$trace" || kvl_fail "the regulator never answered"
answered0=$(awk '$2 == "RX" && $4 == "00" {asked = 1; next} $2 == "RX" {asked = 0}
  $2 == "TX" && asked {n++} END {print n + 0}' "$trace")
[ "$answered0" -gt 0 ] || kvl_fail "no answer to a read at address 0 in the trace"
# ... but only channel 0 is linked.
kvl_expect "line 0" "$(kvl_auto text "$net" "${lines[0]}")" \
  "Кан.0.КВЛ №4321 Сет.№3 Вход:цифровойРежим:регул."
for ch in $(seq 1 $((${#lines[@]} - 1))); do
  kvl_expect "line $ch" "$(kvl_auto text "$net" "${lines[$ch]}")" \
    "Кан.$ch. Связь не установлена Сет.№0"
done
kvl_shot "net_modbus_single-$program" "$net"
kvl_auto click "$net" 1 >/dev/null
kvl_auto gone "$net" 10000 >/dev/null || kvl_fail "the network dialog stayed open"

# Polling asks the linked channel only: no read at address 0 any more.
kvl_auto menu "$main" 836 >/dev/null || kvl_fail "could not choose Вывести на экран"
mon=$(kvl_auto dialog "Установка канала и контроль параметров" 20000) || kvl_fail "no monitor"
start=$(wc -l <"$trace")
kvl_wait_text "$mon" 1239 "30.0" 20
sleep 3
polled=$(tail -n +"$((start + 1))" "$trace" | awk '$2 == "RX" {print $4}' | sort -u | tr '\n' ' ')
kvl_expect "addresses polled" "$polled" "03 "
kvl_expect "output of channel 1" "$(kvl_auto text "$mon" 1243)" ""
kvl_auto click "$mon" 1 >/dev/null
kvl_auto gone "$mon" 10000 >/dev/null || kvl_fail "the monitor stayed open"
kvl_auto menu "$main" 258 >/dev/null || kvl_fail "could not choose Exit"
kvl_answer "OK to close window?" "КВЛ30" 1
kvl_wait_exit 30
kvl_log "passed"
