#!/usr/bin/env bash
# libfenwave beside SoX on the same audio: the recorder's per-block filter step (high-pass 44 Hz, low-pass
# 17640 Hz, notch 220 Hz Q 10, then 16-bit conversion) and the 48000 -> 44100 Hz rate change, each as audio
# seconds processed per CPU second. Run by scripts/bench; standalone, QUIMBREL_BUILD names the build folder.
set -euo pipefail

build=${QUIMBREL_BUILD:-/work/main/build/default}
bench=$build/bench/fenwave/fenwave_bench
if [ ! -x "$bench" ]; then
    echo "fenwave_bench not found in $build (build the fenwave_bench target first)" >&2
    exit 1
fi
for tool in sox python3; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (see scripts/packages.txt)" >&2; exit 1; }
done

seconds=${FENWAVE_BENCH_SECONDS:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The same programme material at both rates: pink noise under two tones, stereo float.
for rate in 44100 48000; do
    sox -q -n -r "$rate" -c 2 -e floating-point -b 32 "$work/in$rate.wav" \
        synth "$seconds" pinknoise synth "$seconds" sine mix 220 synth "$seconds" sine mix 1500 vol 0.4
    sox -q "$work/in$rate.wav" -t f32 "$work/in$rate.f32"
done

# CPU seconds (user + system) of one SoX run; the best of three, so SoX is not judged by a noisy run.
sox_cpu() {
    local best=""
    for _ in 1 2 3; do
        /usr/bin/time -f '%U %S' -o "$work/time" sox -q "$@"
        local t
        t=$(awk '{ print $1 + $2 }' "$work/time")
        if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$t; fi
    done
    echo "$best"
}

FENWAVE_BENCH_44K=$work/in44100.f32 FENWAVE_BENCH_48K=$work/in48000.f32 \
    "$bench" --benchmark_format=json --benchmark_min_time=2 >"$work/ours.json"

filter_cpu=$(sox_cpu "$work/in44100.wav" -b 16 "$work/filtered.wav" \
    highpass 44 0.71q lowpass 17640 0.71q bandreject 220 10q)
rate_cpu=$(sox_cpu "$work/in48000.wav" "$work/rated.wav" rate -h 44100)

python3 - "$work/ours.json" "$seconds" "$filter_cpu" "$rate_cpu" <<'PY'
import json, sys
runs = {b["name"]: b["audio_s_per_cpu_s"] for b in json.load(open(sys.argv[1]))["benchmarks"]}
seconds = float(sys.argv[2])
rows = [("filter step (3 biquads + 16-bit)", runs["BM_FilterAndConvertBlock"], float(sys.argv[3]), 3.0),
        ("rate change 48000 -> 44100 Hz", runs["BM_Src2_48000To44100"], float(sys.argv[4]), 2.0)]
print(f"{'':34} {'libfenwave':>12} {'SoX':>10} {'ratio':>7} {'target':>7}   (audio s per CPU s)")
for name, ours, sox_cpu, target in rows:
    sox = seconds / max(sox_cpu, 0.01)
    ratio = ours / sox
    verdict = "ok" if ratio >= target else "BELOW TARGET"
    print(f"{name:34} {ours:12.0f} {sox:10.0f} {ratio:6.1f}x {target:6.1f}x   {verdict}")
PY
