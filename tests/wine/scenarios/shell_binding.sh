#!/usr/bin/env bash
# Runs shell_check.exe (the Win32 binding of the view seam against real
# dialogs) under Wine on a private display.
here=$(cd "$(dirname "$0")/.." && pwd)
KVL_SCENARIO="shell_binding"
source "$here/harness.sh"

kvl_start
exe=$(kvl_exe shell_check.exe) || exit 1
dir=$(kvl_workdir run)
out=$(cd "$dir" && wine "$exe" 2>"$KVL_WINE_OUT/shell_binding.err")
rc=$?
printf '%s\n' "$out"
[ "$rc" -eq 0 ] || kvl_fail "shell_check.exe: exit status $rc"
grep -q "^[0-9]* passed, 0 failed" <<<"$out" || kvl_fail "no summary line from shell_check.exe"
