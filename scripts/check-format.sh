#!/usr/bin/env bash
# Fails, naming the files, when a C++ source differs from .clang-format
# (scripts/format.sh mends them).
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -d '' sources < <(git ls-files -z -- '*.cpp' '*.h')
bad=()
for f in "${sources[@]}"; do
  clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
  echo "check-format: these files differ from .clang-format (run scripts/format.sh):" >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "check-format: ${#sources[@]} files formatted"
