#!/usr/bin/env bash
# Decoding and fingerprinting the first 120 s of a 180 s MP3 and FLAC file: CPU seconds of
# ombrikw-fingerprint (the tagger's own identification code and libraries, stopped before the network) beside
# fpcalc -length 120 on the same file, their ratio (target: at most 1.0), and how many bits of the raw
# fingerprint differ from fpcalc -raw -length 120 (limit: 5 %). The last row is start-up alone: loading the
# libraries and nothing else.
set -euo pipefail
build=${QUIMBREL_BUILD:?QUIMBREL_BUILD must name the build folder}
tool=$(find "$build" -type f -name ombrikw-fingerprint -perm -u+x | head -n 1)
[ -n "$tool" ] || { echo "ombrikw-fingerprint not built in $build"; exit 1; }
runs=${TAGGER_BENCH_RUNS:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

src="anoisesrc=d=180:c=pink:r=44100:a=0.3:seed=11,tremolo=f=2:d=0.7,aformat=channel_layouts=stereo"
ffmpeg -nostdin -loglevel error -f lavfi -i "$src" -c:a libmp3lame -b:a 192k "$work/a.mp3"
ffmpeg -nostdin -loglevel error -f lavfi -i "$src" -c:a flac "$work/a.flac"

# CPU seconds (user + system) of running a command $runs times, start-up included.
cpu() {
    local total=0 t
    for _ in $(seq "$runs"); do
        /usr/bin/time -f "%U %S" -o "$work/time" "$@" >/dev/null 2>&1 || true
        t=$(tail -n 1 "$work/time")
        total=$(echo "$total $t" | awk '{ printf "%.3f", $1 + $2 + $3 }')
    done
    echo "$total $runs" | awk '{ printf "%.3f", $1 / $2 }'
}

# Share of differing bits between two FINGERPRINT= lines of comma-separated 32-bit numbers; a length
# difference counts as whole differing items.
bits() {
    python3 - "$1" "$2" <<'PY'
import sys
def load(path):
    for line in open(path):
        if line.startswith("FINGERPRINT="):
            return [int(v) for v in line.strip()[12:].split(",") if v]
    return []
a, b = load(sys.argv[1]), load(sys.argv[2])
n = max(len(a), len(b))
diff = 32 * (n - min(len(a), len(b))) + sum(bin((x ^ y) & 0xFFFFFFFF).count("1") for x, y in zip(a, b))
print("%.2f%%" % (100.0 * diff / (32 * n)) if n else "n/a")
PY
}

printf "%-6s %14s %14s %8s %14s\n" file "ombrikw (s)" "fpcalc (s)" ratio "bits differ"
for f in a.mp3 a.flac; do
    ours=$(cpu "$tool" "$work/$f")
    theirs=$(cpu fpcalc -length 120 "$work/$f")
    ratio=$(echo "$ours $theirs" | awk '{ printf "%.2f", $1 / $2 }')
    "$tool" -raw "$work/$f" >"$work/ours.raw"
    fpcalc -raw -length 120 "$work/$f" >"$work/theirs.raw"
    printf "%-6s %14s %14s %8s %14s\n" "${f#a.}" "$ours" "$theirs" "$ratio" "$(bits "$work/ours.raw" "$work/theirs.raw")"
done
ours=$(cpu "$tool")
theirs=$(cpu fpcalc -version)
ratio=$(echo "$ours $theirs" | awk '{ printf "%.2f", $1 / $2 }')
printf "%-6s %14s %14s %8s\n" start "$ours" "$theirs" "$ratio"
echo "(CPU seconds per run, mean of $runs runs, start-up included)"
