#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Sourced by test.sh and demo.sh; as root it installs what is missing with
# apt-get, otherwise it names what to install and fails.
KVL_PACKAGES=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev googletest
  clang libclang-rt-dev
  libmodbus-dev mbpoll
  libcli11-dev nlohmann-json3-dev
  libmosquitto-dev mosquitto mosquitto-clients libtomlplusplus-dev libspdlog-dev
  g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine wine64 xvfb xauth x11-utils imagemagick
  python3 zip unzip
)

kvl_missing_packages() {
  local p missing=()
  for p in "${KVL_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  echo "${missing[@]}"
}

kvl_install_deps() {
  local missing
  missing=$(kvl_missing_packages)
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "These Debian packages are missing: $missing" >&2
    echo "Install them as root:  apt-get install -y $missing" >&2
    return 1
  fi
  echo "== Installing: $missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq && apt-get install -y -qq $missing >/dev/null || {
    echo "apt-get could not install: $missing" >&2
    return 1
  }
}
