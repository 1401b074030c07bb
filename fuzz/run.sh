#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds
# (default 300), starting from its seed corpus in fuzz/corpus/<target>/ and the
# dictionary fuzz/<target>.dict when present.
#   fuzz/run.sh [seconds] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-300}"; shift || true
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSKIMBROOK_FUZZ=ON \
  -DSKIMBROOK_GUI=OFF -DSKIMBROOK_TESTS=OFF -DSKIMBROOK_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in build-fuzz/fuzz/*_fuzz; do targets+=("$(basename "$f")"); done
fi
for t in "${targets[@]}"; do
  work="fuzz-out/$t"; mkdir -p "$work/corpus"
  args=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/")
  [ -f "fuzz/$t.dict" ] && args+=(-dict="fuzz/$t.dict")
  seeds=()
  [ -d "fuzz/corpus/$t" ] && seeds+=("fuzz/corpus/$t")
  echo "== $t for ${seconds}s"
  "build-fuzz/fuzz/$t" "${args[@]}" "$work/corpus" "${seeds[@]}" 2>&1 | tail -n 20
done
