#!/usr/bin/env bash
# The recorder's block handler (peaks, gain control, VOX, schedule check, high-pass 44 Hz, low-pass 17640 Hz,
# notch 220 Hz with Q 10, conversion to 16-bit; writer excluded) on 25 ms stereo 44100 Hz blocks, beside SoX
# running the same three filters and conversion on the same ten minutes of audio in the same run. Prints audio
# seconds per CPU second (user + system) of both and their ratio.
#   QUIMBREL_BUILD=<build dir> bench/recording.sh [seconds]
set -euo pipefail
: "${QUIMBREL_BUILD:?set QUIMBREL_BUILD to the build directory}"
bench=$QUIMBREL_BUILD/bench/recording/recording_bench
[ -x "$bench" ] || { echo "missing $bench" >&2; exit 1; }
seconds=${1:-600}
work=$(mktemp -d /tmp/quimbrel-recording-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

"$bench" --write-input "$work/input.wav" "$seconds"
"$bench" "$work/input.wav" >"$work/ours.txt"

/usr/bin/time -f '%U %S' -o "$work/sox.time" \
    sox "$work/input.wav" -b 16 "$work/out.wav" highpass 44 0.71q lowpass 17640 0.71q bandreject 220 10q
sox_cpu=$(awk '{ print $1 + $2 }' "$work/sox.time")

ours=$(awk '$1 == "audio_s_per_cpu_s" { print $2 }' "$work/ours.txt")
awk -v ours="$ours" -v secs="$seconds" -v soxcpu="$sox_cpu" 'BEGIN {
    sox = soxcpu > 0 ? secs / soxcpu : 0
    printf "%-32s %12s\n", "", "audio s/CPU s"
    printf "%-32s %12.1f\n", "block handler (writer excluded)", ours
    printf "%-32s %12.1f\n", "sox highpass lowpass bandreject", sox
    if (sox > 0) printf "%-32s %12.2f   (target >= 3)\n", "ratio", ours / sox
}'
