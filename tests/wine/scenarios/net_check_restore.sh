#!/usr/bin/env bash
# A three-regulator network on COM2: the Modbus protocol chosen from the menu
# before linking, address 0 refused, "Проверка связи" over every channel with
# its progress texts (the three stored ones link, the others report their
# address), polling in Modbus, the same check again in "Кормаст-10м";
# "Запомнить кофигурацию" stores the port and the addresses; after Exit and a
# new start the port and addresses are back but no channel is linked.
# Usage: net_check_restore.sh regnet9|regnet5 REGSIM
here=$(cd "$(dirname "$0")/.." && pwd)
KVL_SCENARIO="net_check_restore-$1"
source "$here/harness.sh"
program=$1
regsim=${2:?usage: net_check_restore.sh regnet9|regnet5 REGSIM}
title=$(kvl_net_title "$program")
if [ "$program" = regnet9 ]; then
  lines=(1277 1278 1279 1280 1281 1282 1283 1284 1285) rec=64 comm=32 netoff=40 size=704
  placeholder=("Static" "Static")
else
  lines=(1211 1215 1216 1217 1218) rec=40 comm=28 netoff=36 size=280
  placeholder=("0.ВПЗ №?    Сет.№?  Вход:аналог? Режим:регулир.?" "?")
fi
trace=$KVL_WINE_OUT/$KVL_SCENARIO-trace.txt

kvl_start
rm -f "$KVL_WINE_OUT/$KVL_SCENARIO-trace.txt"  # regsim appends to it
kvl_regsim "$regsim" --dev addr=3,serial=12345,setpoint=40,flow=40 \
  --dev addr=5,kind=pressure,serial=23456,setpoint=25,flow=25 \
  --dev addr=7,serial=34567,setpoint=70,flow=70,digital=0
kvl_map_com 2 "$KVL_PTY"
dir=$(kvl_workdir run)
# Channels 3 and on: addresses where nobody answers (a Modbus read at address
# 0 is answered by every device on the line, which would collide here).
silent=(11 12 13 14 15 16)
kvl_write_icx "$dir" "$program" 0 3 5 7 "${silent[@]:0:$((${#lines[@]} - 3))}"
kvl_launch "$(kvl_net_exe "$program")" "$dir"
main=$(kvl_main "$title") || exit 1

