#!/usr/bin/env bash
# Runs a fuzz target for a chosen time:
#
#   tools/fuzz.sh TARGET SECONDS [libFuzzer options...]
#
# TARGET is `statements` (scripts run through the statement loop) or
# `matfile` (the MAT-file reader). Builds build-fuzz/ with clang first. The
# fuzzer starts from the target's seeds (the script cases, examples and
# tutorials, or the MAT-file fixtures, and the inputs in
# tests/fuzz/corpus/TARGET/) and keeps what it
# finds in build-fuzz/fuzz-runs/TARGET/corpus/, which later runs go on from.
# An input that crashes the target is written to
# build-fuzz/fuzz-runs/TARGET/artifacts/; once it is understood, put it (or a
# smaller one that crashes the same way) into tests/fuzz/corpus/TARGET/, where
# ./test.sh runs it from then on. The run uses one core; give -fork=N (with
# -ignore_crashes=1 to go on after a crash) to use N.
set -euo pipefail
VARNEL_ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$VARNEL_ROOT/tools/deps.sh"

if [ $# -lt 2 ] || { [ "$1" != statements ] && [ "$1" != matfile ]; }; then
  echo "usage: $0 statements|matfile SECONDS [libFuzzer options...]" >&2
  exit 2
fi
target=$1
seconds=$2
shift 2

varnel_have_libfuzzer || { echo "clang with libFuzzer is not installed" >&2; exit 1; }
varnel_build_fuzz

work="$VARNEL_ROOT/build-fuzz/fuzz-runs/$target"
seeds="$work/seeds"
mkdir -p "$work/corpus" "$work/artifacts" "$seeds"
options=()
if [ "$target" = statements ]; then
  for script in "$VARNEL_ROOT"/tests/golden/*/*.lmi; do
    topic=$(basename "$(dirname "$script")")
    cp "$script" "$seeds/$topic-$(basename "$script")"
  done
  cp "$VARNEL_ROOT"/examples/*.lmi "$VARNEL_ROOT"/TUTORIAL/*.lmi "$seeds/"
  options+=(-dict="$VARNEL_ROOT/tests/fuzz/statements.dict")
else
  cp "$VARNEL_ROOT/tests/golden/matfile/sample.mat" "$VARNEL_ROOT/tests/golden/matfile/unusable.mat" "$seeds/"
fi

# The target's kept inputs, when there are any: those of earlier crashes,
# and for matfile the fixtures of every format.
corpora=("$work/corpus" "$seeds")
[ -d "$VARNEL_ROOT/tests/fuzz/corpus/$target" ] && corpora+=("$VARNEL_ROOT/tests/fuzz/corpus/$target")

"$VARNEL_ROOT/build-fuzz/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 \
  -artifact_prefix="$work/artifacts/" ${options[@]+"${options[@]}"} "$@" "${corpora[@]}"
