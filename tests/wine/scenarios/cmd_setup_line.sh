#!/usr/bin/env bash
# The regulator setup dialog against a simulator that hears only requests sent
# at the line's own speed: the exchange speed goes to 38400, 19200 and 9600
# on both sides, and the device is reached after each change; a speed the
# device refuses leaves both sides at the one in force; the network
# address moves to 17 and back (an address out of range is refused and the
# device stays put); mode memorising is switched off and on again, as the
# device reports. With Modbus chosen the device still links, and regnet9 no
# longer asks for the firmware date (that request exists only in the maker's
# protocol); speed, address and memorising work over Modbus too.
# Usage: cmd_setup_line.sh regnet9|regnet5 REGSIM
here=$(cd "$(dirname "$0")/.." && pwd)
KVL_SCENARIO="cmd_setup_line-$1"
source "$here/harness.sh"
source "$here/scenarios/cmd_lib.sh"
program=$1
regsim=${2:?usage: cmd_setup_line.sh regnet9|regnet5 REGSIM}
title=$(kvl_net_title "$program")

kvl_start
cmd_regsim "$regsim" --strict-speed --dev addr=5,serial=4321,date=12-5-15-3
kvl_map_com 1 "$KVL_PTY"
dir=$(kvl_workdir run)
kvl_write_icx "$dir" "$program" 0 5
kvl_launch "$(kvl_net_exe "$program")" "$dir"
main=$(kvl_main "$title") || exit 1

dlg=$(open_setup "$main") || exit 1
# With the port closed nothing can change: the operator is told, the controls
# go back, and nothing reaches the line.
kvl_auto select "$dlg" 1231 2 >/dev/null || kvl_fail "could not choose 38400"
kvl_answer "Порт закрыт" "ErrorSvjac" 1
wait_selection "$dlg" 1231 1
kvl_auto click "$dlg" 1233 >/dev/null || kvl_fail "could not click Нет"
kvl_answer "Порт закрыт" "ErrorSvjac" 1
wait_check "$dlg" 1233 unchecked
kvl_auto click "$dlg" 1087 >/dev/null || kvl_fail "could not click Изменить"
kvl_answer "Оставьте подключенным один регулятор.Продолжить?" "Внимание" 1
kvl_answer "Порт закрыт" "ErrorSvjac" 1
kvl_expect "frames with the port closed" "$(sim_frames)" 0
kvl_expect "device speed with the port closed" "$(sim_key 5 speed)" 19200
kvl_auto click "$dlg" 1156 >/dev/null || kvl_fail "could not click Открыть порт"
kvl_wait_text "$dlg" 1158 "Порт COM1 открыт"
link_in_setup "$dlg"

# A fresh link: the field is cleared, then the device's answer fills it again.
relink() {
  local before
  before=$(sim_frames)
  link_in_setup "$dlg"
  [ "$(sim_frames)" -gt "$before" ] || kvl_fail "\"Установить связь\" sent nothing ($1)"
  kvl_expect "serial after linking ($1)" "$(kvl_auto text "$dlg" 1077)" "4321"
}

# Speed: 38400 on the device and on the port, then back to 19200.
kvl_auto select "$dlg" 1231 2 >/dev/null || kvl_fail "could not choose 38400"
kvl_wait_text "$dlg" 1229 "2:38400"
sim_expect 5 speed 38400
relink "at 38400"
kvl_auto select "$dlg" 1231 1 >/dev/null || kvl_fail "could not choose 19200"
kvl_wait_text "$dlg" 1229 "1:19200"
sim_expect 5 speed 19200
wait_selection "$dlg" 1231 1
relink "back at 19200"
grep -q "NOTE .*38400" "$(sim_trace)" || kvl_fail "the trace tells of no switch to 38400"
# 9600; then a device that cannot take 38400 answers with its speed in force,
# and the port stays with it.
kvl_auto select "$dlg" 1231 0 >/dev/null || kvl_fail "could not choose 9600"
kvl_wait_text "$dlg" 1229 "0:9600"
sim_expect 5 speed 9600
relink "at 9600"
sim_set 5 speeds=9600+19200
before=$(sim_requests)
kvl_auto select "$dlg" 1231 2 >/dev/null || kvl_fail "could not choose 38400 again"
sim_wait_requests "$before"
wait_selection "$dlg" 1231 0
kvl_wait_text "$dlg" 1229 "0:9600"
kvl_expect "device speed after the refusal" "$(sim_key 5 speed)" 9600
relink "at 9600 after the refusal"
kvl_auto select "$dlg" 1231 1 >/dev/null || kvl_fail "could not choose 19200 again"
kvl_wait_text "$dlg" 1229 "1:19200"
sim_expect 5 speed 19200
relink "at 19200 again"
sim_set 5 speeds=9600+19200+38400

# Address: an out-of-range one is refused before anything is sent.
kvl_auto settext "$dlg" 1169 300 >/dev/null || kvl_fail "could not type the new address"
before=$(sim_frames)
kvl_auto click "$dlg" 1087 >/dev/null || kvl_fail "could not click Изменить"
kvl_answer "Оставьте подключенным один регулятор.Продолжить?" "Внимание" 1
kvl_answer "Номер сети вне допустимого диапазона(0-254)" "Ошибка ввода" 1
kvl_expect "frames sent for a refused address" "$(sim_frames)" "$before"
kvl_expect "device address after the refusal" "$(sim_key 5 addr)" "5"

