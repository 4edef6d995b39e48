#!/usr/bin/env bash
# The About box, one for the three programs: its texts for the program, bitmap
# 500 painted at 10,10, modal (the main window takes no commands meanwhile);
# the close box and Esc do nothing, OK and Enter close it.
# Usage: about_box.sh regnet9|regnet5|regsolo
here=$(cd "$(dirname "$0")/.." && pwd)
KVL_SCENARIO="about_box-$1"
source "$here/harness.sh"
program=$1
net_texts() {
  printf '%s\n' "Программа для настройки  КВЛ30" "и работы  сети" "$1" \
    "OC WIN 98,WIN2000,WIN XP" "Проверена с USB Com-портом,ВПЗ"
}
closing=("OK to close window?" "КВЛ30")
case $program in
  regnet9) expected=$(net_texts "Версия09.09.2016") ;;
  regnet5) expected=$(net_texts "Версия 10.11.2009") ;;
  regsolo)
    expected="Программа для настройки  КВЛ30
Версия 07.04.2014
OC WIN2000,WIN XP
Проверена с USB Com-портом,ВПЗ"
    closing=("OK to close window?" "DemoKVl")
    ;;
esac

kvl_start
dir=$(kvl_workdir run)
if [ "$program" = regsolo ]; then
  printf '\000\001' >"$dir/KVL.dfg"
  kvl_launch "${KVL_EXE:-regsolo.exe}" "$dir"
  main=$(kvl_main "ViriREVO7") || exit 1
else
  kvl_write_icx "$dir" "$program" 0
  kvl_launch "$(kvl_net_exe "$program")" "$dir"
  main=$(kvl_main "$(kvl_net_title "$program")") || exit 1
fi
kvl_auto menu "$main" 260 >/dev/null || kvl_fail "could not choose About"
about=$(kvl_auto dialog "Abaut" 20000) || kvl_fail "no About box"

texts=$(kvl_auto texts "$about" | cut -f3 | head -"$(echo "$expected" | wc -l)")
kvl_expect "About texts" "$texts" "$expected"
kvl_expect "OK button" "$(kvl_auto text "$about" 1)" "OK"

# Bitmap 500 at 10,10: its bottom band is navy, its flow arrow yellow.
sleep 0.5
kvl_expect "bitmap pixel (0,60)" "$(kvl_auto pixel "$about" 10 70)" "0 0 128"
kvl_expect "bitmap pixel (8,40)" "$(kvl_auto pixel "$about" 18 50)" "255 255 0"
kvl_shot "$program-about" "$about"

# Modal: the main window refuses menu commands while the box is open.
kvl_refused "window is disabled*" menu "$main" 260
# The close box is not acted on.
kvl_auto close "$about" >/dev/null
sleep 1
kvl_auto text "$about" 1 >/dev/null || kvl_fail "the close box closed the About box"
# A click on OK closes it.
kvl_auto mouseclick "$about" 1 >/dev/null || kvl_fail "could not click OK"
kvl_auto gone "$about" 10000 >/dev/null || kvl_fail "OK clicked with the mouse did not close the About box"

# Again from the menu: Esc leaves it open, Enter (the default button) closes it.
kvl_auto menu "$main" 260 >/dev/null || kvl_fail "could not choose About again"
about=$(kvl_auto dialog "Abaut" 20000) || kvl_fail "no About box the second time"
sleep 0.5
kvl_auto key escape >/dev/null
sleep 1
kvl_auto text "$about" 1 >/dev/null || kvl_fail "Esc closed the About box"
kvl_auto key enter >/dev/null
kvl_auto gone "$about" 10000 >/dev/null || kvl_fail "Enter did not close the About box"

kvl_auto menu "$main" 258 >/dev/null || kvl_fail "could not choose Exit"
kvl_answer "${closing[0]}" "${closing[1]}" 1
kvl_wait_exit 30
kvl_log "passed"
