#!/usr/bin/env bash
# Applies .clang-format to every C++ source of the project.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z -- '*.cpp' '*.h' | xargs -0 -r clang-format -i
