#!/usr/bin/env bash
# Installs what is missing, builds and starts the demonstration window.
# Arguments are handed to the program (see README).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh >/dev/null

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting the demo in a virtual X server (xvfb-run)." >&2
  exec xvfb-run -a -s "-screen 0 1280x900x24" build/src/demo/wymap-demo "$@"
fi
exec build/src/demo/wymap-demo "$@"
