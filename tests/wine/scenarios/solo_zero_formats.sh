#!/usr/bin/env bash
# regsolo's zero offset on regulators of format 5, 6 and 7 on one line: format 5
# gets the output-only dialog and a zero written with code 35; format 6 reads
# and writes its offset with code 45, format 7 with code 35, in the dialog with
# the offset field. An offset that does not fit two bytes is refused. A ВПЗ is
# zeroed without the gas question.
# Usage: solo_zero_formats.sh REGSIM
here=$(cd "$(dirname "$0")/.." && pwd)
KVL_SCENARIO="solo_zero_formats"
source "$here/harness.sh"
source "$here/scenarios/solo_common.sh"
regsim=${1:?usage: solo_zero_formats.sh REGSIM}
exe=${KVL_EXE:-regsolo.exe}

kvl_start
# Free valves as regsolo reads them: 0x06 in the older layout, 0x42 in the newer.
solo_regsim "$regsim" \
  --dev addr=5,format=5,status6=0x06,regulate=0,flow=12.5,offset=500 \
  --dev addr=6,format=6,status6=0x42,regulate=0,flow=0,offset=600 \
  --dev addr=7,format=7,status6=0x42,regulate=0,flow=-3,offset=700
kvl_map_com 1 "$KVL_PTY"

dir=$(kvl_workdir run)
printf '\000\005' >"$dir/KVL.dfg"
kvl_launch "$exe" "$dir"
main=$(kvl_main "ViriREVO7") || exit 1

# Opens the zero dialog of the linked regulator, answering the gas question
# when one is asked; prints the dialog handle.
open_zero() { # ASK(yes|no)
  kvl_auto menu "$main" 40035 >/dev/null || kvl_fail "could not choose Установка '0'"
  if [ "$1" = yes ]; then
    kvl_answer "Операция проводится при нуле расходе на эталоне.Продолжить?" \
      "ВНИМАНИЕ!!! ВЫКЛЮЧИТЕ ГАЗ" 6
  fi
  kvl_auto dialog "Установка нуля" 20000 || kvl_fail "no zero-offset dialog"
}
has_offset_field() { kvl_auto texts "$1" | cut -f1 | grep -x 1000 >/dev/null && echo yes || echo no; }
# Zero-offset requests (codes 35 = 0x23 and 45 = 0x2D) to ADDRESS in the trace.
# Shows bytes 0..7 of each (the sum is left out).
zero_requests() {
  solo_trace | grep -E "RX K (23|2D)( [0-9A-F]{2}){6} 0$1 " | cut -d' ' -f4-11 | sed 's/$/ /'
}

# Format 5: output only; "Кнопка '0'" writes offset 0 with code 35.
con=$(solo_link "$main" 5) || exit 1
solo_ok "$con" "connection dialog"
zero=$(open_zero yes) || exit 1
kvl_wait_text "$zero" 1044 "+12.5%"
kvl_expect "offset field of format 5" "$(has_offset_field "$zero")" no
kvl_shot "solo_zero-output-only" "$zero"
kvl_auto click "$zero" 1038 >/dev/null || kvl_fail "could not click Кнопка '0'"
solo_sim_wait 5 offset 0
solo_ok "$zero" "zero-offset dialog"
kvl_expect "zero requests of format 5" "$(zero_requests 5 | tr '\n' '|')" \
  "23 FF 00 00 00 00 FF 05 |23 FF 00 1C 00 00 00 05 |"

# Format 6: code 45 both ways.
con=$(solo_link "$main" 6) || exit 1
solo_ok "$con" "connection dialog"
zero=$(open_zero yes) || exit 1
kvl_expect "offset field of format 6" "$(has_offset_field "$zero")" yes
kvl_wait_text "$zero" 1000 "600"
kvl_wait_text "$zero" 1044 "+0.0%"
kvl_auto settext "$zero" 1000 1500 >/dev/null
kvl_auto click "$zero" 1038 >/dev/null || kvl_fail "could not click Кнопка '0'"
solo_sim_wait 6 offset 1500
solo_ok "$zero" "zero-offset dialog"
kvl_expect "zero requests of format 6" "$(zero_requests 6 | tr '\n' '|')" \
  "2D FF 00 00 00 00 FF 06 |2D FF 00 1C 05 DC 00 06 |"

# Format 7: code 35 both ways; 70000 does not fit and is refused.
con=$(solo_link "$main" 7) || exit 1
solo_ok "$con" "connection dialog"
zero=$(open_zero yes) || exit 1
kvl_wait_text "$zero" 1000 "700"
kvl_wait_text "$zero" 1044 "-3.0%"
kvl_auto settext "$zero" 1000 70000 >/dev/null
kvl_auto click "$zero" 1038 >/dev/null || kvl_fail "could not click Кнопка '0'"
kvl_answer "Смещение вне допустимого диапазона(0-65535)" ".Ошибка120" 1
kvl_expect "offset after a refused value" "$(solo_sim_get 7 offset)" 700
kvl_auto settext "$zero" 1000 65535 >/dev/null
kvl_auto click "$zero" 1038 >/dev/null || kvl_fail "could not click Кнопка '0'"
solo_sim_wait 7 offset 65535
solo_ok "$zero" "zero-offset dialog"
kvl_expect "zero requests of format 7" "$(zero_requests 7 | tr '\n' '|')" \
  "23 FF 00 00 00 00 FF 07 |23 FF 00 1C FF FF 00 07 |"

# As a ВПЗ it is zeroed without the question, and the requests say so (D1 = 0).
kvl_auto menu "$main" 40081 >/dev/null || kvl_fail "could not choose ВПЗ"
solo_sim_wait 7 kind pressure
zero=$(open_zero no) || exit 1
kvl_wait_text "$zero" 1000 "65535"
solo_ok "$zero" "zero-offset dialog"
last=$(zero_requests 7 | tail -n 1)
[[ $last == "23 00 00 00 "*" 07 " ]] ||
  kvl_fail "last zero request of the ВПЗ: expected a read with D1 = 0 (23 00 00 00 .. 07), got \"$last\""

# No format got the other code.
kvl_expect "zero requests to other addresses" \
  "$(solo_trace | grep -cE "RX K (23|2D) " )" 7

kvl_auto menu "$main" 258 >/dev/null || kvl_fail "could not choose Exit"
kvl_answer "OK to close window?" "DemoKVl" 1
kvl_wait_exit 30
kvl_log "passed"
