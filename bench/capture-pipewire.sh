#!/usr/bin/env bash
# The capture benchmark (bench/capture.sh) on PipeWire instead of PulseAudio: pipewire, wireplumber and
# pipewire-pulse (with a session bus for wireplumber) started privately in their own runtime folder, a null
# sink as the default, then the same comparison with parecord. Stops them all afterwards.
#   QUIMBREL_BUILD=<build dir> bench/capture-pipewire.sh [seconds]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
: "${QUIMBREL_BUILD:?set QUIMBREL_BUILD to the build directory}"
for tool in pipewire wireplumber pipewire-pulse dbus-daemon; do
    command -v "$tool" >/dev/null || { echo "capture-pipewire: $tool is not installed"; exit 0; }
done
run=$(mktemp -d /tmp/quimbrel-pipewire.XXXXXX)
pids=""
cleanup() {
    for p in $pids; do kill "$p" 2>/dev/null || true; done
    for p in $pids; do wait "$p" 2>/dev/null || true; done
    rm -rf "$run"
}
trap cleanup EXIT
chmod 700 "$run"
export XDG_RUNTIME_DIR=$run HOME=$run PULSE_SERVER=unix:$run/pulse/native
# WirePlumber keeps the default sink and needs a session bus: a private one.
dbus-daemon --session --address="unix:path=$run/bus" --nofork --nopidfile >/dev/null 2>&1 &
pids="$pids $!"
for _ in $(seq 50); do [ -S "$run/bus" ] && break; sleep 0.1; done
export DBUS_SESSION_BUS_ADDRESS=unix:path=$run/bus
pipewire >"$run/pipewire.log" 2>&1 &
pids="$pids $!"
for _ in $(seq 50); do [ -S "$run/pipewire-0" ] && break; sleep 0.1; done
wireplumber >"$run/wireplumber.log" 2>&1 &
pids="$pids $!"
pipewire-pulse >"$run/pipewire-pulse.log" 2>&1 &
pids="$pids $!"
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
if ! pactl info >/dev/null 2>&1; then
    echo "capture-pipewire: pipewire-pulse did not start; its log:"
    cat "$run/pipewire-pulse.log"
    exit 1
fi
pactl load-module module-null-sink sink_name=quimbrel_speakers rate=48000 channels=2 >/dev/null
for _ in $(seq 50); do
    pactl set-default-sink quimbrel_speakers 2>/dev/null || true
    [ "$(pactl get-default-sink)" = quimbrel_speakers ] && break
    sleep 0.1
done
echo "capture-pipewire: $(pactl info | grep -E '^Server Name')"
QUIMBREL_TEST_PULSE=1 bash "$here/capture.sh" "$@"
