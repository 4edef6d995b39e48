#!/usr/bin/env bash
# regsolo started with "/csv later\values.csv": the folder is not there yet, so
# the first poll tells once that the file cannot be written and polling goes
# on; once the folder exists every poll becomes a row, a silent regulator a
# row saying so.
# Usage: solo_csv.sh REGSIM
here=$(cd "$(dirname "$0")/.." && pwd)
KVL_SCENARIO="solo_csv"
source "$here/harness.sh"
source "$here/scenarios/solo_common.sh"
regsim=${1:?usage: solo_csv.sh REGSIM}
exe=${KVL_EXE:-regsolo.exe}

kvl_start
solo_regsim "$regsim" --dev addr=4,serial=3104,format=7,status6=0x42,regulate=0,setpoint=40,flow=30
kvl_map_com 1 "$KVL_PTY"

dir=$(kvl_workdir run)
printf '\000\004' >"$dir/KVL.dfg"
kvl_launch "$exe" "$dir" /csv 'later\values.csv'
main=$(kvl_main "ViriREVO7") || exit 1
con=$(solo_link "$main" 4) || exit 1
solo_ok "$con" "connection dialog"
kvl_auto menu "$main" 40078 >/dev/null || kvl_fail "could not choose Вывести на экран"
kvl_answer 'Не могу записать файл later\values.csv' "Error" 1

# Polling went on under and after the message, and no second one comes.
date_glob='[A-Z][a-z][a-z] [ 0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]'
solo_wait_painted "$main" 1 " Задание: 40.0%; Расход: +30.0%; Дата: $date_glob" 20
mkdir -p "$dir/later"
csv=$dir/later/values.csv
for _ in $(seq 1 60); do
  [ -f "$csv" ] && [ "$(wc -l <"$csv")" -ge 4 ] && break
  sleep 0.25
done
kvl_absent msgbox 500  # no second message
solo_sim_set 4 silent=1
for _ in $(seq 1 60); do
  grep -q ',silent$' "$csv" && break
  sleep 0.25
done
python3 - "$csv" <<'PY' || kvl_fail "values.csv: $(cat "$csv")"
import csv, sys
rows = list(csv.DictReader(open(sys.argv[1])))
answered = [r for r in rows if r["status"] == "answered"]
assert len(answered) >= 3, rows
for r in answered:
    assert (r["address"], r["serial"], r["setpoint"], r["flow"]) == ("4", "3104", "40.00", "30.00"), r
assert rows[-1]["status"] == "silent" and rows[-1]["setpoint"] == "" and rows[-1]["serial"] == "3104", rows[-1]
PY
kvl_absent msgbox 500  # no message for the silent regulator

kvl_auto menu "$main" 258 >/dev/null || kvl_fail "could not choose Exit"
kvl_answer "OK to close window?" "DemoKVl" 1
kvl_wait_exit 30
kvl_log "passed"