# 17, then back to 5; the link works at each address.
kvl_auto settext "$dlg" 1000 5 >/dev/null
kvl_auto settext "$dlg" 1169 17 >/dev/null
kvl_auto click "$dlg" 1087 >/dev/null
kvl_answer "Оставьте подключенным один регулятор.Продолжить?" "Внимание" 1
kvl_wait_text "$dlg" 1000 "17"
sim_expect 17 addr 17
sim_absent 5
relink "at address 17"
kvl_expect "new address field" "$(kvl_auto text "$dlg" 1169)" "17"
kvl_auto settext "$dlg" 1169 5 >/dev/null
kvl_auto click "$dlg" 1087 >/dev/null
kvl_answer "Оставьте подключенным один регулятор.Продолжить?" "Внимание" 1
kvl_wait_text "$dlg" 1000 "5"
sim_expect 5 addr 5
sim_absent 17
relink "at address 5 again"

# Memorising: "Нет" switches it off in the device, "Запомнить " on again.
kvl_expect "memorising at the start" "$(sim_key 5 rasre)" "1"
kvl_auto click "$dlg" 1233 >/dev/null || kvl_fail "could not click Нет"
sim_expect 5 rasre 0
wait_check "$dlg" 1233 checked
wait_check "$dlg" 1234 unchecked
kvl_auto click "$dlg" 1234 >/dev/null || kvl_fail "could not click Запомнить"
sim_expect 5 rasre 1
wait_check "$dlg" 1233 unchecked
wait_check "$dlg" 1234 checked
if [ "$program" = regnet9 ]; then
  kvl_wait_text "$dlg" 1302 "Дата прошивки: 12-5-15-3"
fi
kvl_shot "cmd_$program-setup-line" "$dlg"
kvl_auto click "$dlg" 1 >/dev/null
kvl_auto gone "$dlg" 10000 >/dev/null || kvl_fail "the setup dialog stayed open"

# Modbus: the link works; no firmware date request goes out.
kvl_auto menu "$main" 40084 >/dev/null || kvl_fail "could not choose Modbus"
mark=$(sim_mark)
dlg=$(open_setup "$main") || exit 1
kvl_wait_text "$dlg" 1075 "Установлена" 20
link_in_setup "$dlg"
kvl_expect "serial over Modbus" "$(kvl_auto text "$dlg" 1077)" "4321"
tail -n +"$((mark + 1))" "$(sim_trace)" | grep " RX M 05 03 " >/dev/null ||
  kvl_fail "no Modbus read reached the device"
if [ "$program" = regnet9 ]; then
  kvl_expect "firmware date line in Modbus mode" "$(kvl_auto text "$dlg" 1302)" " "
fi
# "Запрос" over Modbus: the single regulator tells its address.
kvl_auto settext "$dlg" 1000 1 >/dev/null
kvl_auto click "$dlg" 1210 >/dev/null || kvl_fail "could not click Запрос in Modbus"
kvl_answer "Оставьте подключенным один регулятор.Продолжить?" "Внимание" 1
kvl_wait_text "$dlg" 1000 "5"
kvl_expect "number from the Modbus query" "$(kvl_auto text "$dlg" 1077)" "4321"
# Speed and address over Modbus as well.
kvl_auto select "$dlg" 1231 2 >/dev/null || kvl_fail "could not choose 38400 in Modbus"
kvl_wait_text "$dlg" 1229 "2:38400"
sim_expect 5 speed 38400
relink "at 38400 over Modbus"
kvl_auto select "$dlg" 1231 1 >/dev/null || kvl_fail "could not choose 19200 in Modbus"
kvl_wait_text "$dlg" 1229 "1:19200"
sim_expect 5 speed 19200
relink "back at 19200 over Modbus"
kvl_auto settext "$dlg" 1169 23 >/dev/null
kvl_auto click "$dlg" 1087 >/dev/null
kvl_answer "Оставьте подключенным один регулятор.Продолжить?" "Внимание" 1
kvl_wait_text "$dlg" 1000 "23"
sim_expect 23 addr 23
relink "at address 23 over Modbus"
kvl_auto settext "$dlg" 1169 5 >/dev/null
kvl_auto click "$dlg" 1087 >/dev/null
kvl_answer "Оставьте подключенным один регулятор.Продолжить?" "Внимание" 1
kvl_wait_text "$dlg" 1000 "5"
sim_expect 5 addr 5
relink "at address 5 again over Modbus"
kvl_auto click "$dlg" 1233 >/dev/null || kvl_fail "could not click Нет in Modbus"
sim_expect 5 rasre 0
kvl_auto click "$dlg" 1234 >/dev/null || kvl_fail "could not click Запомнить in Modbus"
sim_expect 5 rasre 1
sim_no_kormast_since "$mark"
kvl_auto click "$dlg" 1 >/dev/null
kvl_auto gone "$dlg" 10000 >/dev/null || kvl_fail "the setup dialog stayed open"
quit_program "$main"
kvl_log "passed"
