#!/usr/bin/env bash
# Installs every Debian 12 package that building, testing and running Skimbrook need.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail

packages=(
  # build
  build-essential cmake pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-webengine-dev-tools
  libqt6webenginecore6-bin qt6-tools-dev-tools libgl-dev libxcb1-dev
  libcurl4-openssl-dev ca-certificates nlohmann-json3-dev libxml2-dev zlib1g-dev libsqlite3-dev
  # tests, benchmarks, fuzzing
  googletest libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev libpugixml-dev
  libxml2-utils clang-format desktop-file-utils appstream
  # running the program and its desktop tests
  dbus dbus-x11 xvfb xauth xdotool trayer openbox x11-apps x11-utils imagemagick fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
