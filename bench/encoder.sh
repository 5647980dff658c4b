#!/usr/bin/env bash
# Encodes ten minutes of stereo 44100 Hz audio through each writer and through its peer command-line encoder on
# the same audio, and prints audio seconds per CPU second (user + system) of both, with their ratio.
set -euo pipefail
: "${QUIMBREL_BUILD:?set QUIMBREL_BUILD to the build directory}"
bench=$QUIMBREL_BUILD/bench/encoder/encoder_bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seconds=600

"$bench" --write-input "$work/input.wav"
"$bench" --benchmark_format=json --benchmark_out="$work/ours.json" --benchmark_out_format=json >/dev/null

# CPU seconds (user + system) of one peer command, children included.
cputime() {
    /usr/bin/time -f '%U %S' -o "$work/time" "$@" >/dev/null 2>&1
    awk '{ print $1 + $2 }' "$work/time"
}

declare -A peer
peer[mp3]=$(cputime lame --quiet -b 128 --cbr "$work/input.wav" "$work/peer.mp3")
peer[ogg]=$(cputime oggenc --quiet -q 5 -o "$work/peer.ogg" "$work/input.wav")
peer[flac]=$(cputime flac --silent -4 -f -o "$work/peer.flac" "$work/input.wav")
peer[wma]=$(cputime ffmpeg -nostdin -v error -y -i "$work/input.wav" -c:a wmav2 -b:a 128k "$work/peer.wma")
peer[m4a]=$(cputime ffmpeg -nostdin -v error -y -i "$work/input.wav" -c:a aac -b:a 128k "$work/peer.m4a")

python3 - "$work/ours.json" "$seconds" "${peer[mp3]}" "${peer[ogg]}" "${peer[wma]}" "${peer[flac]}" "${peer[m4a]}" <<'PY'
import json, sys
ours = {b["name"].split("/")[1]: b["audio_s_per_cpu_s"]
        for b in json.load(open(sys.argv[1]))["benchmarks"]}
seconds = float(sys.argv[2])
peers = dict(zip(["mp3", "ogg", "wma", "flac", "m4a"], map(float, sys.argv[3:8])))
names = {"mp3": "lame -b 128 --cbr", "ogg": "oggenc -q 5", "wma": "ffmpeg wmav2 128k", "flac": "flac -4",
         "m4a": "ffmpeg aac 128k"}
print(f"{'format':6} {'writer audio s/CPU s':>21} {'peer audio s/CPU s':>19}  {'ratio':>6}  peer")
for fmt in ["mp3", "ogg", "wma", "wav", "flac", "m4a"]:
    o = ours.get(fmt, 0.0)
    if fmt in peers:
        p = seconds / peers[fmt] if peers[fmt] > 0 else float("inf")
        print(f"{fmt:6} {o:21.1f} {p:19.1f}  {o / p:6.2f}  {names[fmt]}")
    else:
        print(f"{fmt:6} {o:21.1f} {'-':>19}  {'-':>6}  (no peer)")
PY
