#!/usr/bin/env bash
# regsolo changes the regulator's settings: the setpoint from a preset and as a
# typed number (bad numbers refused), the address ("Изменить", a bad one
# refused), the memorising of the mode and the line speed (the program follows
# on its own port; a speed the regulator refuses is not taken); the
# program then keeps talking to the regulator at its new address and speed,
# saves the new address in "KVL.dfg" and sends the closing frame there.
# Usage: solo_settings.sh REGSIM
here=$(cd "$(dirname "$0")/.." && pwd)
KVL_SCENARIO="solo_settings"
source "$here/harness.sh"
source "$here/scenarios/solo_common.sh"
regsim=${1:?usage: solo_settings.sh REGSIM}
exe=${KVL_EXE:-regsolo.exe}

kvl_start
# --strict-speed: requests at a speed other than the line's are not understood.
solo_regsim "$regsim" --strict-speed --dev addr=3,format=7,status6=0x42,setpoint=10
kvl_map_com 1 "$KVL_PTY"

dir=$(kvl_workdir run)
printf '\000\003' >"$dir/KVL.dfg"
kvl_launch "$exe" "$dir"
main=$(kvl_main "ViriREVO7") || exit 1
con=$(solo_link "$main" 3) || exit 1
solo_ok "$con" "connection dialog"

# Setpoint window: a preset, then typed values.
kvl_auto menu "$main" 40062 >/dev/null || kvl_fail "could not choose Цифровой"
sp=$(kvl_auto dialog "Выбор расхода" 20000) || kvl_fail "no setpoint window"
kvl_auto select "$sp" 1001 4 >/dev/null || kvl_fail "could not choose 40%"
solo_sim_wait 3 setpoint 40.00
kvl_wait_text "$sp" 1000 "40.0"
kvl_auto settext "$sp" 1000 37.5 >/dev/null
kvl_auto click "$sp" 1087 >/dev/null || kvl_fail "could not send the typed setpoint"
solo_sim_wait 3 setpoint 37.50
kvl_shot "solo_settings-setpoint" "$sp"
kvl_expect "preset selection after typing" "$(kvl_auto selection "$sp" 1001)" "-1"
for bad in 655.36 -5 abc; do
  kvl_auto settext "$sp" 1000 "$bad" >/dev/null
  kvl_auto click "$sp" 1087 >/dev/null || kvl_fail "could not send \"$bad\""
  kvl_answer "Задание вне допустимого диапазона(0-655.35%)" ".Ошибка120" 1
  kvl_expect "setpoint after \"$bad\"" "$(solo_sim_get 3 setpoint)" 37.50
done
# One setpoint window at a time.
kvl_auto menu "$main" 40062 >/dev/null || kvl_fail "could not choose Цифровой again"
kvl_answer "Окно уже есть" "Предупреждение" 1
# Enter and Esc in the entry field leave the window open; OK closes it.
kvl_auto mouseclick "$sp" 1000 >/dev/null || kvl_fail "could not click the entry field"
kvl_auto key enter >/dev/null
kvl_auto key escape >/dev/null
sleep 1
kvl_auto text "$sp" 1 >/dev/null || kvl_fail "Enter or Esc closed the setpoint window"
solo_ok "$sp" "setpoint window"

# Address: a bad one is refused, then the regulator moves to 12.
kvl_auto menu "$main" 40048 >/dev/null || kvl_fail "could not choose the connection dialog"
con=$(kvl_auto dialog "Установление связи с регулятором" 20000) || kvl_fail "no connection dialog"
kvl_wait_text "$con" 1075 "Установлена" 20
for bad in 300 x7; do
  kvl_auto settext "$con" 1169 "$bad" >/dev/null
  kvl_auto click "$con" 1087 >/dev/null || kvl_fail "could not click Изменить"
  kvl_answer "Номер сети вне допустимого диапазона(0-254)" ".Ошибка120" 1
done
kvl_expect "device list after refused addresses" "$(solo_sim_cmd list)" "OK 3"
kvl_auto settext "$con" 1169 12 >/dev/null
kvl_auto click "$con" 1087 >/dev/null || kvl_fail "could not click Изменить"
kvl_wait_text "$con" 1000 "12"
kvl_expect "device at the new address" "$(solo_sim_get 12 addr)" 12

# Memorising of the mode: "Нет", then "Запомнить " again.
kvl_auto click "$con" 1233 >/dev/null || kvl_fail "could not click Нет"
solo_sim_wait 12 rasre 0
kvl_expect "Запомнить after Нет" "$(kvl_auto state "$con" 1234 | cut -d' ' -f3)" unchecked
kvl_auto click "$con" 1234 >/dev/null || kvl_fail "could not click Запомнить"
solo_sim_wait 12 rasre 1
kvl_expect "Нет after Запомнить" "$(kvl_auto state "$con" 1233 | cut -d' ' -f3)" unchecked

# A speed the regulator cannot take: it answers with the code in force, and
# the program stays at that speed.
solo_sim_set 12 speeds=19200+38400
before=$(solo_trace | grep -c " RX ")
kvl_auto select "$con" 1231 0 >/dev/null || kvl_fail "could not choose 9600"
kvl_wait_count "$KVL_WINE_OUT/$KVL_SCENARIO-trace.txt" " RX " "$before"
kvl_wait_selection "$con" 1231 1
kvl_wait_text "$con" 1229 "1:19200"
kvl_expect "device speed after a refused speed" "$(solo_sim_get 12 speed)" 19200
solo_sim_set 12 speeds=9600+19200+38400

# Speed: 9600 for the regulator and for the program's port.
kvl_auto select "$con" 1231 0 >/dev/null || kvl_fail "could not choose 9600"
kvl_wait_text "$con" 1229 "0:9600"
kvl_expect "device speed" "$(solo_sim_get 12 speed)" 9600
kvl_expect "speed choice" "$(kvl_auto selection "$con" 1231)" 0
kvl_shot "solo_settings-connection" "$con"
solo_ok "$con" "connection dialog"
kvl_expect "KVL.dfg after OK" "$(od -An -tu1 "$dir/KVL.dfg" | xargs)" "0 12"

# Still talking: a valve command reaches the regulator at 12 and 9600 baud.
kvl_auto menu "$main" 40017 >/dev/null || kvl_fail "could not choose Открыть"
solo_sim_wait 12 valve open
solo_trace | grep "NOTE line speed switched to 9600" >/dev/null || kvl_fail "the line speed was not switched"
kvl_expect "requests the regulator did not understand" "$(solo_trace | grep -c " RX ? ")" 0

kvl_auto menu "$main" 258 >/dev/null || kvl_fail "could not choose Exit"
kvl_answer "OK to close window?" "DemoKVl" 1
kvl_wait_exit 30
solo_wait_trace "NOTE closing frame for address 12$"
solo_trace | grep "RX K 01 0D " >/dev/null || kvl_fail "the closing frame does not carry D1 = 13"
kvl_log "passed"
