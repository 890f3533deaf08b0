#!/usr/bin/env bash
# Installs what is missing, builds in Release and runs varnel.
#   ./run.sh               runs the shipped example script
#   ./run.sh script.lmi    runs that script
#   ./run.sh --prompt      starts the interactive prompt
set -euo pipefail
VARNEL_ROOT=$(cd "$(dirname "$0")" && pwd)
. "$VARNEL_ROOT/tools/deps.sh"
varnel_install_deps
varnel_build build -DCMAKE_BUILD_TYPE=Release >/dev/null

program="$VARNEL_ROOT/build/interpreter/varnel"
export VARNEL_PATH="${VARNEL_PATH:-$VARNEL_ROOT}"
if [ ! -x "$program" ]; then
  # Until the interpreter exists, run the foundation's own checks instead.
  exec ctest --test-dir "$VARNEL_ROOT/build" -R '^(GenMatrix|SharedArray|Factor)' --output-on-failure
fi
case "${1:-}" in
  "") exec "$program" "$VARNEL_ROOT/examples/lyapunov.lmi" ;;
  --prompt) exec "$program" ;;
  *) exec "$program" "$@" ;;
esac
