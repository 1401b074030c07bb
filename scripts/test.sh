#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Skimbrook and runs every test: the formatting
# check, the whole suite in the normal build, the core tests again under AddressSanitizer
# and UndefinedBehaviorSanitizer, once more with the portable byte scanner, and each fuzz
# target for 30 seconds on its seeds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs="$(nproc)"

scripts/check-format.sh

scripts/build.sh
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DSKIMBROOK_SANITIZE=ON -DSKIMBROOK_GUI=OFF \
  -DSKIMBROOK_BENCH=OFF -DSKIMBROOK_WERROR=ON >/dev/null
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -L core -j"$jobs"

# The core again with the portable byte scanner, the one that builds without intrinsics.
cmake -S . -B build-portable -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSKIMBROOK_PORTABLE_SCAN=ON -DSKIMBROOK_GUI=OFF \
  -DSKIMBROOK_BENCH=OFF -DSKIMBROOK_WERROR=ON >/dev/null
cmake --build build-portable -j"$jobs"
ctest --test-dir build-portable --output-on-failure -L core -j"$jobs"

# A short run of every fuzz target from its seed corpus; a finding fails the run.
fuzz/run.sh 30
