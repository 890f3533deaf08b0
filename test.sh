#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole suite twice: in Release
# and under AddressSanitizer + UndefinedBehaviorSanitizer, then the fuzz
# targets (clang, libFuzzer) over their corpus. Every build treats a
# compiler warning as an error.
set -euo pipefail
VARNEL_ROOT=$(cd "$(dirname "$0")" && pwd)
. "$VARNEL_ROOT/tools/deps.sh"
varnel_install_deps tests

echo "== Release build"
varnel_build build -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON -DVARNEL_WERROR=ON
ctest --test-dir "$VARNEL_ROOT/build" --output-on-failure -j "$(nproc)"

echo "== Sanitizer build (address, undefined)"
varnel_build build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNEL_SANITIZE=ON -DBUILD_TESTING=ON -DVARNEL_WERROR=ON
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir "$VARNEL_ROOT/build-sanitize" --output-on-failure -j "$(nproc)"

echo "== Fuzz targets over their corpus (clang, libFuzzer)"
if ! varnel_have_libfuzzer; then
  echo "clang++ cannot link a libFuzzer target: install clang and libclang-rt-dev" >&2
  exit 1
fi
varnel_build_fuzz -DVARNEL_WERROR=ON
ctest --test-dir "$VARNEL_ROOT/build-fuzz" --output-on-failure -j "$(nproc)"
