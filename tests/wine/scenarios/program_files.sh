#!/usr/bin/env bash
# What Windows shows of the three program files, read with the Win32 calls
# under Wine by resource_check.exe: the version resource, the manifest and
# string 784.
here=$(cd "$(dirname "$0")/.." && pwd)
KVL_SCENARIO="program_files"
source "$here/harness.sh"

kvl_start
exe=$(kvl_exe resource_check.exe) || exit 1
programs=$(dirname "$(kvl_exe regnet9.exe)") || exit 1
out=$(wine "$exe" "$(winepath -w "$programs")" 2>"$KVL_WINE_OUT/program_files.err")
rc=$?
printf '%s\n' "$out"
[ "$rc" -eq 0 ] || kvl_fail "resource_check.exe: exit status $rc"
grep -q "^[0-9]* passed, 0 failed" <<<"$out" || kvl_fail "no summary line from resource_check.exe"
kvl_log "passed"
