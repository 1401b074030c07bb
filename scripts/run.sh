#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Skimbrook and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
if [ ! -x build/bin/skimbrook ]; then
  echo "run: everything is built; the main window does not exist yet, so there is nothing to start."
  exit 0
fi
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
exec build/bin/skimbrook "$@"