# Requests the simulator received since trace line $1: "K|M ADDRESS" a line.
requests_since() {
  tail -n +"$(($1 + 1))" "$trace" | python3 -c '
import sys
for line in sys.stdin:
    f = line.split()
    if len(f) > 3 and f[1] == "RX" and f[2] in "KM":
        b = [int(x, 16) for x in f[3:]]
        print(f[2], b[7] if f[2] == "K" and len(b) == 10 else b[0])
' | sort -k1,1 -k2n -u | tr '\n' ' '
}
# Presses button $2 while watching the progress text 1236 until it changes to
# $3; prints the texts it showed after the one it had before, "|" after each
# (an empty last text leaves none).
watch_progress() {
  local out=$KVL_WINE_OUT/$KVL_SCENARIO-progress.txt
  kvl_auto watch "$net" 1236 "$3" 60000 >"$out" &
  local watcher=$!
  sleep 1
  kvl_auto click "$net" "$2" >/dev/null || kvl_fail "could not click $1"
  wait "$watcher" || kvl_fail "$1: the progress text did not end with \"$3\" ($(tr '\n' '|' <"$out"))"
  tail -n +2 "$out" | tr '\n' '|'
}
check_all() {  # what address...: "Проверка связи"; every channel's line after it
  local what=$1 ch
  shift
  local addr=(3 5 7 "$@")
  kvl_expect "$what: progress texts" "$(watch_progress "Проверка связи" 1210 "   ")" \
    "Идет проверка|Проверка завершена|   |"
  kvl_expect "$what: line 0" "$(kvl_auto text "$net" "${lines[0]}")" \
    "Кан.0.КВЛ №12345 Сет.№3 Вход:цифровойРежим:регул."
  kvl_expect "$what: line 1" "$(kvl_auto text "$net" "${lines[1]}")" \
    "Кан.1.ВПЗ №23456 Сет.№5 Вход:цифровойРежим:регул."
  kvl_expect "$what: line 2" "$(kvl_auto text "$net" "${lines[2]}")" \
    "Кан.2.КВЛ №34567 Сет.№7 Вход:аналог.Режим:регул."
  for ch in $(seq 3 $((${#lines[@]} - 1))); do
    kvl_expect "$what: line $ch" "$(kvl_auto text "$net" "${lines[$ch]}")" \
      "Кан.$ch. Связь не установлена Сет.№${addr[$ch]}"
  done
}

# Modbus before linking.
kvl_auto menu "$main" 40084 >/dev/null || kvl_fail "could not choose Modbus"
kvl_auto menu "$main" 40082 >/dev/null || kvl_fail "could not choose the network formation"
net=$(kvl_auto dialog "Формирование сети" 20000) || kvl_fail "no network formation dialog"
# Choosing COM2 reports the old port closed; COM2 opens only on request.
kvl_auto select "$net" 1191 1 >/dev/null || kvl_fail "could not choose COM2"
sleep 1
kvl_expect "port text after choosing COM2" "$(kvl_auto text "$net" 1158)" "Порт COM1 закрыт"
kvl_auto click "$net" 1156 >/dev/null || kvl_fail "could not click Открыть порт"
kvl_wait_text "$net" 1158 "Порт COM2 открыт"

# "Проверка связи" over every channel, in Modbus only.
start=$(wc -l <"$trace")
check_all "Modbus check" "${silent[@]}"
want=""
for a in 3 5 7 "${silent[@]:0:$((${#lines[@]} - 3))}"; do want+="M $a "; done
kvl_expect "requests of the Modbus check" "$(requests_since "$start")" "$want"
kvl_shot "net_check_modbus-$program" "$net"
kvl_auto click "$net" 1 >/dev/null
kvl_auto gone "$net" 10000 >/dev/null || kvl_fail "the network dialog stayed open"
kvl_expect "valve items after the check" "$(kvl_auto menustate "$main" 40017)" enabled

# Polling in Modbus: the monitor shows the setpoints of all three.
start=$(wc -l <"$trace")
kvl_auto menu "$main" 836 >/dev/null || kvl_fail "could not choose Вывести на экран"
mon=$(kvl_auto dialog "Установка канала и контроль параметров" 20000) || kvl_fail "no monitor"
kvl_wait_text "$mon" 1239 "40.0" 20
kvl_wait_text "$mon" 1240 "25.0" 20
kvl_wait_text "$mon" 1241 "70.0" 20
kvl_wait_text "$mon" 1244 "+@(69.[7-9]|70.[0-3])%     " 20
kvl_expect "requests of Modbus polling" "$(requests_since "$start")" "M 3 M 5 M 7 "
kvl_auto click "$mon" 1 >/dev/null
kvl_auto gone "$mon" 10000 >/dev/null || kvl_fail "the monitor stayed open"

# Back to "Кормаст-10м": the dialog checks the linked channels as it opens,
# and "Проверка связи" goes over all of them again.
kvl_auto menu "$main" 40083 >/dev/null || kvl_fail "could not choose Кормаст"
start=$(wc -l <"$trace")
kvl_auto menu "$main" 40082 >/dev/null || kvl_fail "could not choose the network formation again"
net=$(kvl_auto dialog "Формирование сети" 20000) || kvl_fail "no network formation dialog"
kvl_wait_text "$net" "${lines[2]}" "Кан.2.КВЛ №34567 Сет.№7 *"
kvl_expect "requests on opening" "$(requests_since "$start")" "K 3 K 5 K 7 "
# Channel 3: address 0 is refused, and the channel keeps its address 11.
# Channel 4: address 9, where nobody answers.
kvl_auto select "$net" 1231 3 >/dev/null || kvl_fail "could not choose channel 3"
kvl_wait_text "$net" 1000 "11"
kvl_auto settext "$net" 1000 0 >/dev/null || kvl_fail "could not type the address"
kvl_auto click "$net" 1073 >/dev/null || kvl_fail "could not click Установить связь"
kvl_answer "Номер сети вне допустимого диапазона(1-254)" "Ошибка ввода" 1
kvl_auto select "$net" 1231 4 >/dev/null || kvl_fail "could not choose channel 4"
kvl_auto settext "$net" 1000 9 >/dev/null || kvl_fail "could not type the address"
kvl_auto click "$net" 1073 >/dev/null
kvl_wait_text "$net" "${lines[4]}" "Кан.4. Связь не установлена Сет.№9" 30
kvl_expect "registration at 9" "$(kvl_auto text "$net" 1235)" "Не установлена"

start=$(wc -l <"$trace")
check_all "Кормаст check" 11 9 "${silent[@]:2}"
want=""
for a in 3 5 7 9 11 "${silent[@]:2:$((${#lines[@]} - 5))}"; do want+="K $a "; done
kvl_expect "requests of the Кормаст check" "$(requests_since "$start")" "$want"

# "Запомнить кофигурацию": port COM2 (index 1) and the five addresses.
kvl_expect "progress of Запомнить кофигурацию" \
  "$(watch_progress "Запомнить кофигурацию" 1087 "")" "Конфигурация сохранена|"
word() { od -An -tu4 -j"$1" -N4 "$dir/KVL.icx" | tr -d ' '; }
kvl_expect "port stored" "$(word $comm)" 1
stored=""
for ch in $(seq 0 $((${#lines[@]} - 1))); do stored+="$(word $((ch * rec + netoff))) "; done
expected="3 5 7 11 9 "
[ "$program" = regnet9 ] && expected+="13 14 15 16 "
kvl_expect "addresses stored" "$stored" "$expected"
kvl_expect "file size" "$(stat -c %s "$dir/KVL.icx")" "$size"
kvl_auto click "$net" 1 >/dev/null
kvl_auto gone "$net" 10000 >/dev/null || kvl_fail "the network dialog stayed open"
kvl_auto menu "$main" 258 >/dev/null || kvl_fail "could not choose Exit"
kvl_answer "OK to close window?" "КВЛ30" 1
kvl_wait_exit 30

# A new start: the port and the addresses come back, no channel is linked.
kvl_launch "$(kvl_net_exe "$program")" "$dir"
main=$(kvl_main "$title") || exit 1
kvl_expect "menu bar after the restart" "$(kvl_auto menubar "$main" | tr '\n' ' ')" \
  "popup popup popup popup 40035 40020 popup popup "
kvl_expect "valve items after the restart" "$(kvl_auto menustate "$main" 40017)" grayed
kvl_auto menu "$main" 40082 >/dev/null || kvl_fail "could not choose the network formation"
net=$(kvl_auto dialog "Формирование сети" 20000) || kvl_fail "no network formation dialog"
kvl_expect "port text after the restart" "$(kvl_auto text "$net" 1158)" "Порт COM2 закрыт"
kvl_expect "port chosen after the restart" "$(kvl_auto selection "$net" 1191)" 1
kvl_expect "address of channel 0" "$(kvl_auto text "$net" 1000)" "3"
kvl_expect "line 0 after the restart" "$(kvl_auto text "$net" "${lines[0]}")" "${placeholder[0]}"
kvl_expect "line 1 after the restart" "$(kvl_auto text "$net" "${lines[1]}")" "${placeholder[1]}"
kvl_auto select "$net" 1231 3 >/dev/null || kvl_fail "could not choose channel 3"
kvl_wait_text "$net" 1000 "11"
kvl_auto select "$net" 1231 4 >/dev/null || kvl_fail "could not choose channel 4"
kvl_wait_text "$net" 1000 "9"
kvl_shot "net_network_restored-$program" "$net"
kvl_auto click "$net" 2 >/dev/null
kvl_auto gone "$net" 10000 >/dev/null || kvl_fail "the network dialog stayed open"
kvl_expect "menu bar after Cancel" "$(kvl_auto menubar "$main" | tr '\n' ' ')" \
  "popup popup popup popup 40035 40020 popup popup "
kvl_auto menu "$main" 258 >/dev/null || kvl_fail "could not choose Exit"
kvl_answer "OK to close window?" "КВЛ30" 1
kvl_wait_exit 30
kvl_log "passed"
