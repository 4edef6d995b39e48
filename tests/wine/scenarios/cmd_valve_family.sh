#!/usr/bin/env bash
# Valve and family commands from the menu, with the channel monitor open: the
# valve is opened, closed and put back to regulation (monitor line and device
# agree); a valve held by the external signal refuses the command and the
# operator is told to switch that control off; the family switches to ВПЗ and
# back to КВЛ, and is refused when the device reports the other family's
# sensor.
# Usage: cmd_valve_family.sh regnet9|regnet5 REGSIM
here=$(cd "$(dirname "$0")/.." && pwd)
KVL_SCENARIO="cmd_valve_family-$1"
source "$here/harness.sh"
source "$here/scenarios/cmd_lib.sh"
program=$1
regsim=${2:?usage: cmd_valve_family.sh regnet9|regnet5 REGSIM}
title=$(kvl_net_title "$program")

kvl_start
cmd_regsim "$regsim" --dev addr=4,serial=2468,setpoint=30
kvl_map_com 1 "$KVL_PTY"
dir=$(kvl_workdir run)
kvl_write_icx "$dir" "$program" 0 4
kvl_launch "$(kvl_net_exe "$program")" "$dir"
main=$(kvl_main "$title") || exit 1
link_channel0 "$main"
mon=$(open_monitor "$main") || exit 1
kvl_expect "valve line at the start" "$(kvl_auto text "$mon" 1266)" "Затвор: регулир."

# Open, close, regulate.
valve() { # MENU-ID MONITOR-TEXT DEVICE-VALVE
  kvl_auto menu "$main" "$1" >/dev/null || kvl_fail "could not choose valve command $1"
  kvl_wait_text "$mon" 1266 "$2"
  sim_expect 4 valve "$3"
}
valve 40017 "Затвор: открыт. Прог." open
valve 40018 "Затвор: закрыт. Прог." closed
valve 40076 "Затвор: регулир." regulate
kvl_shot "cmd_$program-monitor-valve" "$mon"

# The external signal holds the valve closed: the command is refused.
sim_set 4 ext=closed
kvl_auto menu "$main" 40017 >/dev/null || kvl_fail "could not choose Открыть"
answer_shot "cmd_$program-external-valve" "Выключите внешнее управление затвором" "Предупреждение" 1
kvl_expect "valve line under the external signal" "$(kvl_auto text "$mon" 1266)" \
  "Затвор: закрыт. Внешн."
kvl_expect "device valve after the refusal" "$(sim_key 4 valve)" regulate
# Held open, "Закрыть" is refused the same way.
sim_set 4 ext=open
kvl_auto menu "$main" 40018 >/dev/null || kvl_fail "could not choose Закрыть"
kvl_answer "Выключите внешнее управление затвором" "Предупреждение" 1
kvl_expect "valve line held open" "$(kvl_auto text "$mon" 1266)" "Затвор: открыт. Внешн."
kvl_expect "device valve after the second refusal" "$(sim_key 4 valve)" regulate
sim_set 4 ext=none
valve 40076 "Затвор: регулир." regulate

# Family: ВПЗ and back.
kvl_auto menu "$main" 40081 >/dev/null || kvl_fail "could not choose ВПЗ"
kvl_wait_text "$mon" 1263 "ВПЗ"
sim_expect 4 kind pressure
kvl_auto menu "$main" 40080 >/dev/null || kvl_fail "could not choose КВЛ"
kvl_wait_text "$mon" 1263 "КВЛ"
sim_expect 4 kind flow
kvl_auto click "$mon" 1 >/dev/null
kvl_auto gone "$mon" 10000 >/dev/null || kvl_fail "the monitor stayed open"

# A pressure sensor fitted: no КВЛ; a flow sensor fitted: no ВПЗ. Nothing is
# sent for a refused switch.
sim_set 4 kind=pressure,pres45=1
relink_channel0 "$main"
before=$(sim_frames)
kvl_auto menu "$main" 40080 >/dev/null || kvl_fail "could not choose КВЛ"
answer_shot "cmd_$program-kind-refused" "Нет возможности. Подключен ВПЗ" "Message" 1
kvl_expect "frames sent for a refused КВЛ" "$(sim_frames)" "$before"
kvl_expect "device kind after the refusal" "$(sim_key 4 kind)" pressure
sim_set 4 kind=flow,pres45=0,gasset=1
relink_channel0 "$main"
before=$(sim_frames)
kvl_auto menu "$main" 40081 >/dev/null || kvl_fail "could not choose ВПЗ"
kvl_answer "Нет возможности. Подключен КВЛ" "Message" 1
kvl_expect "frames sent for a refused ВПЗ" "$(sim_frames)" "$before"
kvl_expect "device kind after the refusal" "$(sim_key 4 kind)" flow
# Without either sensor the switch goes through again.
sim_set 4 gasset=0
relink_channel0 "$main"
kvl_auto menu "$main" 40081 >/dev/null || kvl_fail "could not choose ВПЗ"
sim_expect 4 kind pressure
# A pressure regulator is asked about zero pressure; "No" sends nothing.
before=$(sim_frames)
kvl_auto menu "$main" 40035 >/dev/null || kvl_fail "could not choose Установка '0'"
answer_shot "cmd_$program-zero-pressure-question" \
  "Операция проводится при нулевом давлении.Установить ноль?" "ВНИМАНИЕ!!! НУЛЕВОЕ ДАВЛЕНИЕ" 7
kvl_expect "frames sent after No" "$(sim_frames)" "$before"
kvl_expect "zero count after No" "$(sim_key 4 zero_count)" 0

# Modbus: the valve command reaches the device, but a coil write echoes no
# valve status, so the monitor line stays as it was.
kvl_auto menu "$main" 40084 >/dev/null || kvl_fail "could not choose Modbus"
mon=$(open_monitor "$main") || exit 1
kvl_expect "valve line before the Modbus command" "$(kvl_auto text "$mon" 1266)" "Затвор: регулир."
kvl_auto menu "$main" 40018 >/dev/null || kvl_fail "could not choose Закрыть"
sim_expect 4 valve closed
sleep 1
kvl_expect "valve line after the Modbus command" "$(kvl_auto text "$mon" 1266)" "Затвор: регулир."
kvl_auto menu "$main" 40076 >/dev/null || kvl_fail "could not choose Регулирование"
sim_expect 4 valve regulate
# The device refuses a valve held by the external signal; the operator hears
# of a failure, not of success.
sim_set 4 ext=open
kvl_auto menu "$main" 40018 >/dev/null || kvl_fail "could not choose Закрыть"
kvl_answer "Нет связи" "Message" 1
kvl_expect "device valve after the Modbus refusal" "$(sim_key 4 valve)" regulate
sim_set 4 ext=none
# The family over Modbus.
kvl_auto menu "$main" 40080 >/dev/null || kvl_fail "could not choose КВЛ in Modbus"
kvl_wait_text "$mon" 1263 "КВЛ"
sim_expect 4 kind flow
kvl_auto menu "$main" 40081 >/dev/null || kvl_fail "could not choose ВПЗ in Modbus"
kvl_wait_text "$mon" 1263 "ВПЗ"
sim_expect 4 kind pressure
kvl_auto click "$mon" 1 >/dev/null
kvl_auto gone "$mon" 10000 >/dev/null || kvl_fail "the monitor stayed open"
quit_program "$main"
kvl_log "passed"
