#!/bin/sh
# Runs a Windows test program under wine in the build tree's own prefix.
# Usage: wine-run.sh PREFIX PROGRAM [ARGS...]
prefix=$1; shift
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$prefix"
  # Parallel tests must not set up the same prefix twice.
  flock "$prefix.lock" sh -c '[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1; wineserver -w'
fi
# Debian's wineserver quits with its last program, and every program then
# starts wine's services anew (about a second each); one server that
# outlives a program by a few seconds serves a whole test run.  Its
# services start here, apart from the program's output: they would hold a
# test's pipe open, and the test would wait for them to end.
if wineserver -p5 </dev/null >/dev/null 2>&1; then
  wineboot </dev/null >/dev/null 2>&1 || true
fi
exec wine "$@"
