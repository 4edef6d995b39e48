#!/usr/bin/env bash
# scripts/package.sh on the Windows build: the zip holds the three programs as
# built, each network program with an all-zero KVL.icx of its size in a folder
# of its own, regsolo with its sample KVL.dfg, and the how-to-start text in
# both languages, and nothing else.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
: "${KVL_WIN_BUILD_DIR:?KVL_WIN_BUILD_DIR names the Windows build}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "package_check: $*" >&2
  exit 1
}

KVL_NO_BUILD=1 "$root/scripts/package.sh" "$work/release.zip" >/dev/null
mkdir "$work/x"
unzip -q "$work/release.zip" -d "$work/x"
files=$(cd "$work/x" && find . -type f | sort | tr '\n' ' ')
want="./START.txt ./regnet5/KVL.icx ./regnet5/regnet5.exe ./regnet9/KVL.icx ./regnet9/regnet9.exe ./regsolo/KVL.dfg ./regsolo/regsolo.exe "
[ "$files" = "$want" ] || fail "files: $files"
for p in regnet9 regnet5 regsolo; do
  cmp -s "$work/x/$p/$p.exe" "$KVL_WIN_BUILD_DIR/windows/$p.exe" || fail "$p.exe is not the one built"
done
[ "$(od -An -tx1 -v "$work/x/regnet9/KVL.icx" | tr -d ' \n' | tr -d 0 | wc -c)" = 0 ] &&
  [ "$(stat -c %s "$work/x/regnet9/KVL.icx")" = 704 ] || fail "regnet9/KVL.icx is not 704 zero bytes"
[ "$(od -An -tx1 -v "$work/x/regnet5/KVL.icx" | tr -d ' \n' | tr -d 0 | wc -c)" = 0 ] &&
  [ "$(stat -c %s "$work/x/regnet5/KVL.icx")" = 280 ] || fail "regnet5/KVL.icx is not 280 zero bytes"
[ "$(od -An -tx1 "$work/x/regsolo/KVL.dfg" | tr -d ' \n')" = 0001 ] || fail "KVL.dfg is not COM1, address 1"
grep -q "КАК НАЧАТЬ" "$work/x/START.txt" || fail "START.txt has no Russian part"
grep -q "HOW TO START" "$work/x/START.txt" || fail "START.txt has no English part"
echo "package_check: passed"
