#!/usr/bin/env bash
# The line goes away while the program polls (the simulator ends, so its pty
# closes, as when a USB adapter is pulled): the program says so once, naming
# the port, stops polling, closes the port as "Закрыть порт " does and answers
# at once. The simulator comes back on the same port: opening the port and
# linking work at the first try and polling runs again, with no stray message.
# Usage: port_lost.sh regnet9|regnet5|regsolo REGSIM
here=$(cd "$(dirname "$0")/.." && pwd)
KVL_SCENARIO="port_lost-$1"
source "$here/harness.sh"
source "$here/scenarios/solo_common.sh"
program=$1
regsim=${2:?usage: port_lost.sh regnet9|regnet5|regsolo REGSIM}

# COM1 is a link that each start of the simulator points at its new pty.
# (Status byte 6 = 0x42 reads in regsolo as no external valve signal.)
com1=$KVL_WINE_WORK/runs/$KVL_SCENARIO/com1
first=addr=3,serial=12345,setpoint=40,flow=40
[ "$program" = regsolo ] && first=$first,format=7,status6=0x42
sim_start() {
  mkdir -p "$(dirname "$com1")"
  kvl_regsim "$regsim" --link "$com1" --dev "$first" --dev addr=5,serial=23456,setpoint=25,flow=25
}
# Pulls the line away: the simulator ends (cleanly) and its pty closes.
sim_pull() {
  _kvl_regsim_stop || kvl_fail "regsim did not end cleanly when pulled away"
  [ ! -e "$com1" ] || kvl_fail "the simulator's pty link is still there"
}
# The main window handles a message within 0.3 s.
answers_at_once() {
  local ms
  ms=$(kvl_auto answers "$1" 5000) || exit 1
  [ "$ms" -le 300 ] || kvl_fail "$2: the main window answered after $ms ms"
}

kvl_start
sim_start
kvl_map_com 1 "$com1"
dir=$(kvl_workdir run)

lines=(1277 1278)  # the network dialog's lines of channels 0 and 1
[ "$program" = regnet5 ] && lines=(1211 1215)
if [ "$program" = regsolo ]; then
  title="ViriREVO7"
  lost_text="Порт COM1 отключен.Ошибка118"
  lost_caption="Error"
  printf '\000\003' >"$dir/KVL.dfg"
  kvl_launch regsolo.exe "$dir"
else
  title=$(kvl_net_title "$program")
  lost_text="Порт COM1 отключен"
  lost_caption="ErrorSvjac"
  kvl_write_icx "$dir" "$program" 0 3 5
  kvl_launch "$(kvl_net_exe "$program")" "$dir"
fi
main=$(kvl_main "$title") || exit 1

# Links the regulators and starts polling; waits until values come in.
link_and_poll() {
  local con net mon
  if [ "$program" = regsolo ]; then
    con=$(solo_link "$main" 3) || exit 1
    solo_ok "$con" "connection dialog"
    kvl_auto menu "$main" 40078 >/dev/null || kvl_fail "could not choose Вывести на экран"
    solo_wait_painted "$main" 1 " Задание: 40.0%; Расход: +*%; Дата: *" 20
  else
    kvl_auto menu "$main" 40082 >/dev/null || kvl_fail "could not choose the network formation"
    net=$(kvl_auto dialog "Формирование сети" 20000) || kvl_fail "no network formation dialog"
    kvl_wait_text "$net" 1158 "Порт COM1 закрыт"
    kvl_auto click "$net" 1156 >/dev/null || kvl_fail "could not click Открыть порт"
    kvl_wait_text "$net" 1158 "Порт COM1 открыт"
    kvl_auto click "$net" 1210 >/dev/null || kvl_fail "could not click Проверка связи"
    kvl_wait_text "$net" "${lines[0]}" "Кан.0.КВЛ №12345 Сет.№3 Вход:*" 40
    kvl_wait_text "$net" "${lines[1]}" "Кан.1.КВЛ №23456 Сет.№5 Вход:*" 40
    kvl_auto click "$net" 1 >/dev/null || kvl_fail "could not click OK"
    kvl_auto gone "$net" 10000 >/dev/null || kvl_fail "the network dialog stayed open"
    kvl_auto menu "$main" 836 >/dev/null || kvl_fail "could not choose Вывести на экран"
    mon=$(kvl_auto dialog "Установка канала и контроль параметров" 20000) || kvl_fail "no monitor"
    kvl_wait_text "$mon" 1239 "40.0" 20
    kvl_wait_text "$mon" 1240 "25.0" 20
    echo "$mon"
  fi
}

mon=$(link_and_poll) || exit 1
answers_at_once "$main" "while polling"
kvl_shot "port_lost-polling-$program" "$main"

# The line goes away.
sim_pull
box=$(kvl_msgbox "$lost_text" "$lost_caption") || exit 1
answers_at_once "$main" "with the message up"
kvl_shot "port_lost-message-$program"
kvl_auto click "$box" 1 >/dev/null || kvl_fail "could not answer \"$lost_text\""
kvl_auto gone "$box" 10000 >/dev/null || kvl_fail "\"$lost_text\" stayed open"
kvl_absent msgbox 1500  # no second message after the port went away
for i in 1 2 3; do
  answers_at_once "$main" "after the message ($i)"
  sleep 0.5
done

# Polling stopped, the port closed, the commands greyed as after "Закрыть порт ".
if [ "$program" = regsolo ]; then
  kvl_expect "mode in the status block" "$(solo_painted "$main" 2)" "Режим:Нет Связи"
  stopped=$(solo_painted "$main" 1)
  sleep 2
  kvl_expect "status line after the loss" "$(solo_painted "$main" 1)" "$stopped"
  for id in 40017 40018 40076 40037; do
    kvl_expect "menu $id after the loss" "$(kvl_auto menustate "$main" "$id")" grayed
  done
else
  kvl_auto gone "$mon" 10000 >/dev/null || kvl_fail "the monitor stayed open: polling goes on"
  kvl_expect "menu bar without Вывести на экран" "$(kvl_auto menubar "$main" | grep -c '^836$')" 0
  for id in 40017 40018 40076 40080 40081; do
    kvl_expect "menu $id after the loss" "$(kvl_auto menustate "$main" "$id")" grayed
  done
fi

# The line is back on the same port: open, link and poll again at the first try.
sim_start
mon=$(link_and_poll) || exit 1
answers_at_once "$main" "polling again"
kvl_absent msgbox 1500  # no stray message after reconnecting
kvl_shot "port_lost-again-$program" "$main"

[ "$program" = regsolo ] || {
  kvl_auto click "$mon" 1 >/dev/null
  kvl_auto gone "$mon" 10000 >/dev/null || kvl_fail "the monitor stayed open"
}
kvl_auto menu "$main" 258 >/dev/null || kvl_fail "could not choose Exit"
if [ "$program" = regsolo ]; then
  kvl_answer "OK to close window?" "DemoKVl" 1
else
  kvl_answer "OK to close window?" "КВЛ30" 1
fi
kvl_wait_exit 30
kvl_log "passed"
