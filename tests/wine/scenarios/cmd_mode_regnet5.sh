#!/usr/bin/env bash
# regnet5's mode commands: "Измерение " puts the device in measurement mode,
# the monitor says so and only "Регулирование" stays available; "Регулирование"
# brings it back. A ВПЗ stays one through these changes. The same in Modbus.
# Usage: cmd_mode_regnet5.sh REGSIM
here=$(cd "$(dirname "$0")/.." && pwd)
KVL_SCENARIO="cmd_mode_regnet5"
source "$here/harness.sh"
source "$here/scenarios/cmd_lib.sh"
regsim=${1:?usage: cmd_mode_regnet5.sh REGSIM}
title=$(kvl_net_title regnet5)

kvl_start
cmd_regsim "$regsim" --dev addr=8,serial=1357,setpoint=45
kvl_map_com 1 "$KVL_PTY"
dir=$(kvl_workdir run)
kvl_write_icx "$dir" regnet5 0 8
kvl_launch "$(kvl_net_exe regnet5)" "$dir"
main=$(kvl_main "$title") || exit 1
kvl_expect "Регулирование before linking" "$(kvl_auto menustate "$main" 40019)" grayed
kvl_expect "Измерение before linking" "$(kvl_auto menustate "$main" 262)" grayed
link_channel0 "$main"
mon=$(open_monitor "$main") || exit 1
kvl_expect "mode line at the start" "$(kvl_auto text "$mon" 1265)" "Режим: регулир."

# MENU-ID MONITOR-TEXT DEVICE-REGULATE STATE-40019 STATE-262
mode() {
  kvl_auto menu "$main" "$1" >/dev/null || kvl_fail "could not choose mode command $1"
  kvl_wait_text "$mon" 1265 "$2"
  sim_expect 8 regulate "$3"
  kvl_expect "Регулирование after $1" "$(kvl_auto menustate "$main" 40019)" "$4"
  kvl_expect "Измерение after $1" "$(kvl_auto menustate "$main" 262)" "$5"
}
mode 262 "Режим: измерение" 0 enabled grayed
kvl_shot "cmd_regnet5-monitor-measure" "$mon"
# A greyed item cannot be chosen.
kvl_refused "menu item 262 is greyed" menu "$main" 262
mode 40019 "Режим: регулир." 1 grayed enabled

# A ВПЗ keeps its family through the mode changes.
kvl_auto menu "$main" 40081 >/dev/null || kvl_fail "could not choose ВПЗ"
kvl_wait_text "$mon" 1263 "ВПЗ"
sim_expect 8 kind pressure
mode 262 "Режим: измерение" 0 enabled grayed
kvl_expect "family after Измерение" "$(sim_key 8 kind)" pressure
mode 40019 "Режим: регулир." 1 grayed enabled
kvl_expect "family after Регулирование" "$(sim_key 8 kind)" pressure
kvl_auto menu "$main" 40080 >/dev/null || kvl_fail "could not choose КВЛ"
sim_expect 8 kind flow

kvl_auto menu "$main" 40084 >/dev/null || kvl_fail "could not choose Modbus"
mark=$(sim_mark)
mode 262 "Режим: измерение" 0 enabled grayed
mode 40019 "Режим: регулир." 1 grayed enabled
sim_no_kormast_since "$mark"
kvl_auto click "$mon" 1 >/dev/null
kvl_auto gone "$mon" 10000 >/dev/null || kvl_fail "the monitor stayed open"
quit_program "$main"
kvl_log "passed"
