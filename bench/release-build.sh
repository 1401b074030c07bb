# Sourced by the benchmark scripts: a scratch folder removed on exit ($work) and
# release_build TARGET [gui], which builds one benchmark program in an optimised build
# folder quietly (the output shows only when the build fails) and prints its path. With
# gui the build has the Qt parts (build-bench-gui), for the benchmarks that need the event
# loop; their programs run on the offscreen platform by themselves.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

release_build() {
  local build=build-bench gui=OFF
  if [ "${2:-}" = gui ]; then build=build-bench-gui gui=ON; fi
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DSKIMBROOK_GUI="$gui" -DSKIMBROOK_TESTS=OFF \
      -DSKIMBROOK_BENCH=ON >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; exit 1; }
  fi
  cmake --build "$build" -j2 --target "$1" >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; exit 1; }
  echo "$build/bench/$1"
}
