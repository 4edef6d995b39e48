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

# The state of the device at ADDR, as "get ADDR" reports it (key=value ...).
# Returns 1, printing nothing, when the simulator says there is no device
# there; any other reply fails the scenario.
sim_state() {
  local r
  r=$(sim_cmd get "$1")
  case $r in
    OK\ *) echo "${r#OK }" ;;
    "ERR no device at address $1") return 1 ;;
    *) kvl_fail "regsim get $1: \"$r\"" ;;
  esac
}

# One key of the device at ADDR, which must be there.
sim_key() {
  local s
  s=$(sim_state "$1") || kvl_fail "no device at address $1"
  tr ' ' '\n' <<<"$s" | sed -n "s/^$2=//p"
}

# The simulator reports no device at ADDR.
sim_absent() {
  if sim_state "$1" >/dev/null; then
    kvl_fail "a device is still at address $1"
  fi
}

# Waits until a device key has a value (the program's exchange may still be
# on its way when the operator's click returns; a device that is moving to
# this address may not be there yet).
sim_expect() {
  local addr=$1 key=$2 want=$3 limit=${4:-15} got s i
  for i in $(seq 1 $((limit * 4))); do
    got=""
    if s=$(sim_state "$addr"); then
      got=$(tr ' ' '\n' <<<"$s" | sed -n "s/^$key=//p")
    fi
    [ "$got" = "$want" ] && return 0
    sleep 0.25
  done
  kvl_fail "device $addr $key: expected \"$want\", got \"$got\""
}

sim_trace() { echo "$KVL_WINE_OUT/$KVL_SCENARIO-trace.txt"; }

# Exchange lines (RX/TX) in the trace so far.
sim_frames() { kvl_count "$(sim_trace)" ' [RT]X '; }

# Waits until the simulator has received more requests than BEFORE (a count
# from sim_requests). Usage: sim_wait_requests BEFORE
sim_requests() { kvl_count "$(sim_trace)" ' RX '; }
sim_wait_requests() { kvl_wait_count "$(sim_trace)" ' RX ' "$1"; }

# Lines of the trace so far: a mark for the checks below.
sim_mark() { kvl_count "$(sim_trace)" ''; }

# No frame of the maker's protocol in the trace after line MARK.
sim_no_kormast_since() {
  local n
  [ -r "$(sim_trace)" ] || kvl_fail "cannot read $(sim_trace)"
  n=$(tail -n +"$(($1 + 1))" "$(sim_trace)" | grep -c " RX K ")
  [ "$n" = 0 ] || kvl_fail "$n frames of the maker's protocol went out in Modbus mode"
}

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

# Waits for what a posted click or selection changes (see harness.sh).
wait_selection() { kvl_wait_selection "$@"; }
wait_check() { kvl_wait_check "$@"; }
