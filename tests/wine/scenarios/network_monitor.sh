#!/usr/bin/env bash
# A network program on COM1 mapped to the simulator with three regulators: the
# network formation dialog opens the port, registers two channels (a КВЛ and a
# ВПЗ), refuses an address out of range and reports a silent one; its OK puts
# "Вывести на экран" on the menu bar; the channel monitor then shows the polled
# setpoint, blinks its indicator and switches the active channel only to a
# linked one.
# Usage: network_monitor.sh regnet9|regnet5 REGSIM
here=$(cd "$(dirname "$0")/.." && pwd)
KVL_SCENARIO="network_monitor-$1"
source "$here/harness.sh"
program=$1
regsim=${2:?usage: network_monitor.sh regnet9|regnet5 REGSIM}
title=$(kvl_net_title "$program")
if [ "$program" = regnet9 ]; then
  lines=(1277 1278 1279) radios=(1286 1291 1233) channels=9
else
  lines=(1211 1215 1216) radios=(1156 1157 1233) channels=5
fi

kvl_start
kvl_regsim "$regsim" --dev addr=3,serial=12345,setpoint=40,flow=40 \
  --dev addr=5,kind=pressure,serial=23456,setpoint=25,flow=25 --dev addr=7
kvl_map_com 1 "$KVL_PTY"
dir=$(kvl_workdir run)
kvl_write_icx "$dir" "$program" 0 3
kvl_launch "$(kvl_net_exe "$program")" "$dir"
main=$(kvl_main "$title") || exit 1

kvl_auto menu "$main" 40082 >/dev/null || kvl_fail "could not choose the network formation"
net=$(kvl_auto dialog "Формирование сети" 20000) || kvl_fail "no network formation dialog"
kvl_expect "port text" "$(kvl_auto text "$net" 1158)" "Порт COM1 закрыт"
kvl_expect "port list" "$(kvl_auto lines "$net" 1191 | tr '\n' ' ')" \
  "COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8 COM9 COM10 "
kvl_expect "channel list size" "$(kvl_auto lines "$net" 1231 | wc -l)" "$channels"
kvl_expect "address field" "$(kvl_auto text "$net" 1000)" "3"

# Open COM1.
kvl_auto click "$net" 1156 >/dev/null || kvl_fail "could not click Открыть порт"
kvl_wait_text "$net" 1158 "Порт COM1 открыт"
kvl_expect "Открыть порт" "$(kvl_auto state "$net" 1156 | cut -d' ' -f3)" checked

# Channel 0 at address 3: a КВЛ.
kvl_auto click "$net" 1073 >/dev/null || kvl_fail "could not click Установить связь"
kvl_wait_text "$net" 1235 "Установлена"
kvl_wait_text "$net" "${lines[0]}" "Кан.0.КВЛ №12345 Сет.№3 Вход:*"

# Channel 1 at address 5: a ВПЗ.
kvl_auto select "$net" 1231 1 >/dev/null || kvl_fail "could not choose channel 1"
kvl_auto settext "$net" 1000 5 >/dev/null || kvl_fail "could not type the address"
kvl_auto click "$net" 1073 >/dev/null
kvl_wait_text "$net" "${lines[1]}" "Кан.1.ВПЗ №23456 Сет.№5 Вход:*"

# Channel 2: an address out of range, then one nobody answers.
kvl_auto select "$net" 1231 2 >/dev/null || kvl_fail "could not choose channel 2"
kvl_auto settext "$net" 1000 255 >/dev/null
kvl_auto click "$net" 1073 >/dev/null
kvl_answer "Номер сети вне допустимого диапазона(1-254)" "Ошибка ввода" 1
kvl_auto settext "$net" 1000 9 >/dev/null
kvl_auto click "$net" 1073 >/dev/null
kvl_wait_text "$net" "${lines[2]}" "Кан.2. Связь не установлена Сет.№9" 20
kvl_expect "registration result" "$(kvl_auto text "$net" 1235)" "Не установлена"
kvl_shot "$program-network" "$net"

# OK: "Вывести на экран" appears before "&Help".
kvl_auto click "$net" 1 >/dev/null
kvl_auto gone "$net" 10000 >/dev/null || kvl_fail "the network dialog stayed open"
kvl_expect "menu bar" "$(kvl_auto menubar "$main" | tr '\n' ' ')" \
  "popup popup popup popup 40035 40020 popup 836 popup "
kvl_expect "valve items after linking" "$(kvl_auto menustate "$main" 40017)" enabled

# The channel monitor: polled values of the active channel 0.
kvl_auto menu "$main" 836 >/dev/null || kvl_fail "could not choose Вывести на экран"
mon=$(kvl_auto dialog "Установка канала и контроль параметров" 20000) || kvl_fail "no monitor"
kvl_expect "active channel" "$(kvl_auto text "$mon" 1262)" "Ак.кан.№0,"
kvl_expect "family" "$(kvl_auto text "$mon" 1263)" "КВЛ"
kvl_expect "serial" "$(kvl_auto text "$mon" 1264)" "№12345,"
kvl_expect "radio of channel 0" "$(kvl_auto state "$mon" "${radios[0]}" | cut -d' ' -f3)" checked
kvl_wait_text "$mon" 1239 "40.0"
kvl_wait_text "$mon" 1240 "25.0"
kvl_wait_text "$mon" 1242 "+*%     "
# The indicator shows one of its two pictures and changes with the polls.
first=$(kvl_auto state "$mon" 1273 | cut -d' ' -f1)
changed=""
for _ in $(seq 1 20); do
  sleep 0.2
  [ "$(kvl_auto state "$mon" 1273 | cut -d' ' -f1)" != "$first" ] && changed=yes && break
