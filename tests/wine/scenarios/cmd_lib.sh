#!/usr/bin/env bash
# Shared steps of the device-command scenarios: talking to the simulator on its
# control pipe and linking channel 0 through the regulator setup dialog.
# Sourced after harness.sh and kvl_regsim.

# One control command to the simulator; prints its one-line reply.
sim_cmd() {
  local out=$KVL_WINE_WORK/runs/$KVL_SCENARIO/sim.out n i
  n=$(wc -l <"$out")
  echo "$*" >&8
  for i in $(seq 1 100); do
    if [ "$(wc -l <"$out")" -gt "$n" ]; then
      sed -n "$((n + 1))p" "$out"
      return 0
    fi
    sleep 0.1
  done
  kvl_fail "regsim did not answer \"$*\""
}

# Sets device keys; the simulator must accept them.
sim_set() {
  local r
  r=$(sim_cmd set "$@")
  [[ $r == OK* ]] || kvl_fail "regsim refused \"set $*\": $r"
}

# One key of a device's state, as "get ADDR" reports it ("" when there is no
# device at that address).
sim_key() {
  local r
  r=$(sim_cmd get "$1")
  [[ $r == OK* ]] || return 0
  tr ' ' '\n' <<<"$r" | sed -n "s/^$2=//p"
}

# Waits until a device key has a value (the program's exchange may still be
# on its way when the operator's click returns).
sim_expect() {
  local addr=$1 key=$2 want=$3 limit=${4:-15} got i
  for i in $(seq 1 $((limit * 4))); do
    got=$(sim_key "$addr" "$key")
    [ "$got" = "$want" ] && return 0
    sleep 0.25
  done
  kvl_fail "device $addr $key: expected \"$want\", got \"$got\""
}

sim_trace() { echo "$KVL_WINE_OUT/$KVL_SCENARIO-trace.txt"; }

# Exchange lines (RX/TX) in the trace so far.
sim_frames() { grep -c ' [RT]X ' "$(sim_trace)"; }

# Opens the setup dialog of channel 0; prints its handle.
open_setup() {
  kvl_auto menu "$1" 40048 >/dev/null || kvl_fail "could not choose Настройка регулятора"
  kvl_auto dialog "Установление связи и настройка регулятора по каналу 0" 20000 ||
    kvl_fail "no setup dialog"
}

# In the open setup dialog: "Установить связь" must link the device.
link_in_setup() {
  kvl_auto click "$1" 1073 >/dev/null || kvl_fail "could not click Установить связь"
  kvl_wait_text "$1" 1075 "Установлена" 20
}

# Opens COM1 and links channel 0 (its address comes from KVL.icx) in the
# setup dialog, then leaves it with OK: "Вывести на экран" joins the menu bar.
link_channel0() {
  local main=$1 dlg
  dlg=$(open_setup "$main") || exit 1
  kvl_auto click "$dlg" 1156 >/dev/null || kvl_fail "could not click Открыть порт"
  kvl_wait_text "$dlg" 1158 "Порт COM1 открыт"
  link_in_setup "$dlg"
  kvl_auto click "$dlg" 1 >/dev/null
  kvl_auto gone "$dlg" 10000 >/dev/null || kvl_fail "the setup dialog stayed open"
}

# Reads the device again: the setup dialog identifies a linked channel when it
# opens; closing it with the close box keeps the configuration as it was.
relink_channel0() {
  local dlg
  dlg=$(open_setup "$1") || exit 1
  kvl_wait_text "$dlg" 1075 "Установлена" 20
  kvl_auto close "$dlg" >/dev/null
  kvl_auto gone "$dlg" 10000 >/dev/null || kvl_fail "the setup dialog stayed open"
}

open_monitor() {
  kvl_auto menu "$1" 836 >/dev/null || kvl_fail "could not choose Вывести на экран"
  kvl_auto dialog "Установка канала и контроль параметров" 20000 || kvl_fail "no monitor"
}

quit_program() {
  kvl_auto menu "$1" 258 >/dev/null || kvl_fail "could not choose Exit"
  kvl_answer "OK to close window?" "КВЛ30" 1
  kvl_wait_exit 30
}

# kvl_answer with a picture of the message box first.
# Usage: answer_shot SHOT TEXT CAPTION BUTTON-ID
answer_shot() {
  local h
  h=$(kvl_msgbox "$2" "$3") || exit 1
  kvl_shot "$1" "$h"
  kvl_auto click "$h" "$4" >/dev/null || kvl_fail "could not press button $4 of \"$2\""
  kvl_auto gone "$h" 10000 >/dev/null || kvl_fail "message box \"$2\" stayed open"
}

# The simulator with a trace of this run only (regsim appends to its trace).
cmd_regsim() {
  rm -f "$(sim_trace)"
  kvl_regsim "$@"
}

# Clicks and selections reach the program as posted messages, so what they
# change is waited for rather than read at once.
# Usage: wait_selection HANDLE ID INDEX / wait_check HANDLE ID checked|unchecked
wait_selection() {
  local got i
  for i in $(seq 1 60); do
    got=$(kvl_auto selection "$1" "$2")
    [ "$got" = "$3" ] && return 0
    sleep 0.25
  done
  kvl_fail "selection of $2: expected \"$3\", got \"$got\""
}
wait_check() {
  local got i
  for i in $(seq 1 60); do
    got=$(kvl_auto state "$1" "$2" | cut -d' ' -f3)
    [ "$got" = "$3" ] && return 0
    sleep 0.25
  done
  kvl_fail "button $2: expected \"$3\", got \"$got\""
}
