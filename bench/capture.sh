#!/usr/bin/env bash
# Loopback capture cost: our capture thread and parecord record the default sink for the same minute, in the
# same run and in the sink's own format, while noise plays into it. Prints CPU seconds per audio minute for both and their ratio.
# Both record the same monitor at once, so the server cuts what it renders for both by the shorter latency
# asked for: our record stream's fragment size also sets how many pieces parecord receives and so what it
# costs. parecord alone asks for no latency and gets far fewer pieces, so it then records the same minute
# once more on its own, and the process is also compared with that.
#   QUIMBREL_BUILD=<build dir> bench/capture.sh [seconds]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
: "${QUIMBREL_BUILD:?set QUIMBREL_BUILD to the build directory}"
if [ -z "${QUIMBREL_TEST_PULSE:-}" ]; then
    exec "$here/../scripts/with-services" bash "$0" "$@"
fi
seconds=${1:-60}
bench=$QUIMBREL_BUILD/bench/capture/capture_bench
[ -x "$bench" ] || { echo "missing $bench" >&2; exit 1; }

sink=$(pactl get-default-sink)
rate=$(pactl list sinks | awk -v s="$sink" '$1=="Name:"{n=$2} n==s && $1=="Sample" {print $5; exit}')
rate=${rate%Hz}
channels=$(pactl list sinks | awk -v s="$sink" '$1=="Name:"{n=$2} n==s && $1=="Sample" {print $4; exit}')
channels=${channels%ch}

work=$(mktemp -d /tmp/quimbrel-capture-bench.XXXXXX)
player=""
cleanup() {
    [ -n "$player" ] && kill "$player" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Something to capture: noise, played for longer than both recordings last.
pacat --playback --raw --format=s16le --rate="$rate" --channels="$channels" -d "$sink" </dev/urandom &
player=$!
sleep 1

# parecord on the same monitor, in the sink's own float format; /usr/bin/time gives its CPU seconds.
/usr/bin/time -f "%U %S" -o "$work/parecord.time" \
    timeout -s INT "$seconds" parecord --raw --format=float32le --rate="$rate" --channels="$channels" \
    -d "$sink.monitor" /dev/null &
recorder=$!
# Ours in the sink's own format, as parecord records it: the same work, no rate conversion on either side.
"$bench" "$seconds" "$rate" >"$work/ours.txt"
wait "$recorder" || true
# parecord on its own, with nothing of ours on the monitor.
/usr/bin/time -f "%U %S" -o "$work/alone.time" \
    timeout -s INT "$seconds" parecord --raw --format=float32le --rate="$rate" --channels="$channels" \
    -d "$sink.monitor" /dev/null || true

ours=$(sed -n 's/.*capture_thread_cpu_s=\([0-9.]*\).*/\1/p' "$work/ours.txt")
process=$(sed -n 's/.*process_cpu_s=\([0-9.]*\).*/\1/p' "$work/ours.txt")
wakeups=$(sed -n 's/.*process_wakeups_per_s=\([0-9.]*\).*/\1/p' "$work/ours.txt")
delivered=$(sed -n 's/.*delivered_percent=\([0-9.]*\).*/\1/p' "$work/ours.txt")
theirs=$(tail -n 1 "$work/parecord.time" | awk "{print \$1 + \$2}")
alone=$(tail -n 1 "$work/alone.time" | awk "{print \$1 + \$2}")
awk -v o="$ours" -v p="$process" -v t="$theirs" -v a="$alone" -v s="$seconds" -v w="$wakeups" -v d="$delivered" 'BEGIN {
    m = s / 60.0
    printf "capture thread:   %.3f CPU s per audio minute\n", o / m
    printf "whole process:    %.3f CPU s per audio minute (capture, silence renderer, PulseAudio client thread)\n", p / m
    printf "parecord:         %.3f CPU s per audio minute\n", t / m
    if (t > 0) printf "ratio:            %.2f (capture thread / parecord; target <= 1.5)\n", o / t
    if (t > 0) printf "process ratio:    %.2f (whole process, start-up included / parecord; target <= 1.0)\n", p / t
    printf "parecord alone:   %.3f CPU s per audio minute (afterwards, nothing of ours recording)\n", a / m
    if (a > 0) printf "ratio to alone:   %.2f (whole process / parecord alone)\n", p / a
    printf "wake-ups:         %.1f per second (whole process)\n", w
    printf "delivered:        %.1f %% of the sound (100 = nothing lost)\n", d
}'
cat "$work/ours.txt"
