#!/usr/bin/env bash
# The recorder window's cost: start-up to a shown window, then CPU over 60 s idle (capture open, spectrum
# drawing) and over 60 s recording MP3 at 128 kbit/s, beside ffmpeg recording the same sink to MP3 at the
# same bit rate in the same run. Needs the private PulseAudio daemon and Xvfb (scripts/bench starts them).
set -euo pipefail
build=${QUIMBREL_BUILD:?set QUIMBREL_BUILD to the build folder}
program=$build/src/app/quimbrel
seconds=${QUIMBREL_BENCH_SECONDS:-60}
[ -x "$program" ] || { echo "app: $program is not built"; exit 1; }

work=$(mktemp -d)
cleanup() {
    for p in ${pids:-}; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/config/Tarvolt/quimbrel" "$work/home" "$work/runtime" "$work/out"
chmod 700 "$work/runtime"
export XDG_CONFIG_HOME=$work/config HOME=$work/home XDG_RUNTIME_DIR=$work/runtime
if [ -n "${DISPLAY:-}" ]; then export QT_QPA_PLATFORM=xcb; fi

settings() { # $1 = 1 to record from start-up
    cat > "$work/config/Tarvolt/quimbrel/quimbrel.xml" <<XML
<?xml version="1.0"?>
<Config>
  <codec index="0" mode="0" rate="1" bitrate="5" bps="0" />
  <archive dir="$work/out/" />
  <startup enabled="$1" />
  <runtagger enabled="0" />
  <autoupdates enabled="0" />
  <confirmations ask="0" />
</Config>
XML
}

# The program ended before its phase did: say so with what it printed, instead of measuring nothing.
alive() {
    kill -0 "$app" 2>/dev/null && return 0
    wait "$app" && status=0 || status=$?
    echo "app: quimbrel ended early (status $status); its output:"
    cat "$work/app.log"
    exit 1
}
calc() { awk "BEGIN { printf \"%.3f\", $1 }"; }
# CPU seconds (user + system) of a process so far.
cpu() { awk -v hz="$(getconf CLK_TCK)" '{ printf "%.2f", ($14 + $15) / hz }' "/proc/$1/stat"; }
# Per-thread CPU ticks of a process, one "tid name ticks" line each (spaces in names become "_"; the
# fields are counted after the name, which may contain spaces and parentheses).
threads() {
    for t in /proc/"$1"/task/*; do
        printf '%s %s %s\n' "${t##*/}" "$(tr ' ' '_' < "$t/comm")" "$(sed 's/.*) //' "$t/stat" | awk '{ print $12 + $13 }')"
    done
}
# Wake-ups of a process so far: the context switches of all its threads (voluntary and not).
wakeups() { cat /proc/"$1"/task/*/status 2>/dev/null | awk '/ctxt_switches/ { n += $2 } END { print n + 0 }'; }
# Where a phase's CPU went: seconds per thread between two threads() snapshots, largest first.
perthread() {
    awk -v hz="$(getconf CLK_TCK)" 'NR == FNR { before[$1] = $3; next }
        { d = ($3 - before[$1]) / hz; if (d > 0) printf "app:   thread %s (%s): %.2f CPU s\n", $2, $1, d }' \
        "$1" "$2" | sort -t: -k3 -rn
}

# A sine on the default sink for the whole run, so the capture has sound to analyse and record.
sink=$(pactl get-default-sink)
sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth $((seconds * 2 + 60)) sine 1000 vol 0.4
paplay "$work/tone.wav" & pids="$!"

# Phase 1: start-up and idle.
settings 0
start=$(date +%s.%N)
"$program" >"$work/app.log" 2>&1 & app=$!; pids="$pids $app"
shown=""
if command -v xwininfo >/dev/null && [ -n "${DISPLAY:-}" ]; then
    for _ in $(seq 1 3000); do
        if xwininfo -name Quimbrel 2>/dev/null | grep -q IsViewable; then shown=$(date +%s.%N); break; fi
        kill -0 "$app" 2>/dev/null || break
        sleep 0.01
    done
fi
if [ -n "$shown" ]; then
    echo "app: start-up to shown window: $(calc "$shown - $start") s"
else
    echo "app: start-up to shown window: not measured (no X display)"
    sleep 3
fi
sleep 3
alive
threads "$app" >"$work/t0"
c0=$(cpu "$app"); w0=$(wakeups "$app"); sleep "$seconds"; alive; c1=$(cpu "$app"); w1=$(wakeups "$app")
threads "$app" >"$work/t1"
idle=$(calc "$c1 - $c0")
echo "app: idle, capture open and spectrum drawing: $idle CPU s in $seconds s ($(calc "100 * $idle / $seconds") % of one core; target < 1.5 %)"
echo "app: idle wake-ups: $(calc "($w1 - $w0) / $seconds") per second"
perthread "$work/t0" "$work/t1"
kill -TERM "$app"; wait "$app" || true

# Phase 2: recording MP3 at 128 kbit/s beside ffmpeg recording the same sink's monitor, twice over: once
# writing the same file as the recorder (the settings' 44100 Hz, codec rate 1, from the sink's own 48000 Hz,
# so ffmpeg converts the rate in its own process as the recorder does) and once at the sink's rate (no rate
# conversion, 9 % more sound to encode). Asked for 44100 Hz at its input instead, ffmpeg would have the
# server convert for it, outside its figure.
settings 1
"$program" >"$work/app.log" 2>&1 & app=$!; pids="$pids $app"
ffmpeg -nostdin -loglevel error -f pulse -i "$sink.monitor" -ar 44100 -b:a 128k "$work/ffmpeg.mp3" & ff=$!
ffmpeg -nostdin -loglevel error -f pulse -i "$sink.monitor" -b:a 128k "$work/ffmpeg-sink-rate.mp3" & fr=$!
pids="$pids $ff $fr"
sleep 4
alive
threads "$app" >"$work/t0"
a0=$(cpu "$app"); f0=$(cpu "$ff"); r0=$(cpu "$fr"); w0=$(wakeups "$app"); sleep "$seconds"; alive
a1=$(cpu "$app"); f1=$(cpu "$ff"); r1=$(cpu "$fr"); w1=$(wakeups "$app")
threads "$app" >"$work/t1"
rec=$(calc "$a1 - $a0"); ffc=$(calc "$f1 - $f0"); frc=$(calc "$r1 - $r0")
echo "app: recording MP3 128 kbit/s: quimbrel $rec CPU s, ffmpeg $ffc CPU s in $seconds s (ratio $(calc "$rec / ($ffc > 0 ? $ffc : 1)"); target <= 1.0)"
echo "app:   beside ffmpeg at the sink's rate (no conversion): $frc CPU s (ratio $(calc "$rec / ($frc > 0 ? $frc : 1)"))"
echo "app: recording wake-ups: $(calc "($w1 - $w0) / $seconds") per second"
perthread "$work/t0" "$work/t1"
kill -TERM "$app"; wait "$app" || true
kill -INT "$ff" "$fr"; wait "$ff" || true; wait "$fr" || true
ls -l "$work/out" | tail -n +2 | awk '{ print "app: recorded " $5 " bytes: " $9 }'
for f in "$work"/out/*.mp3 "$work"/ffmpeg*.mp3; do
    echo "app: $(basename "$f"): $(ffprobe -v error -show_entries stream=sample_rate,channels,bit_rate -of csv=p=0 "$f")"
done
