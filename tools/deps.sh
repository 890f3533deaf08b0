#!/usr/bin/env bash
# Installs the Debian packages that building the program needs and, with the
# argument `tests`, those that the tests need too (GoogleTest, SciPy for the
# MAT-file tests, clang with libFuzzer for the fuzz targets), but only those
# that are missing, so a machine that has
# them all is not touched.
varnel_install_deps() {
  local wanted=(g++ make cmake libopenblas-serial-dev libreadline-dev)
  [ "${1:-}" = tests ] && wanted+=(libgtest-dev python3 python3-scipy clang libclang-rt-dev)
  local missing=()
  local pkg
  for pkg in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq || return 1
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" || return 1
}

# Configures and builds one build tree: varnel_build DIR [cmake options...]
varnel_build() {
  local dir=$1
  shift
  cmake -S "$VARNEL_ROOT" -B "$VARNEL_ROOT/$dir" "$@" >/dev/null || return 1
  cmake --build "$VARNEL_ROOT/$dir" -j "$(nproc)" || return 1
}

# Succeeds when clang++ can link a libFuzzer target, which the fuzz build
# tree (tests/fuzz) needs.
varnel_have_libfuzzer() {
  command -v clang++ >/dev/null 2>&1 || return 1
  local probe
  probe=$(mktemp -d) || return 1
  printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' >"$probe/probe.cpp"
  clang++ -fsanitize=fuzzer "$probe/probe.cpp" -o "$probe/probe" >/dev/null 2>&1
  local status=$?
  rm -rf "$probe"
  return $status
}

# Configures and builds the fuzz build tree build-fuzz/ with clang:
# varnel_build_fuzz [cmake options...]
varnel_build_fuzz() {
  CC=clang CXX=clang++ varnel_build build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNEL_FUZZ=ON "$@"
}
