# Sourced by the benchmark scripts: a scratch folder removed on exit ($work) and
# release_build TARGET, which builds one benchmark program in the optimised build-bench
# folder quietly (the output shows only when the build fails) and prints its path.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

release_build() {
  local build=build-bench
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DSKIMBROOK_GUI=OFF -DSKIMBROOK_TESTS=OFF -DSKIMBROOK_BENCH=ON \
      >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; exit 1; }
  fi
  cmake --build "$build" -j2 --target "$1" >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; exit 1; }
  echo "$build/bench/$1"
}
