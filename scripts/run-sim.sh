#!/usr/bin/env bash
# Installs what is needed, builds, registers the K-line library, maps COM1 to the simulated
# KW1281 ECU on the virtual K-line and starts the tuning program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/release -j "$(nproc)" --target Dravik Ortaline regsvr settings
bin=build/release/bin
"$bin/regsvr" "$PWD/$bin/libOrtaline.so"
"$bin/settings" set 'Software\Ortaline\Devices' COM1 'sim:kw1281'
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: starting under a virtual X server (xvfb-run)." >&2
    exec xvfb-run -a "$bin/Dravik"
fi
exec "$bin/Dravik"
