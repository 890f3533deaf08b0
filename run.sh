#!/usr/bin/env bash
# Installs what is missing, builds the program in Release (without the tests,
# so neither GoogleTest nor SciPy is needed) and runs varnel.
#   ./run.sh               runs the shipped example script, a Lyapunov
#                          function found with `feas`
#   ./run.sh script.lmi    runs that script
#   ./run.sh --prompt      starts the interactive prompt
set -euo pipefail
VARNEL_ROOT=$(cd "$(dirname "$0")" && pwd)
. "$VARNEL_ROOT/tools/deps.sh"
varnel_install_deps
varnel_build build -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF

program="$VARNEL_ROOT/build/interpreter/varnel"
export VARNEL_PATH="${VARNEL_PATH:-$VARNEL_ROOT}"
example="$VARNEL_ROOT/examples/lyapunov.lmi"
case "${1:-}" in
  "") exec "$program" "$example" ;;
  --prompt) exec "$program" ;;
  *) exec "$program" "$@" ;;
esac
