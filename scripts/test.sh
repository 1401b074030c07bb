#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Skimbrook and runs every test: the whole
# suite in the normal build, then the core tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and once more with the portable byte scanner.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs="$(nproc)"

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
