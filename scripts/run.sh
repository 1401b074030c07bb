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
# The web engine cannot use its sandbox when started as root.
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
if [ -z "${QT_QPA_PLATFORM:-}" ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no display found. Start Skimbrook inside a desktop session (DISPLAY or WAYLAND_DISPLAY" >&2
  echo "     set), for example from a terminal of the desktop, or over 'ssh -X'." >&2
  exit 1
fi
exec build/bin/skimbrook "$@"
