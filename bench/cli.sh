#!/usr/bin/env bash
# quimbrel-cli recording MP3 at 128 kbit/s from the default sink's monitor, beside ffmpeg recording the same
# monitor to MP3 at the same bit rate at the same time: three rounds, CPU seconds per audio minute of each,
# their ratio, and the wake-ups per second of quimbrel-cli. Needs the private PulseAudio daemon.
#   QUIMBREL_BUILD=<build dir> bench/cli.sh [seconds per round, default 20]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
: "${QUIMBREL_BUILD:?set QUIMBREL_BUILD to the build directory}"
if [ -z "${QUIMBREL_TEST_PULSE:-}" ]; then
    exec "$here/../scripts/with-services" bash "$0" "$@"
fi
seconds=${1:-20}
rounds=3
cli=$QUIMBREL_BUILD/src/cli/quimbrel-cli
[ -x "$cli" ] || { echo "cli: $cli is not built" >&2; exit 1; }

work=$(mktemp -d /tmp/quimbrel-cli-bench.XXXXXX)
pids=""
cleanup() {
    for p in $pids; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/config" "$work/home" "$work/runtime" "$work/out"
chmod 700 "$work/runtime"
export XDG_CONFIG_HOME=$work/config HOME=$work/home
mkdir -p "$work/config/Tarvolt/quimbrel"
cat > "$work/config/Tarvolt/quimbrel/quimbrel.xml" <<XML
<?xml version="1.0"?>
<Config>
  <archive dir="$work/out/" />
  <runtagger enabled="0" />
  <autoupdates enabled="0" />
</Config>
XML

sink=$(pactl get-default-sink)
sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth $((rounds * seconds + 30)) sine 300:3000 vol 0.4
paplay -d "$sink" "$work/tone.wav" & pids="$!"
sleep 1

# Wake-ups of a process so far: the context switches of all its threads (voluntary and not).
wakeups() {
    cat /proc/"$1"/task/*/status 2>/dev/null | awk '/ctxt_switches/ { n += $2 } END { print n + 0 }'
}

ours=0; theirs=0; woken=0
for round in $(seq 1 "$rounds"); do
    /usr/bin/time -f "%U %S" -o "$work/cli.time" \
        "$cli" record --for "$seconds" --format mp3 --bitrate 128 --output "$work/out" \
        --name "round-$round" >"$work/cli.log" 2>&1 &
    timed=$!
    /usr/bin/time -f "%U %S" -o "$work/ffmpeg.time" \
        ffmpeg -nostdin -loglevel error -f pulse -i "$sink.monitor" -t "$seconds" -b:a 128k \
        "$work/out/ffmpeg-$round.mp3" &
    ff=$!
    # The cli's own process (the child of time): its wake-ups just before it ends.
    child=""
    for _ in $(seq 100); do child=$(pgrep -P "$timed" | head -n 1 || true); [ -n "$child" ] && break; sleep 0.05; done
    w0=$( [ -n "$child" ] && wakeups "$child" || echo 0); t0=$(date +%s.%N); w1=$w0; t1=$t0
    while [ -n "$child" ] && kill -0 "$child" 2>/dev/null; do
        w=$(wakeups "$child"); [ "$w" -gt 0 ] && { w1=$w; t1=$(date +%s.%N); }
        sleep 1
    done
    wait "$timed" || { echo "cli: quimbrel-cli failed:"; cat "$work/cli.log"; exit 1; }
    wait "$ff" || { echo "cli: ffmpeg failed"; exit 1; }
    o=$(tail -n 1 "$work/cli.time" | awk '{ print $1 + $2 }')
    f=$(tail -n 1 "$work/ffmpeg.time" | awk '{ print $1 + $2 }')
    rate=$(awk -v a="$w0" -v b="$w1" -v s="$t0" -v e="$t1" 'BEGIN { if (e > s) printf "%.0f", (b - a) / (e - s); else print 0 }')
    echo "cli: round $round: quimbrel-cli $o CPU s, ffmpeg $f CPU s, quimbrel-cli $rate wake-ups/s"
    ours=$(awk -v a="$ours" -v b="$o" 'BEGIN { print a + b }')
    theirs=$(awk -v a="$theirs" -v b="$f" 'BEGIN { print a + b }')
    woken=$(awk -v a="$woken" -v b="$rate" 'BEGIN { print a + b }')
done
awk -v o="$ours" -v t="$theirs" -v w="$woken" -v s="$seconds" -v r="$rounds" 'BEGIN {
    m = s * r / 60.0
    printf "cli: quimbrel-cli MP3 128k: %.3f CPU s per audio minute\n", o / m
    printf "cli: ffmpeg -f pulse MP3 128k: %.3f CPU s per audio minute\n", t / m
    if (t > 0) printf "cli: ratio %.2f (quimbrel-cli / ffmpeg; target <= 0.8)\n", o / t
    printf "cli: quimbrel-cli wake-ups: %.0f per second\n", w / r
}'
ls -l "$work/out" | tail -n +2 | awk '{ print "cli: recorded " $5 " bytes: " $9 }'
