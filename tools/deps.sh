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
  varnel_apt_update $sudo || return 1
  DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=$varnel_apt_lock_wait \
    install -y -qq --no-install-recommends "${missing[@]}" || return 1
}

# How long, in seconds, the installer waits for a lock that another apt or
# dpkg holds (an unattended upgrade, a second installer) before it fails.
varnel_apt_lock_wait=300

# apt-get update, run through the command prefix given (sudo, or none).
# DPkg::Lock::Timeout makes apt wait for dpkg's lock, but apt-get update fails
# at once while another apt holds the lock of the package lists, so it is
# tried again every few seconds until the wait is over.
varnel_apt_update() {
  local deadline=$((SECONDS + varnel_apt_lock_wait))
  local output
  until output=$("$@" env LC_ALL=C apt-get -o DPkg::Lock::Timeout=$varnel_apt_lock_wait update -qq 2>&1); do
    if [[ $output != *"Could not get lock"* ]] || ((SECONDS >= deadline)); then
      echo "$output" >&2
      return 1
    fi
    echo "Waiting for another apt to release the package lists..."
    sleep 5
  done
  [ -z "$output" ] || echo "$output"
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
