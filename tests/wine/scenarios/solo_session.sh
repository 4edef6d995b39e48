#!/usr/bin/env bash
# regsolo: without "KVL.dfg" it tells the operator and ends; with it, the
# operator opens COM1 (mapped to the simulator) in the connection dialog, links
# the regulator, starts and stops the polling (the status line's background is
# green while polling runs, grey afterwards), writes a zero offset and reads it
# back, sends a setpoint from the setpoint window, opens the About box and
# closes the program.
# Usage: solo_session.sh REGSIM
here=$(cd "$(dirname "$0")/.." && pwd)
KVL_SCENARIO="solo_session"
source "$here/harness.sh"
regsim=${1:?usage: solo_session.sh REGSIM}
exe=${KVL_EXE:-regsolo.exe}

kvl_start
kvl_regsim "$regsim" --dev addr=5,serial=4321,setpoint=30,flow=30
kvl_map_com 1 "$KVL_PTY"

# No configuration file: message 103 and the end.
dir=$(kvl_workdir empty)
kvl_launch "$exe" "$dir"
kvl_answer "Не могу открыть файл KVL.dfg в текущей директории.Ошибка103" "Error" 1
kvl_wait_exit 30

# "KVL.dfg": port COM1, address 5.
dir=$(kvl_workdir run)
printf '\000\005' >"$dir/KVL.dfg"
kvl_launch "$exe" "$dir"
main=$(kvl_main "ViriREVO7") || exit 1
kvl_expect "start menu: Открыть" "$(kvl_auto menustate "$main" 40017)" grayed
kvl_expect "start menu: ВКЛ." "$(kvl_auto menustate "$main" 40057)" enabled

kvl_auto menu "$main" 40048 >/dev/null || kvl_fail "could not choose the connection dialog"
con=$(kvl_auto dialog "Установление связи с регулятором" 20000) || kvl_fail "no connection dialog"
kvl_expect "address field" "$(kvl_auto text "$con" 1000)" "5"
kvl_expect "port text" "$(kvl_auto text "$con" 1158)" "Порт COM1 закрыт"
kvl_expect "speed list" "$(kvl_auto lines "$con" 1231 | tr '\n' ' ')" "9600 19200 38400 "
kvl_auto click "$con" 1156 >/dev/null || kvl_fail "could not click Открыть порт"
kvl_wait_text "$con" 1158 "Порт COM1 открыт"
kvl_auto click "$con" 1073 >/dev/null || kvl_fail "could not click Установить связь"
kvl_wait_text "$con" 1075 "Установлена" 20
kvl_expect "regulator number" "$(kvl_auto text "$con" 1077)" "4321"
kvl_shot "regsolo-connection" "$con"
kvl_auto click "$con" 1 >/dev/null
kvl_auto gone "$con" 10000 >/dev/null || kvl_fail "the connection dialog stayed open"
# The simulated regulator's valve is held by its analog signal: the program
# warns once the dialog has closed.
kvl_answer "Затвор закрыт аналоговым сигналом" "Предупреждение" 1

# Polling: the status line at (140, 2) turns green, then grey when stopped.
kvl_auto menu "$main" 40078 >/dev/null || kvl_fail "could not start the polling"
ok=""
for _ in $(seq 1 40); do
  [ "$(kvl_auto pixel "$main" 141 4)" = "0 255 0" ] && ok=yes && break
  sleep 0.25
done
[ -n "$ok" ] || kvl_fail "the status line is not green while polling ($(kvl_auto pixel "$main" 141 4))"
kvl_shot "regsolo-main" "$main"
kvl_auto menu "$main" 40079 >/dev/null || kvl_fail "could not stop the polling"
ok=""
for _ in $(seq 1 20); do
  [ "$(kvl_auto pixel "$main" 141 4)" = "143 143 143" ] && ok=yes && break
  sleep 0.25
done
[ -n "$ok" ] || kvl_fail "the status line is not grey after stopping ($(kvl_auto pixel "$main" 141 4))"

# Zero offset of a format-7 regulator: the question, then dialog 111 with the
# output and the offset; a new offset is written with "Кнопка '0'".
kvl_auto menu "$main" 40035 >/dev/null || kvl_fail "could not choose Установка '0'"
kvl_answer "Операция проводится при нуле расходе на эталоне.Продолжить?" \
  "ВНИМАНИЕ!!! ВЫКЛЮЧИТЕ ГАЗ" 6
zero=$(kvl_auto dialog "Установка нуля" 20000) || kvl_fail "no zero-offset dialog"
kvl_wait_text "$zero" 1044 "+*%"
kvl_wait_text "$zero" 1000 "[0-9]*"
kvl_auto settext "$zero" 1000 1234 >/dev/null
kvl_auto click "$zero" 1038 >/dev/null || kvl_fail "could not click Кнопка '0'"
sleep 1
kvl_shot "regsolo-zero" "$zero"
kvl_auto click "$zero" 1 >/dev/null
kvl_auto gone "$zero" 10000 >/dev/null || kvl_fail "the zero-offset dialog stayed open"
kvl_auto menu "$main" 40035 >/dev/null
kvl_answer "Операция проводится при нуле расходе на эталоне.Продолжить?" \
  "ВНИМАНИЕ!!! ВЫКЛЮЧИТЕ ГАЗ" 6
zero=$(kvl_auto dialog "Установка нуля" 20000) || kvl_fail "no zero-offset dialog the second time"
kvl_wait_text "$zero" 1000 "1234"
kvl_auto click "$zero" 1 >/dev/null
kvl_auto gone "$zero" 10000 >/dev/null || kvl_fail "the zero-offset dialog stayed open"

# The setpoint window (modeless): a preset is sent and confirmed by the reply.
kvl_auto menu "$main" 40062 >/dev/null || kvl_fail "could not choose Цифровой"
sp=$(kvl_auto dialog "Выбор расхода" 20000) || kvl_fail "no setpoint window"
kvl_expect "presets" "$(kvl_auto lines "$sp" 1001 | wc -l)" 11
kvl_auto select "$sp" 1001 7 >/dev/null || kvl_fail "could not choose 70%"
kvl_wait_text "$sp" 1000 "70.0"
kvl_auto click "$sp" 1 >/dev/null
kvl_auto gone "$sp" 10000 >/dev/null || kvl_fail "the setpoint window stayed open"

kvl_auto menu "$main" 260 >/dev/null || kvl_fail "could not choose About"
about=$(kvl_auto dialog "Abaut" 20000) || kvl_fail "no About box"
kvl_expect "About version" "$(kvl_auto texts "$about" | cut -f3 | sed -n 2p)" "Версия 07.04.2014"
kvl_auto click "$about" 1 >/dev/null
kvl_auto gone "$about" 10000 >/dev/null || kvl_fail "the About box stayed open"

kvl_auto menu "$main" 258 >/dev/null || kvl_fail "could not choose Exit"
kvl_answer "OK to close window?" "DemoKVl" 1
kvl_wait_exit 30
kvl_log "passed"
