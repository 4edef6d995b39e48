#!/usr/bin/env bash
# regsolo with a linked regulator: linking at address 0 finds the regulator's
# own address; the kind (КВЛ/ВПЗ), the valve commands with their menu states,
# the analogue input and a valve command refused while the external signal
# holds the valve all reach the simulated device; closing the program sends
# the closing frame to it.
# Usage: solo_commands.sh REGSIM
here=$(cd "$(dirname "$0")/.." && pwd)
KVL_SCENARIO="solo_commands"
source "$here/harness.sh"
source "$here/scenarios/solo_common.sh"
regsim=${1:?usage: solo_commands.sh REGSIM}
exe=${KVL_EXE:-regsolo.exe}

kvl_start
# Status byte 6 = 0x42: a valve free of the external signal as regsolo reads it.
solo_regsim "$regsim" --dev addr=9,serial=777,format=7,status6=0x42
kvl_map_com 1 "$KVL_PTY"

dir=$(kvl_workdir run)
printf '\000\003' >"$dir/KVL.dfg"
kvl_launch "$exe" "$dir"
main=$(kvl_main "ViriREVO7") || exit 1

# Nobody at address 44: both the address query and the identify fail.
kvl_auto menu "$main" 40048 >/dev/null || kvl_fail "could not choose the connection dialog"
con=$(kvl_auto dialog "Установление связи с регулятором" 20000) || kvl_fail "no connection dialog"
kvl_auto click "$con" 1156 >/dev/null || kvl_fail "could not click Открыть порт"
kvl_wait_text "$con" 1158 "Порт COM1 открыт"
kvl_auto settext "$con" 1000 44 >/dev/null
kvl_auto click "$con" 1073 >/dev/null || kvl_fail "could not click Установить связь"
kvl_answer "Ошибка100" "Error" 1
kvl_answer "Номер не установлен." "ErrorSvjac" 1
kvl_wait_text "$con" 1075 "Не установлена"
kvl_expect "number without a regulator" "$(kvl_auto text "$con" 1077)" "Не установлен"
solo_ok "$con" "connection dialog"
kvl_expect "Аналоговый without a link" "$(kvl_auto menustate "$main" 40037)" grayed
kvl_refused "menu item 40017 is greyed" menu "$main" 40017

# Address 0 reaches whichever single regulator is on the line: its own address
# replaces the 0 in both address fields.
con=$(solo_link "$main" 0) || exit 1
kvl_expect "address after linking at 0" "$(kvl_auto text "$con" 1000)" "9"
kvl_expect "new address after linking at 0" "$(kvl_auto text "$con" 1169)" "9"
kvl_expect "regulator number" "$(kvl_auto text "$con" 1077)" "777"
kvl_expect "mode" "$(kvl_auto text "$con" 1080)" "Регулирование"
kvl_expect "input" "$(kvl_auto text "$con" 1082)" "Цифровой"
kvl_expect "alarm" "$(kvl_auto text "$con" 1202)" "Норма"
solo_ok "$con" "connection dialog"
kvl_expect "KVL.dfg keeps the found address" "$(od -An -tu1 "$dir/KVL.dfg" | xargs)" "0 9"
kvl_absent msgbox 3000
solo_wait_painted "$main" 2 "Режим:Регулировка"
solo_wait_painted "$main" 3 "Затвор:  регул."
solo_wait_painted "$main" 4 "КВЛ"
kvl_expect "Открыть after linking" "$(kvl_auto menustate "$main" 40017)" enabled
kvl_expect "Закрыть after linking" "$(kvl_auto menustate "$main" 40018)" enabled
kvl_expect "Регулирование after linking" "$(kvl_auto menustate "$main" 40076)" enabled
kvl_expect "Аналоговый after linking" "$(kvl_auto menustate "$main" 40037)" enabled

# Kind: ВПЗ, then КВЛ again; the regulation mode is kept.
kvl_auto menu "$main" 40081 >/dev/null || kvl_fail "could not choose ВПЗ"
solo_sim_wait 9 kind pressure
solo_wait_painted "$main" 4 "ВПЗ"
kvl_expect "mode kept with ВПЗ" "$(solo_sim_get 9 regulate)" 1
kvl_auto menu "$main" 40080 >/dev/null || kvl_fail "could not choose КВЛ"
solo_sim_wait 9 kind flow
solo_wait_painted "$main" 4 "КВЛ"
kvl_expect "mode kept with КВЛ" "$(solo_sim_get 9 regulate)" 1

# Valve: each command greys its own menu item and frees the other two.
valve_step() { # ID DEVICE-VALVE PAINTED
  kvl_auto menu "$main" "$1" >/dev/null || kvl_fail "could not choose valve command $1"
  solo_sim_wait 9 valve "$2"
  solo_wait_painted "$main" 3 "$3"
  local id want
  for id in 40076 40017 40018; do
    want=enabled
    [ "$id" = "$1" ] && want=grayed
    kvl_expect "menu $id after $1" "$(kvl_auto menustate "$main" "$id")" "$want"
  done
}
valve_step 40017 open "Затвор: открыт"
valve_step 40018 closed "Затвор: закрыт"
valve_step 40076 regulate "Затвор:  регул."

# The analogue input.
kvl_expect "input before Аналоговый" "$(solo_sim_get 9 digital)" 1
kvl_auto menu "$main" 40037 >/dev/null || kvl_fail "could not choose Аналоговый"
solo_sim_wait 9 digital 0

# The external signal holds the valve: the regulator refuses (reply byte 0 = 0)
# and the program asks to switch that off, changing nothing.
solo_sim_set 9 ext=closed
kvl_auto menu "$main" 40017 >/dev/null || kvl_fail "could not choose Открыть"
solo_answer_shot "Выключите внешнее управление затвором" "Предупреждение" 1 "solo_valve-refused"
kvl_expect "valve after refusal" "$(solo_sim_get 9 valve)" regulate
kvl_expect "Открыть after refusal" "$(kvl_auto menustate "$main" 40017)" enabled
kvl_expect "Регулирование after refusal" "$(kvl_auto menustate "$main" 40076)" grayed
kvl_expect "valve text after refusal" "$(solo_painted "$main" 3)" "Затвор:  регул."
kvl_shot "solo_commands-main" "$main"

# Closing: the closing frame (code 1, D1 = address + 1) reaches the regulator
# before the question.
kvl_auto menu "$main" 258 >/dev/null || kvl_fail "could not choose Exit"
kvl_answer "OK to close window?" "DemoKVl" 1
kvl_wait_exit 30
solo_wait_trace "NOTE closing frame for address 9$"
solo_trace | grep "RX K 01 0A " >/dev/null || kvl_fail "the closing frame does not carry D1 = 10"
kvl_log "passed"
