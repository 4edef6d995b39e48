#!/usr/bin/env bash
# The regulator setup dialog on COM1 mapped to the simulator with one
# regulator: the port is opened, "Запрос" finds the regulator's address,
# "Установить связь" links channel 0 (regnet9 also reads the firmware date),
# the exchange speed is changed on both sides, mode memorising is switched on,
# and OK stores the address in "KVL.icx" and puts "Вывести на экран" on the
# menu bar.
# Usage: setup_dialog.sh regnet9|regnet5 REGSIM
here=$(cd "$(dirname "$0")/.." && pwd)
KVL_SCENARIO="setup_dialog-$1"
source "$here/harness.sh"
program=$1
regsim=${2:?usage: setup_dialog.sh regnet9|regnet5 REGSIM}
title=$(kvl_net_title "$program")

kvl_start
kvl_regsim "$regsim" --dev addr=5,serial=4321,date=12-5-15-3
kvl_map_com 1 "$KVL_PTY"
dir=$(kvl_workdir run)
kvl_write_icx "$dir" "$program" 0 1
kvl_launch "$(kvl_net_exe "$program")" "$dir"
main=$(kvl_main "$title") || exit 1

kvl_auto menu "$main" 40048 >/dev/null || kvl_fail "could not choose Настройка регулятора"
dlg=$(kvl_auto dialog "Установление связи и настройка регулятора по каналу 0" 20000) ||
  kvl_fail "no setup dialog"
kvl_expect "channel text" "$(kvl_auto text "$dlg" 1229)" "Канал №:0"
kvl_expect "port text" "$(kvl_auto text "$dlg" 1158)" "Порт COM1 закрыт"
kvl_expect "address" "$(kvl_auto text "$dlg" 1000)" "1"
kvl_expect "speed list" "$(kvl_auto lines "$dlg" 1231 | tr '\n' ' ')" "9600 19200 38400 "
kvl_expect "speed selection" "$(kvl_auto selection "$dlg" 1231)" "1"
if [ "$program" = regnet5 ]; then
  kvl_absent control "$dlg" 1302
fi

kvl_auto click "$dlg" 1156 >/dev/null || kvl_fail "could not click Открыть порт"
kvl_wait_text "$dlg" 1158 "Порт COM1 открыт"

# "Запрос": the single regulator tells its address.
kvl_auto click "$dlg" 1210 >/dev/null || kvl_fail "could not click Запрос"
kvl_answer "Оставьте подключенным один регулятор.Продолжить?" "Внимание" 1
kvl_wait_text "$dlg" 1000 "5"
kvl_expect "new address field" "$(kvl_auto text "$dlg" 1169)" "5"
kvl_expect "number from the query" "$(kvl_auto text "$dlg" 1077)" "4321"

# "Установить связь".
kvl_auto click "$dlg" 1073 >/dev/null || kvl_fail "could not click Установить связь"
kvl_wait_text "$dlg" 1075 "Установлена"
kvl_expect "serial" "$(kvl_auto text "$dlg" 1077)" "4321"
kvl_expect "kind" "$(kvl_auto text "$dlg" 1211)" "Номер КВЛ"
if [ "$program" = regnet9 ]; then
  kvl_wait_text "$dlg" 1302 "Дата прошивки: 12-5-15-3"
fi

# The speed: the device first, then the port; both sides now at 38400.
kvl_auto select "$dlg" 1231 2 >/dev/null || kvl_fail "could not choose 38400"
kvl_wait_text "$dlg" 1229 "2:38400"

# Mode memorising on.
kvl_auto click "$dlg" 1234 >/dev/null || kvl_fail "could not click Запомнить"
sleep 1
kvl_expect "Запомнить" "$(kvl_auto state "$dlg" 1234 | cut -d' ' -f3)" checked
kvl_expect "Нет" "$(kvl_auto state "$dlg" 1233 | cut -d' ' -f3)" unchecked
kvl_shot "$program-setup" "$dlg"

kvl_auto click "$dlg" 1 >/dev/null
kvl_auto gone "$dlg" 10000 >/dev/null || kvl_fail "the setup dialog stayed open"
kvl_expect "menu bar" "$(kvl_auto menubar "$main" | tr '\n' ' ')" \
  "popup popup popup popup 40035 40020 popup 836 popup "
case $program in
  regnet9) offset=40 ;;
  regnet5) offset=36 ;;
esac
stored=$(od -An -tu4 -j"$offset" -N4 "$dir/KVL.icx" | tr -d ' ')
kvl_expect "address stored in KVL.icx" "$stored" "5"

kvl_auto menu "$main" 258 >/dev/null || kvl_fail "could not choose Exit"
kvl_answer "OK to close window?" "КВЛ30" 1
kvl_wait_exit 30
kvl_log "passed"