done
[ -n "$changed" ] || kvl_fail "the indicator did not change"
kvl_shot "$program-monitor" "$mon"

# The setpoint dialog (modeless): a preset goes to the regulator and comes
# back through the polling; a second one is refused; Tab moves the focus (the
# message loop gives the dialog its keys).
kvl_auto menu "$main" 40062 >/dev/null || kvl_fail "could not choose Цифровой"
sp=$(kvl_auto dialog "Задание расхода" 20000) || kvl_fail "no setpoint dialog"
kvl_expect "setpoint channel" "$(kvl_auto text "$sp" 1211)" "0"
kvl_expect "presets" "$(kvl_auto lines "$sp" 1001 | tr '\n' ' ')" \
  "0% 10% 20% 30% 40% 50% 60% 70% 80% 90% 100% "
kvl_auto select "$sp" 1001 5 >/dev/null || kvl_fail "could not choose 50%"
kvl_wait_text "$sp" 1000 "50.0"
kvl_wait_text "$mon" 1239 "50.0"
kvl_wait_text "$mon" 1267 "Вход:цифр."
kvl_auto menu "$main" 40062 >/dev/null || kvl_fail "could not choose Цифровой again"
kvl_answer "Окно уже есть" "Message" 1
kvl_auto mouseclick "$sp" 1000 >/dev/null || kvl_fail "could not click the entry field"
kvl_expect "focus after the click" "$(kvl_auto focus "$sp")" 1000
kvl_auto key tab >/dev/null
kvl_expect "focus after Tab" "$(kvl_auto focus "$sp")" 1087
kvl_shot "$program-setpoint" "$sp"
# Enter and Esc in the entry field do not close the dialog (only OK does).
kvl_auto key shift+tab >/dev/null
kvl_expect "focus after Shift+Tab" "$(kvl_auto focus "$sp")" 1000
kvl_auto key enter >/dev/null
kvl_auto key escape >/dev/null
sleep 1
kvl_auto text "$sp" 1 >/dev/null || kvl_fail "Enter or Esc closed the setpoint dialog"

# A channel without a link cannot become active; a linked one can, and the
# change closes the setpoint dialog.
kvl_auto click "$mon" "${radios[2]}" >/dev/null || kvl_fail "could not click channel 2"
sleep 1
kvl_expect "active channel after an unlinked one" "$(kvl_auto text "$mon" 1262)" "Ак.кан.№0,"
kvl_expect "radio of channel 0 kept" "$(kvl_auto state "$mon" "${radios[0]}" | cut -d' ' -f3)" checked
kvl_auto click "$mon" "${radios[1]}" >/dev/null || kvl_fail "could not click channel 1"
kvl_wait_text "$mon" 1262 "Ак.кан.№1,"
kvl_expect "family of channel 1" "$(kvl_auto text "$mon" 1263)" "ВПЗ"
kvl_auto gone "$sp" 10000 >/dev/null || kvl_fail "the setpoint dialog stayed open after the change"

# Enter and Esc in the monitor leave it open.
kvl_auto mouseclick "$mon" 1262 >/dev/null || kvl_fail "could not click into the monitor"
kvl_auto key enter >/dev/null
kvl_auto key escape >/dev/null
sleep 1
kvl_auto text "$mon" 1 >/dev/null || kvl_fail "Enter or Esc closed the monitor"

# OK closes the monitor (and stops polling); Exit ends the program.
kvl_auto click "$mon" 1 >/dev/null
kvl_auto gone "$mon" 10000 >/dev/null || kvl_fail "the monitor stayed open"

# Closing the port in the network dialog unlinks every channel; its OK then
# takes "Вывести на экран" off the menu bar again.
kvl_auto menu "$main" 40082 >/dev/null || kvl_fail "could not choose the network formation again"
net=$(kvl_auto dialog "Формирование сети" 20000) || kvl_fail "no network formation dialog"
kvl_wait_text "$net" "${lines[0]}" "Кан.0.КВЛ №12345 Сет.№3 *"
kvl_auto click "$net" 1157 >/dev/null || kvl_fail "could not click Закрыть порт"
kvl_wait_text "$net" 1158 "Порт COM1 закрыт"
kvl_wait_text "$net" "${lines[0]}" "Кан.0. Связь не установлена Сет.№"
kvl_auto click "$net" 1 >/dev/null
kvl_auto gone "$net" 10000 >/dev/null || kvl_fail "the network dialog stayed open"
kvl_expect "menu bar after closing the port" "$(kvl_auto menubar "$main" | tr '\n' ' ')" \
  "popup popup popup popup 40035 40020 popup popup "
kvl_expect "valve items after closing the port" "$(kvl_auto menustate "$main" 40017)" grayed
kvl_auto menu "$main" 258 >/dev/null || kvl_fail "could not choose Exit"
kvl_answer "OK to close window?" "КВЛ30" 1
kvl_wait_exit 30
kvl_log "passed"
