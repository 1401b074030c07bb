#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Skimbrook and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
if [ ! -x build/bin/skimbrook ]; then
  echo "run: build/bin/skimbrook was not built; see the build output above." >&2
  exit 1
fi
# The program itself turns the web engine's sandbox off under root and explains a missing
# display.
exec build/bin/skimbrook "$@"
