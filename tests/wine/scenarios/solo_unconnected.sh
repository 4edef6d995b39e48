#!/usr/bin/env bash
# regsolo before any regulator is linked: "KVL.dfg" gives the port and the
# address shown in the connection dialog (and is written back on OK); every
# command that needs the regulator says "Нет связи.Ошибка106"; the valve
# commands are greyed; the status block tells there is no link.
# Usage: solo_unconnected.sh
here=$(cd "$(dirname "$0")/.." && pwd)
KVL_SCENARIO="solo_unconnected"
source "$here/harness.sh"
source "$here/scenarios/solo_common.sh"
exe=${KVL_EXE:-regsolo.exe}

kvl_start

# "KVL.dfg": port index 1 (COM2), address 7.
dir=$(kvl_workdir run)
printf '\001\007' >"$dir/KVL.dfg"
kvl_launch "$exe" "$dir"
main=$(kvl_main "ViriREVO7") || exit 1

solo_wait_painted "$main" 2 "Режим:Нет Связи"
solo_wait_painted "$main" 3 "Затвор: ?"
solo_wait_painted "$main" 4 "КВЛ"
for id in 40076 40017 40018; do
  kvl_expect "menu state of $id" "$(kvl_auto menustate "$main" "$id")" grayed
done

kvl_auto menu "$main" 40048 >/dev/null || kvl_fail "could not choose the connection dialog"
con=$(kvl_auto dialog "Установление связи с регулятором" 20000) || kvl_fail "no connection dialog"
kvl_expect "address field" "$(kvl_auto text "$con" 1000)" "7"
kvl_expect "new address field" "$(kvl_auto text "$con" 1169)" "7"
kvl_expect "port choice" "$(kvl_auto selection "$con" 1191)" "1"
kvl_expect "port text" "$(kvl_auto text "$con" 1158)" "Порт COM2 закрыт"
# Linking with the port closed is refused with a warning.
kvl_auto click "$con" 1073 >/dev/null || kvl_fail "could not click Установить связь"
kvl_answer "Порт закрыт" "Предупреждение" 1
# A typed address goes to the new-address field too and is saved on OK.
kvl_auto settext "$con" 1000 12 >/dev/null
kvl_wait_text "$con" 1169 "12"
kvl_auto click "$con" 1 >/dev/null || kvl_fail "could not click OK"
kvl_auto gone "$con" 10000 >/dev/null || kvl_fail "the connection dialog stayed open"
kvl_expect "KVL.dfg after OK" "$(od -An -tu1 "$dir/KVL.dfg" | xargs)" "1 12"

# Without a link the dialog leaves the analogue input greyed, and every
# command that talks to the regulator refuses.
kvl_expect "Аналоговый without a link" "$(kvl_auto menustate "$main" 40037)" grayed
for id in 40078 40080 40081 40035 40062; do
  kvl_auto menu "$main" "$id" >/dev/null || kvl_fail "could not choose menu command $id"
  solo_answer_shot "Нет связи.Ошибка106" "Error" 1 "solo_no-link"
done
kvl_expect "status line after refused polling" "$(solo_painted "$main" 1)" ""
kvl_absent dialog "Выбор расхода" 500

# The exchange log list shows and hides from the Help menu.
kvl_expect "log list at start" "$(kvl_auto state "$main" 10001 | cut -d' ' -f1)" hidden
kvl_auto menu "$main" 40057 >/dev/null || kvl_fail "could not choose ВКЛ."
kvl_expect "log list after ВКЛ." "$(kvl_auto state "$main" 10001 | cut -d' ' -f1)" visible
kvl_expect "ВКЛ. after ВКЛ." "$(kvl_auto menustate "$main" 40057)" grayed
kvl_expect "ВЫКЛ. after ВКЛ." "$(kvl_auto menustate "$main" 40058)" enabled
kvl_auto menu "$main" 40058 >/dev/null || kvl_fail "could not choose ВЫКЛ."
kvl_expect "log list after ВЫКЛ." "$(kvl_auto state "$main" 10001 | cut -d' ' -f1)" hidden

# Exit asks first; Cancel keeps the program, OK ends it.
kvl_auto menu "$main" 258 >/dev/null || kvl_fail "could not choose Exit"
kvl_answer "OK to close window?" "DemoKVl" 2
sleep 1
kvl_running || kvl_fail "the program ended although the operator cancelled"
kvl_auto menu "$main" 258 >/dev/null || kvl_fail "could not choose Exit again"
kvl_answer "OK to close window?" "DemoKVl" 1
kvl_wait_exit 30

# A port number beyond COM10 in "KVL.dfg" is reported and COM1 taken instead;
# the address is still used.
dir=$(kvl_workdir bad-port)
printf '\014\042' >"$dir/KVL.dfg"
kvl_launch "$exe" "$dir"
solo_answer_shot "В файле KVL.dfg номер порта 12 вне диапазона COM1-COM10. Выбран порт COM1.Ошибка119" \
  "Error" 1 "solo_bad-port"
main=$(kvl_main "ViriREVO7") || exit 1
kvl_auto menu "$main" 40048 >/dev/null || kvl_fail "could not choose the connection dialog"
con=$(kvl_auto dialog "Установление связи с регулятором" 20000) || kvl_fail "no connection dialog"
kvl_expect "port after a bad port number" "$(kvl_auto text "$con" 1158)" "Порт COM1 закрыт"
kvl_expect "address after a bad port number" "$(kvl_auto text "$con" 1000)" "34"
kvl_auto close "$con" >/dev/null || kvl_fail "could not close the connection dialog"
kvl_auto gone "$con" 10000 >/dev/null || kvl_fail "the connection dialog stayed open"
kvl_expect "KVL.dfg after the close box" "$(od -An -tu1 "$dir/KVL.dfg" | xargs)" "12 34"
kvl_auto close "$main" >/dev/null
kvl_answer "OK to close window?" "DemoKVl" 1
kvl_wait_exit 30
kvl_log "passed"
