#!/usr/bin/env bash
# A network program started with its "KVL.icx": the main window, its start-up
# menu state, the exchange log list shown and hidden from the menu, the text
# page's scroll bars, then the close question answered Cancel (the program
# stays) and, through "Exit", OK (the program ends, the file is untouched).
# Usage: close_sequence.sh regnet9|regnet5
here=$(cd "$(dirname "$0")/.." && pwd)
KVL_SCENARIO="close_sequence-$1"
source "$here/harness.sh"
program=$1
title=$(kvl_net_title "$program")

kvl_start
dir=$(kvl_workdir run)
kvl_write_icx "$dir" "$program" 0 3 5 7
cp "$dir/KVL.icx" "$dir/KVL.icx.orig"
kvl_launch "$(kvl_net_exe "$program")" "$dir"
main=$(kvl_main "$title") || exit 1
kvl_expect "title" "$(kvl_auto text "$main" 0)" "$title"

expect_menu() {  # state id...
  local state=$1 id
  shift
  for id in "$@"; do
    kvl_expect "menu item $id" "$(kvl_auto menustate "$main" "$id")" "$state"
  done
}
expect_menu grayed 40080 40081 40017 40018 40076 40058 40062 40037
expect_menu enabled 40057 258 40048 40082 40083 40084 260
if [ "$program" = regnet5 ]; then
  expect_menu grayed 40035 40019 262
else
  expect_menu enabled 40035
  expect_menu absent 40019 262
fi
expect_menu absent 836
kvl_expect "menu bar" "$(kvl_auto menubar "$main" | tr '\n' ' ')" \
  "popup popup popup popup 40035 40020 popup popup "

# The text page is 96 columns wide: a 560-pixel window shows the horizontal bar
# only; both thumbs stay at 0.
read -r hmax vmax hpos vpos <<<"$(kvl_auto scroll "$main")"
[ "$hmax" -gt 0 ] || kvl_fail "no horizontal scroll range ($hmax)"
kvl_expect "vertical scroll range" "$vmax" 0
kvl_expect "scroll positions" "$hpos $vpos" "0 0"

# The exchange log list lies in the lower right of the client area as it was
# when the window was created, before the horizontal scroll bar took its
# share: 330 pixels from the right edge, 250 high, as wide as the client area
# (the rest is clipped); it does not follow later size changes.
read -r cx cy cw ch <<<"$(kvl_auto client "$main")"
bar=$(kvl_auto hscroll)
kvl_expect "log list placement" "$(kvl_auto rect "$main" 10001)" \
  "$((cx + cw - 330)) $((cy + ch + bar - 250)) $cw 250"
list_offset() {
  local x y w h lx ly lw lh
  read -r x y w h <<<"$(kvl_auto client "$main")"
  read -r lx ly lw lh <<<"$(kvl_auto rect "$main" 10001)"
  echo "$((lx - x)) $((ly - y)) $lw $lh"
}
offset=$(list_offset)

# The mouse reaches the program: dragging the caption moves the window...
read -r x y w h <<<"$(kvl_auto rect "$main")"
kvl_auto drag $((x + 200)) $((y + 10)) $((x + 260)) $((y + 50)) >/dev/null
read -r x2 y2 _ <<<"$(kvl_auto rect "$main")"
kvl_expect "window moved by the mouse" "$((x2 - x)) $((y2 - y))" "60 40"
# ... and dragging the horizontal thumb to the right leaves it at 0.
kvl_auto drag $((x2 + 30)) $((y2 + h - 12)) $((x2 + 250)) $((y2 + h - 12)) >/dev/null
kvl_expect "scroll after dragging the thumb" "$(kvl_auto scroll "$main")" "$hmax 0 0 0"
# The bars follow the size: none when the page fits, only the direction that
# does not fit otherwise.
kvl_auto resize "$main" 800 600 >/dev/null
kvl_expect "scroll of a large window" "$(kvl_auto scroll "$main")" "0 0 0 0"
kvl_auto resize "$main" 800 250 >/dev/null
read -r hmax vmax _ <<<"$(kvl_auto scroll "$main")"
[ "$hmax" = 0 ] && [ "$vmax" -gt 0 ] || kvl_fail "a low window: scroll ranges $hmax $vmax"
kvl_auto resize "$main" 400 600 >/dev/null
read -r hmax vmax _ <<<"$(kvl_auto scroll "$main")"
[ "$hmax" -gt 0 ] && [ "$vmax" = 0 ] || kvl_fail "a narrow window: scroll ranges $hmax $vmax"
kvl_auto resize "$main" 560 400 >/dev/null
kvl_auto resize "$main" 900 700 >/dev/null
kvl_expect "log list after resizing" "$(list_offset)" "$offset"
kvl_auto resize "$main" 560 400 >/dev/null

# The exchange log list: hidden at start, shown by "ВКЛ.", hidden by "ВЫКЛ.".
kvl_expect "log list at start" "$(kvl_auto state "$main" 10001 | cut -d' ' -f1)" hidden
kvl_auto menu "$main" 40057 >/dev/null || kvl_fail "could not choose ВКЛ."
sleep 0.5
kvl_expect "log list after ВКЛ." "$(kvl_auto state "$main" 10001 | cut -d' ' -f1)" visible
expect_menu grayed 40057
expect_menu enabled 40058
kvl_shot "$program-main" "$main"
kvl_auto menu "$main" 40058 >/dev/null || kvl_fail "could not choose ВЫКЛ."
sleep 0.5
kvl_expect "log list after ВЫКЛ." "$(kvl_auto state "$main" 10001 | cut -d' ' -f1)" hidden

# Close box, answered Cancel: the program stays.
kvl_auto close "$main" >/dev/null
h=$(kvl_msgbox "OK to close window?" "КВЛ30") || exit 1
kvl_shot "$program-close-question" "$h"
kvl_auto click "$h" 2 >/dev/null || kvl_fail "could not press Cancel"
kvl_auto gone "$h" 10000 >/dev/null || kvl_fail "the question stayed open"
sleep 1
kvl_running || kvl_fail "the program ended after Cancel"
kvl_expect "window after Cancel" "$(kvl_auto find "$title" TTYWndClass 0)" "$main"

# "Exit", answered OK: the program ends and leaves the file as it was.
kvl_auto menu "$main" 258 >/dev/null || kvl_fail "could not choose Exit"
kvl_answer "OK to close window?" "КВЛ30" 1
kvl_wait_exit 30
cmp -s "$dir/KVL.icx" "$dir/KVL.icx.orig" || kvl_fail "KVL.icx changed on exit"
kvl_log "passed"
