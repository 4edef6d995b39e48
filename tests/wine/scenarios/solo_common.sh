#!/usr/bin/env bash
# Shared steps of the regsolo scenarios; sourced after harness.sh.

# One control command to the simulator; prints its reply, which must be "OK...".
# Usage: solo_sim_cmd COMMAND...
solo_sim_cmd() {
  local out=$KVL_WINE_WORK/runs/$KVL_SCENARIO/sim.out before line i
  before=$(wc -l <"$out") || kvl_fail "cannot read $out"
  echo "$*" >&8
  for i in $(seq 1 100); do
    line=$(sed -n "$((before + 1))p" "$out")
    [ -n "$line" ] && break
    sleep 0.05
  done
  [[ $line == OK* ]] || kvl_fail "regsim $*: \"$line\""
  echo "$line"
}

# One value of a simulated device: solo_sim_get ADDR KEY
solo_sim_get() {
  local line
  line=$(solo_sim_cmd get "$1")
  tr ' ' '\n' <<<"$line" | sed -n "s/^$2=//p"
}

# Changes a simulated device: solo_sim_set ADDR KEY=VALUE[,...]
solo_sim_set() { solo_sim_cmd set "$1" "$2" >/dev/null; }

# Waits until a device value is VALUE: solo_sim_wait ADDR KEY VALUE [SECONDS]
solo_sim_wait() {
  local limit=${4:-10} v i
  for i in $(seq 1 $((limit * 4))); do
    v=$(solo_sim_get "$1" "$2") || exit 1
    [ "$v" = "$3" ] && return 0
    sleep 0.25
  done
  kvl_fail "device $1: $2 is \"$v\", expected \"$3\""
}

# The texts regsolo's main window drew in its last paint (the program records
# what TextOutW took): line 1 the status line, 2 the mode, 3 the valve, 4 the
# kind. Prints text LINE; returns 1 when the last paint drew fewer texts.
# Usage: _solo_drawn MAIN LINE
_solo_drawn() {
  local texts
  mapfile -t texts < <(kvl_auto painted "$1")
  [ "${#texts[@]}" -ge "$2" ] || return 1
  printf '%s\n' "${texts[$2 - 1]}"
}

# Text LINE of the status block as drawn; the block must have been drawn.
# Usage: solo_painted MAIN LINE
solo_painted() {
  _solo_drawn "$1" "$2" || kvl_fail "the main window has drawn no text $2"
}

# Waits until drawn text LINE matches GLOB (the window paints when its message
# queue is idle): solo_wait_painted MAIN LINE GLOB [SECONDS]
solo_wait_painted() {
  local limit=${4:-15} t i
  for i in $(seq 1 $((limit * 4))); do
    if t=$(_solo_drawn "$1" "$2"); then
      # shellcheck disable=SC2053
      [[ $t == $3 ]] && return 0
    else
      t="(not drawn)"
    fi
    sleep 0.25
  done
  kvl_fail "drawn text $2 is \"$t\", expected \"$3\""
}

# Trace lines of the simulator since the scenario began.
solo_trace() {
  local trace=$KVL_WINE_OUT/$KVL_SCENARIO-trace.txt
  [ -r "$trace" ] || kvl_fail "cannot read $trace"
  cat "$trace"
}

# Waits until a trace line of the simulator matches PATTERN: a frame written
# just before the program closed its port may still be on its way.
# Usage: solo_wait_trace PATTERN [SECONDS]
solo_wait_trace() {
  kvl_wait_count "$KVL_WINE_OUT/$KVL_SCENARIO-trace.txt" "$1" 0 "${2:-10}"
}

# Opens COM1 in the connection dialog and links the regulator at ADDRESS.
# Prints the dialog handle; the dialog stays open.
# Usage: solo_link MAIN ADDRESS
solo_link() {
  local con
  kvl_auto menu "$1" 40048 >/dev/null || kvl_fail "could not choose the connection dialog"
  con=$(kvl_auto dialog "Установление связи с регулятором" 20000) || kvl_fail "no connection dialog"
  if [ "$(kvl_auto text "$con" 1158)" != "Порт COM1 открыт" ] &&
    [ "$(kvl_auto text "$con" 1158)" != "Порт 1 открыт" ]; then
    kvl_auto click "$con" 1156 >/dev/null || kvl_fail "could not click Открыть порт"
    kvl_wait_text "$con" 1158 "Порт COM1 открыт"
  fi
  kvl_auto settext "$con" 1000 "$2" >/dev/null
  kvl_auto click "$con" 1073 >/dev/null || kvl_fail "could not click Установить связь"
  kvl_wait_text "$con" 1075 "Установлена" 20
  echo "$con"
}

# Closes a dialog with OK and waits until it is gone: solo_ok HANDLE WHAT
solo_ok() {
  kvl_auto click "$1" 1 >/dev/null || kvl_fail "could not click OK of the $2"
  kvl_auto gone "$1" 10000 >/dev/null || kvl_fail "the $2 stayed open"
}

# The simulator with a fresh trace (regsim appends to an existing file, and a
# check must not find what an earlier run left there). Usage: solo_regsim REGSIM ARGS...
solo_regsim() {
  rm -f "$KVL_WINE_OUT/$KVL_SCENARIO-trace.txt"
  kvl_regsim "$@"
}

# Like kvl_answer, with a picture of the box first: solo_answer_shot TEXT CAPTION ID NAME
solo_answer_shot() {
  local h
  h=$(kvl_msgbox "$1" "$2") || exit 1
  kvl_shot "$4" "$h"
  kvl_auto click "$h" "$3" >/dev/null || kvl_fail "could not press button $3 of \"$1\""
  kvl_auto gone "$h" 10000 >/dev/null || kvl_fail "message box \"$1\" stayed open"
}
