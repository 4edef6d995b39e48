#!/usr/bin/env bash
# A network program started in a folder without "KVL.icx" tells the operator
# and ends; it creates no file.
# Usage: start_without_config.sh regnet9|regnet5
here=$(cd "$(dirname "$0")/.." && pwd)
KVL_SCENARIO="start_without_config-$1"
source "$here/harness.sh"
program=$1

kvl_start
dir=$(kvl_workdir run)
kvl_launch "$(kvl_net_exe "$program")" "$dir"
h=$(kvl_msgbox "Не могу открыть файл KVL.icx в текущей директории" "Error") || exit 1
kvl_shot "$program-no-config" "$h"
kvl_auto click "$h" 1 >/dev/null || kvl_fail "could not press OK"
kvl_answer "Не читается" "Error" 1
kvl_wait_exit 30
kvl_absent find "$(kvl_net_title "$program")" TTYWndClass
[ -d "$dir" ] && [ -z "$(ls -A "$dir")" ] || kvl_fail "the program left files behind: $(ls -A "$dir")"
kvl_log "passed"
