#!/usr/bin/env bash
# Zero setting and the setpoint input from the menu. The zero question
# answered "No" sends nothing; answered "Yes" it reaches the device and the
# completion is reported. "Аналоговый" moves the device to the analogue input;
# "Цифровой" opens the setpoint dialog, whose presets and free entries reach
# the device in the maker's protocol and in Modbus alike, and bring the
# digital input back; a second dialog is refused.
# Usage: cmd_zero_setpoint.sh regnet9|regnet5 REGSIM
here=$(cd "$(dirname "$0")/.." && pwd)
KVL_SCENARIO="cmd_zero_setpoint-$1"
source "$here/harness.sh"
source "$here/scenarios/cmd_lib.sh"
program=$1
regsim=${2:?usage: cmd_zero_setpoint.sh regnet9|regnet5 REGSIM}
title=$(kvl_net_title "$program")
zero_q="Операция проводится при нулевом расходе.Установить ноль?"
zero_c="ВНИМАНИЕ!!! ВЫКЛЮЧИТЕ ГАЗ"

kvl_start
cmd_regsim "$regsim" --dev addr=6,serial=3579,setpoint=20
kvl_map_com 1 "$KVL_PTY"
dir=$(kvl_workdir run)
kvl_write_icx "$dir" "$program" 0 6
kvl_launch "$(kvl_net_exe "$program")" "$dir"
main=$(kvl_main "$title") || exit 1
link_channel0 "$main"

# Zero: "No" first (no polling runs yet, so the trace must stay as it is).
kvl_expect "zero count at the start" "$(sim_key 6 zero_count)" 0
before=$(sim_frames)
log_before=$(kvl_auto lines "$main" 10001 | tr '\n' '|')
kvl_auto menu "$main" 40035 >/dev/null || kvl_fail "could not choose Установка '0'"
kvl_answer "$zero_q" "$zero_c" 7
sleep 1
kvl_expect "frames sent after No" "$(sim_frames)" "$before"
kvl_expect "exchange log after No" "$(kvl_auto lines "$main" 10001 | tr '\n' '|')" "$log_before"
kvl_expect "zero count after No" "$(sim_key 6 zero_count)" 0
kvl_auto menu "$main" 40035 >/dev/null || kvl_fail "could not choose Установка '0' again"
answer_shot "cmd_$program-zero-question" "$zero_q" "$zero_c" 6
kvl_answer "Установка нуля в кан.№ 0 завершена" "Message" 1
kvl_expect "zero count after Yes" "$(sim_key 6 zero_count)" 1
# The zero exchange is logged: its answer is the newest line.
kvl_auto lines "$main" 10001 | tail -n1 | grep "^35;" >/dev/null ||
  kvl_fail "exchange log after Yes ends with \"$(kvl_auto lines "$main" 10001 | tail -n1)\""
grep -q " RX K 23 1C " "$(sim_trace)" || kvl_fail "no zero request in the trace"

mon=$(open_monitor "$main") || exit 1

# Analogue input, then the setpoint dialog in each protocol.
analogue() {
  kvl_auto menu "$main" 40037 >/dev/null || kvl_fail "could not choose Аналоговый ($1)"
  kvl_wait_text "$mon" 1267 "Вход:анал."
  sim_expect 6 digital 0
}
# PRESET-INDEX DEVICE-SETPOINT
preset() {
  kvl_auto select "$sp" 1001 "$1" >/dev/null || kvl_fail "could not choose preset $1"
  sim_expect 6 setpoint "$2"
  kvl_wait_text "$sp" 1000 "${2%0}"
  kvl_wait_text "$mon" 1267 "Вход:цифр."
  sim_expect 6 digital 1
}
# TYPED DEVICE-SETPOINT
typed() {
  kvl_auto settext "$sp" 1000 "$1" >/dev/null || kvl_fail "could not type $1"
  kvl_auto click "$sp" 1087 >/dev/null || kvl_fail "could not click Ввести"
  sim_expect 6 setpoint "$2"
  kvl_wait_text "$mon" 1267 "Вход:цифр."
  sim_expect 6 digital 1
}
open_setpoint() {
  kvl_auto menu "$main" 40062 >/dev/null || kvl_fail "could not choose Цифровой"
  sp=$(kvl_auto dialog "Задание расхода" 20000) || kvl_fail "no setpoint dialog"
}

analogue "maker's protocol"
open_setpoint
preset 3 30.00
kvl_wait_text "$mon" 1239 "30.0"
analogue "maker's protocol, before typing"
typed "62,5" 62.50
kvl_wait_text "$mon" 1239 "62.5"
kvl_auto menu "$main" 40062 >/dev/null || kvl_fail "could not choose Цифровой again"
kvl_answer "Окно уже есть" "Message" 1
# A value out of range reaches nothing.
kvl_auto settext "$sp" 1000 "655.36" >/dev/null
kvl_auto click "$sp" 1087 >/dev/null
kvl_answer "Задание вне допустимого диапазона(0-655.35%)" "Ошибка ввода" 1
kvl_expect "device setpoint after a refused entry" "$(sim_key 6 setpoint)" 62.50
# A silent device: the operator is told, the monitor keeps the analogue input.
analogue "maker's protocol, before the device falls silent"
sim_set 6 silent=1
kvl_auto select "$sp" 1001 9 >/dev/null || kvl_fail "could not choose 90%"
answer_shot "cmd_$program-setpoint-no-link" "Нет связи" "List" 1
kvl_expect "input line after a failed setpoint" "$(kvl_auto text "$mon" 1267)" "Вход:анал."
sim_set 6 silent=0
kvl_expect "device setpoint after a failed setpoint" "$(sim_key 6 setpoint)" 62.50
kvl_expect "device input after a failed setpoint" "$(sim_key 6 digital)" 0
kvl_auto click "$sp" 1 >/dev/null
kvl_auto gone "$sp" 10000 >/dev/null || kvl_fail "the setpoint dialog stayed open"

kvl_auto menu "$main" 40084 >/dev/null || kvl_fail "could not choose Modbus"
mark=$(sim_mark)
analogue "Modbus"
open_setpoint
preset 7 70.00
analogue "Modbus, before typing"
typed "12.3" 12.30
kvl_wait_text "$mon" 1239 "12.3"
kvl_shot "cmd_$program-setpoint-modbus" "$sp"
tail -n +"$((mark + 1))" "$(sim_trace)" | grep " RX M 06 06 00 04 " >/dev/null ||
  kvl_fail "no Modbus setpoint write reached the device"
sim_no_kormast_since "$mark"
kvl_auto click "$sp" 1 >/dev/null
kvl_auto gone "$sp" 10000 >/dev/null || kvl_fail "the setpoint dialog stayed open"
kvl_auto click "$mon" 1 >/dev/null
kvl_auto gone "$mon" 10000 >/dev/null || kvl_fail "the monitor stayed open"

# Zero setting in Modbus: a Modbus device understands only the translated
# request, so it must arrive as one and be carried out.
mark=$(sim_mark)
kvl_auto menu "$main" 40035 >/dev/null || kvl_fail "could not choose Установка '0' in Modbus"
kvl_answer "$zero_q" "$zero_c" 6
kvl_answer "Установка нуля в кан.№ 0 завершена" "Message" 1
kvl_expect "zero count after Yes in Modbus" "$(sim_key 6 zero_count)" 2
tail -n +"$((mark + 1))" "$(sim_trace)" | grep " RX M 06 " >/dev/null ||
  kvl_fail "no Modbus zero request reached the device"
quit_program "$main"
kvl_log "passed"
