#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole suite twice: in Release
# and under AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
VARNEL_ROOT=$(cd "$(dirname "$0")" && pwd)
. "$VARNEL_ROOT/tools/deps.sh"
varnel_install_deps

echo "== Release build"
varnel_build build -DCMAKE_BUILD_TYPE=Release
ctest --test-dir "$VARNEL_ROOT/build" --output-on-failure -j "$(nproc)"

echo "== Sanitizer build (address, undefined)"
varnel_build build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNEL_SANITIZE=ON
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir "$VARNEL_ROOT/build-sanitize" --output-on-failure -j "$(nproc)"
