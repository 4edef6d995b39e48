#!/usr/bin/env bash
# regctl.exe, the Windows build of regctl, under Wine against the simulator on
# COM1: it lists the port, scans the line in both protocols and finds exactly
# the two regulators there, and polls one to a CSV file.
# Usage: regctl_exe.sh REGSIM
here=$(cd "$(dirname "$0")/.." && pwd)
KVL_SCENARIO="regctl_exe"
source "$here/harness.sh"
regsim=${1:?usage: regctl_exe.sh REGSIM}
exe=$KVL_WIN_BUILD_DIR/regctl/regctl.exe
[ -f "$exe" ] || kvl_fail "no $exe: build the Windows configuration first"

kvl_start
kvl_regsim "$regsim" --dev addr=3,serial=3103,protocols=kormast,regulate=0,setpoint=40,flow=25.5 \
  --dev addr=9,kind=pressure,serial=3209,protocols=modbus
kvl_map_com 1 "$KVL_PTY"
dir=$(kvl_workdir run)
cd "$dir" || kvl_fail "no run folder"

regctl() { wine "$exe" "$@" 2>>"$KVL_WINE_OUT/$KVL_SCENARIO-regctl.err"; }

out=$(regctl ports --json) || kvl_fail "ports failed: $out"
python3 -c 'import json,sys; ports=[p["name"] for p in json.loads(sys.argv[1])]; sys.exit(0 if "COM1" in ports else 1)' "$out" ||
  kvl_fail "COM1 not among the ports: $out"

out=$(regctl scan COM1 --protocol both --to 12 --attempt-ms 150 --json) || kvl_fail "scan failed: $out"
found=$(python3 -c 'import json,sys; print(" ".join("%d:%s:%s:%d" % (f["address"], f["protocol"], f["kind"], f["serial"]) for f in json.loads(sys.argv[1])["found"]))' "$out") ||
  kvl_fail "scan output is not JSON: $out"
kvl_expect "regulators found" "$found" "3:kormast:flow:3103 9:modbus:pressure:3209"

regctl poll COM1 3 --interval 300ms --duration 2s --csv 'values.csv' >/dev/null ||
  kvl_fail "poll failed: $(cat "$KVL_WINE_OUT/$KVL_SCENARIO-regctl.err")"
[ -f values.csv ] || kvl_fail "no values.csv written"
python3 - values.csv <<'PY' || kvl_fail "values.csv: $(cat values.csv)"
import csv, sys
rows = list(csv.DictReader(open(sys.argv[1])))
assert len(rows) >= 5, rows
for r in rows:
    assert (r["address"], r["serial"], r["setpoint"], r["flow"], r["status"]) == \
        ("3", "3103", "40.00", "25.50", "answered"), r
    assert len(r["time"]) == 29 and r["time"][10] == "T", r["time"]
PY

regctl info COM7 3 >/dev/null
kvl_expect "exit code of a port that is not there" "$?" 3
kvl_log "passed"
