#!/usr/bin/env bash
# regsolo's polling: "Вывести на экран" puts the regulator's setpoint and flow
# (sign included) with the date into the status line and keeps it current;
# "Остановить вывод" freezes it. A regulator that falls silent while polled
# leaves "TimeOut" lines and "Ошибка связи N:100" in the exchange log, and the
# status line follows it again once it answers. A valve held open by the
# analogue signal is reported at linking and its commands stay greyed; a port
# closed while polling stops the polling with "Порт закрыт".
# Usage: solo_polling.sh REGSIM
here=$(cd "$(dirname "$0")/.." && pwd)
KVL_SCENARIO="solo_polling"
source "$here/harness.sh"
source "$here/scenarios/solo_common.sh"
regsim=${1:?usage: solo_polling.sh REGSIM}
exe=${KVL_EXE:-regsolo.exe}

# Measurement mode: the flow is exactly what the device is given. Status byte
# 6 = 0x62: the valve is held open by the analogue signal, as regsolo reads it.
kvl_start
solo_regsim "$regsim" --dev addr=4,format=7,status6=0x62,regulate=0,setpoint=40,flow=30
kvl_map_com 1 "$KVL_PTY"

dir=$(kvl_workdir run)
printf '\000\004' >"$dir/KVL.dfg"
kvl_launch "$exe" "$dir"
main=$(kvl_main "ViriREVO7") || exit 1
con=$(solo_link "$main" 4) || exit 1
kvl_expect "mode in the dialog" "$(kvl_auto text "$con" 1080)" "Измерение"
solo_ok "$con" "connection dialog"
kvl_answer "Затвор открыт аналоговым сигналом" "Предупреждение" 1
for id in 40076 40017 40018; do
  kvl_expect "menu $id with the valve held" "$(kvl_auto menustate "$main" "$id")" grayed
done
solo_wait_painted "$main" 3 "Затвор:включен"
solo_wait_painted "$main" 2 "Режим:   Измерение"
kvl_expect "status line before polling" "$(solo_painted "$main" 1)" ""

date_glob='[A-Z][a-z][a-z] [ 0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]'
kvl_auto menu "$main" 40057 >/dev/null || kvl_fail "could not show the exchange log"
kvl_auto menu "$main" 40078 >/dev/null || kvl_fail "could not choose Вывести на экран"
solo_wait_painted "$main" 1 " Задание: 40.0%; Расход: +30.0%; Дата: $date_glob" 20
# 30.00 % = 3000 = 11 * 256 + 184 in the measure reply, as the log shows it.
# The log line may come a moment after the status line was drawn.
logged=""
for _ in $(seq 1 40); do
  kvl_auto lines "$main" 10001 | grep '^17;[0-9]*;11-184;[0-9]*-[0-9]*;[0-9]*-4;' >/dev/null &&
    logged=yes && break
  sleep 0.25
done
[ -n "$logged" ] ||
  kvl_fail "no measure reply in the exchange log: $(kvl_auto lines "$main" 10001 | tail -n 2 | tr '\n' ' ')"
kvl_shot "solo_polling-main" "$main"

# The status line follows the device, a negative flow included.
solo_sim_set 4 flow=-12.5,setpoint=55
solo_wait_painted "$main" 1 " Задание: 55.0%; Расход: -12.5%; Дата: $date_glob" 20
first=$(solo_painted "$main" 1)
moved=""
for _ in $(seq 1 60); do
  sleep 0.25
  [ "$(solo_painted "$main" 1)" != "$first" ] && moved=yes && break
done
kvl_expect "polling still runs (the time moves on)" "$moved" yes

# Stopped: no more measure requests, and the last values stay whatever the
# device does now. (The menu command is posted: wait until the requests end.)
kvl_auto menu "$main" 40079 >/dev/null || kvl_fail "could not choose Остановить вывод"
requests=-1
for _ in $(seq 1 15); do
  now=$(solo_trace | grep -c "RX K 11 ")
  [ "$now" = "$requests" ] && break
  requests=$now
  sleep 2
done
[ "$now" = "$requests" ] || kvl_fail "measure requests went on after stopping ($now)"
stopped=$(solo_painted "$main" 1)
solo_sim_set 4 flow=80
sleep 2.5
kvl_expect "status line after stopping" "$(solo_painted "$main" 1)" "$stopped"
kvl_expect "measure requests after stopping" "$(solo_trace | grep -c "RX K 11 ")" "$requests"

# The regulator falls silent while polled: every attempt times out and the
# exchange fails with "Ошибка связи N:100"; nothing else interrupts the operator.
kvl_auto menu "$main" 40078 >/dev/null || kvl_fail "could not restart the polling"
solo_wait_painted "$main" 1 " Задание: 55.0%; Расход: +80.0%; Дата: $date_glob" 20
solo_sim_set 4 silent=1
found=""
for _ in $(seq 1 60); do
  log=$(kvl_auto lines "$main" 10001)
  if grep -qx "Ошибка связи N:100" <<<"$log" && grep -qx "TimeOut4" <<<"$log"; then
    found=yes
    break
  fi
  sleep 0.5
done
[ -n "$found" ] || kvl_fail "no failed exchange in the log: $(tr '\n' ' ' <<<"$log")"
for n in 0 1 2 3; do
  grep -qx "TimeOut$n" <<<"$log" || kvl_fail "no TimeOut$n before the failure: $(tr '\n' ' ' <<<"$log")"
done
kvl_expect "log lines kept" "$([ "$(wc -l <<<"$log")" -le 14 ] && echo "at most 14")" "at most 14"
kvl_absent msgbox 1000
kvl_shot "solo_polling-silent" "$main"

# It answers again: the status line resumes.
solo_sim_set 4 silent=0,flow=20
solo_wait_painted "$main" 1 " Задание: 55.0%; Расход: +20.0%; Дата: $date_glob" 20

# The port is closed in the connection dialog while polling runs: the closing
# frame goes out, the next poll finds the port closed, says so and stops.
kvl_auto menu "$main" 40048 >/dev/null || kvl_fail "could not choose the connection dialog"
con=$(kvl_auto dialog "Установление связи с регулятором" 20000) || kvl_fail "no connection dialog"
kvl_auto click "$con" 1157 >/dev/null || kvl_fail "could not click Закрыть порт"
kvl_answer "Порт закрыт" "Предупреждение" 1
kvl_wait_text "$con" 1158 "Порт COM1 закрыт"
solo_wait_trace "NOTE closing frame for address 4$"
requests=$(solo_trace | grep -c "RX K 11 ")
sleep 2
kvl_expect "measure requests after the port closed" "$(solo_trace | grep -c "RX K 11 ")" "$requests"
kvl_absent msgbox 500
solo_ok "$con" "connection dialog"

kvl_auto menu "$main" 258 >/dev/null || kvl_fail "could not choose Exit"
kvl_answer "OK to close window?" "DemoKVl" 1
kvl_wait_exit 30
# The port was already closed: no second closing frame at the end.
kvl_expect "closing frames" "$(solo_trace | grep -c "NOTE closing frame")" 1
kvl_log "passed"
