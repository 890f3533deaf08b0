#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, but only those
# that are missing, so a machine that has them all is not touched.
varnel_install_deps() {
  local wanted=(g++ make cmake libgtest-dev libopenblas-serial-dev libreadline-dev python3 python3-scipy)
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
