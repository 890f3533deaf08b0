#!/usr/bin/env bash
# Runs one script case: run_case.sh VARNEL CASE_DIR/NAME.lmi
#
# From within the case's folder, with VARNEL_PATH unset and stdin from
# /dev/null, runs `VARNEL NAME.lmi` (or `VARNEL ARG` when NAME.args holds the
# argument ARG) and compares the whole standard output with NAME.out, byte
# for byte, and the exit status with NAME.status (0 when that file is absent).
# NAME.env, when present, holds VAR=value lines set for the run; a relative
# path in them (such as VARNEL_PATH=../../..) counts from the case's folder.
# NAME.scratch, when present, makes the program run in a fresh, empty
# temporary folder holding only a copy of NAME.lmi (for listings of the
# working directory); the folder is removed afterwards.
set -u
if [ $# -ne 2 ]; then
  echo "usage: $0 VARNEL CASE.lmi" >&2
  exit 2
fi
program=$1
case_dir=$(dirname "$2")
name=$(basename "$2" .lmi)
cd "$case_dir" || exit 2

argument="$name.lmi"
[ -f "$name.args" ] && argument=$(<"$name.args")
expected_status=0
[ -f "$name.status" ] && expected_status=$(<"$name.status")
settings=()
[ -f "$name.env" ] && mapfile -t settings <"$name.env"

actual=$(mktemp)
run_dir=.
trap 'rm -f "$actual"; [ "$run_dir" = . ] || rm -rf "$run_dir"' EXIT
if [ -f "$name.scratch" ]; then
  run_dir=$(mktemp -d) && cp "$name.lmi" "$run_dir/" || exit 2
fi
(cd "$run_dir" && env -u VARNEL_PATH ${settings[@]+"${settings[@]}"} "$program" "$argument" </dev/null >"$actual")
status=$?

failed=0
if ! cmp -s "$name.out" "$actual"; then
  echo "standard output differs from $name.out (- expected, + actual):"
  diff -u --label "$name.out" --label "actual output" "$name.out" "$actual"
  failed=1
fi
if [ "$status" != "$expected_status" ]; then
  echo "exit status $status, expected $expected_status"
  failed=1
fi
exit $failed
