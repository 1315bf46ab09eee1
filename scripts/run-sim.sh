#!/usr/bin/env bash
# Installs what is needed, builds, registers the K-line library, points every connection
# type of the program (the USB cable and COM1 to COM4) at the simulated ECU on the virtual
# K-line and starts the tuning program: accept the disclaimer, press Connect.
#
#     bash scripts/run-sim.sh [kw1281|kwp2000]     (default: kw1281)
set -euo pipefail
cd "$(dirname "$0")/.."
ecu="${1:-kw1281}"
case "$ecu" in
    kw1281 | kwp2000) ;;
    *)
        echo "usage: $0 [kw1281|kwp2000]" >&2
        exit 2
        ;;
esac
bash scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/release -j "$(nproc)" --target Dravik Ortaline regsvr settings
bin=build/release/bin
"$bin/regsvr" "$PWD/$bin/libOrtaline.so"
# Whichever connection type the Settings menu holds, Connect reaches the simulated ECU.
for port in USB COM1 COM2 COM3 COM4; do
    "$bin/settings" set 'Software\Ortaline\Devices' "$port" "sim:$ecu"
done
echo "Every connection type leads to the simulated $ecu ECU." >&2
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: starting under a virtual X server (xvfb-run)." >&2
    exec xvfb-run -a "$bin/Dravik"
fi
exec "$bin/Dravik"
