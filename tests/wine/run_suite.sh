#!/bin/bash
# Runs a cross-built GoogleTest program under Wine, where long is 32 bits as in
# the .exe files, in a private Wine prefix.
#   run_suite.sh PREFIX_DIR TEST_EXE [GTEST ARGS...]
# Exit status: that of the test program (0 = all passed), 2 for a set-up failure.
set -u
prefix=${1:?usage: run_suite.sh PREFIX_DIR TEST_EXE [ARGS...]}
exe=${2:?usage: run_suite.sh PREFIX_DIR TEST_EXE [ARGS...]}
shift 2
here=$(cd "$(dirname "$0")" && pwd)
[ -f "$exe" ] || { echo "no $exe: build the Windows configuration first" >&2; exit 2; }
. "$here/wine_env.sh"
trap kvl_wine_stop EXIT
kvl_wine_prefix "$prefix" || exit 2
kvl_wine_server_start
kvl_wine_run "$exe" --gtest_brief=1 "$@"
