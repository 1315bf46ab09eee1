#!/usr/bin/env bash
# One-time setup, run with sudo, that lets an ordinary user use real K-line cables:
#  - a udev rule gives the FTDI USB cables' device nodes to the group dialout (the serial
#    ports and /dev/ttyUSB* are dialout's already on Debian);
#  - the user is put in dialout (takes effect at the next login);
#  - the raised priority the wake-ups ask for: a realtime limit for dialout in
#    /etc/security/limits.d (PAM applies it at the next login), and the file capability
#    cap_sys_nice on the programs given (by default the tuning program and the 5-baud
#    benchmark of build/release).
#
# Usage: sudo bash scripts/setup-cable-access.sh [--user NAME] [PROGRAM...]
set -euo pipefail
cd "$(dirname "$0")/.."

user="${SUDO_USER:-}"
programs=()
while [ $# -gt 0 ]; do
    case "$1" in
        --user) user="$2"; shift 2 ;;
        -h|--help) sed -n '2,12p' "$0"; exit 0 ;;
        *) programs+=("$1"); shift ;;
    esac
done
if [ ${#programs[@]} -eq 0 ]; then
    for p in build/release/bin/Dravik build/release/bin/fivebaud_bench; do
        [ -f "$p" ] && programs+=("$p")
    done
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "Run this with sudo: it writes to /etc and sets file capabilities." >&2
    exit 1
fi

rules=/etc/udev/rules.d/60-ortaline-ftdi.rules
mkdir -p "$(dirname "$rules")"
cat > "$rules.tmp" <<'RULES'
# FTDI USB-serial K-line cables: usable by the group dialout without root.
SUBSYSTEM=="usb", ATTR{idVendor}=="0403", ATTR{idProduct}=="6001|6010|6011|6014|6015", GROUP="dialout", MODE="0660"
RULES
mv "$rules.tmp" "$rules"
echo "udev rule: $rules"
if command -v udevadm > /dev/null && udevadm control --reload-rules 2> /dev/null; then
    udevadm trigger --subsystem-match=usb --attr-match=idVendor=0403 || true
else
    echo "  (udev is not running here: the rule applies from the next boot or plug-in)"
fi

limits=/etc/security/limits.d/95-ortaline-rtprio.conf
mkdir -p "$(dirname "$limits")"
cat > "$limits.tmp" <<'LIMITS'
# Realtime priority for the K-line wake-ups of users in dialout (at the next login).
@dialout - rtprio 50
LIMITS
mv "$limits.tmp" "$limits"
echo "realtime limit: $limits"

if [ -n "$user" ] && [ "$user" != root ]; then
    usermod -aG dialout "$user"
    echo "user $user is in dialout (log in again for it to count)"
fi

command -v setcap > /dev/null || { echo "setcap is missing (apt-get install libcap2-bin)" >&2; exit 1; }
for p in "${programs[@]}"; do
    setcap cap_sys_nice+ep "$p"
    echo "cap_sys_nice: $(getcap "$p")"
done
echo "A rebuild replaces the programs: run this again after building."
