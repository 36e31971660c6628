#!/usr/bin/env bash
# Sets everything up, builds, and starts the desktop program. Without arguments it runs on the
# simulated reader with the demo deck of virtual cards; any arguments go to ostrel-admin
# (for example --reader pcsc for a real reader).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target ostrel-admin ostrel-card

args=("$@")
((${#args[@]})) || args=(--reader sim)
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "run: no display found, starting under Xvfb" >&2
  exec xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/ostrel-admin "${args[@]}"
fi
exec build/bin/ostrel-admin "${args[@]}"
