#!/usr/bin/env bash
# A regulator with the older status layout (format 5): what the monitor shows
# after linking comes from that layout — a pressure regulator on the analogue
# input whose valve the external signal holds closed; the family switch is
# refused for its pressure sensor; with the signal gone and the sensor off the
# commands work as on a newer device.
# Usage: cmd_old_format.sh regnet9|regnet5 REGSIM
here=$(cd "$(dirname "$0")/.." && pwd)
KVL_SCENARIO="cmd_old_format-$1"
source "$here/harness.sh"
source "$here/scenarios/cmd_lib.sh"
program=$1
regsim=${2:?usage: cmd_old_format.sh regnet9|regnet5 REGSIM}
title=$(kvl_net_title "$program")

kvl_start
cmd_regsim "$regsim" \
  --dev addr=9,format=5,kind=pressure,pres45=1,digital=0,ext=closed,serial=1122,setpoint=35
kvl_map_com 1 "$KVL_PTY"
dir=$(kvl_workdir run)
kvl_write_icx "$dir" "$program" 0 9
kvl_launch "$(kvl_net_exe "$program")" "$dir"
main=$(kvl_main "$title") || exit 1
link_channel0 "$main"

mon=$(open_monitor "$main") || exit 1
kvl_expect "family" "$(kvl_auto text "$mon" 1263)" "ВПЗ"
kvl_expect "serial" "$(kvl_auto text "$mon" 1264)" "№1122,"
kvl_expect "valve line" "$(kvl_auto text "$mon" 1266)" "Затвор: закрыт. Внешн."
kvl_expect "input line" "$(kvl_auto text "$mon" 1267)" "Вход:анал."
kvl_wait_text "$mon" 1239 "35.0"
kvl_shot "cmd_$program-monitor-old-format" "$mon"
kvl_auto menu "$main" 40080 >/dev/null || kvl_fail "could not choose КВЛ"
kvl_answer "Нет возможности. Подключен ВПЗ" "Message" 1
kvl_auto menu "$main" 40017 >/dev/null || kvl_fail "could not choose Открыть"
kvl_answer "Выключите внешнее управление затвором" "Предупреждение" 1
kvl_auto click "$mon" 1 >/dev/null
kvl_auto gone "$mon" 10000 >/dev/null || kvl_fail "the monitor stayed open"

sim_set 9 ext=none,pres45=0
relink_channel0 "$main"
mon=$(open_monitor "$main") || exit 1
kvl_expect "valve line without the signal" "$(kvl_auto text "$mon" 1266)" "Затвор: регулир."
kvl_auto menu "$main" 40018 >/dev/null || kvl_fail "could not choose Закрыть"
kvl_wait_text "$mon" 1266 "Затвор: закрыт. Прог."
sim_expect 9 valve closed
kvl_auto menu "$main" 40080 >/dev/null || kvl_fail "could not choose КВЛ"
kvl_wait_text "$mon" 1263 "КВЛ"
sim_expect 9 kind flow
kvl_auto click "$mon" 1 >/dev/null
kvl_auto gone "$mon" 10000 >/dev/null || kvl_fail "the monitor stayed open"
quit_program "$main"
kvl_log "passed"
