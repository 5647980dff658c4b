#!/usr/bin/env bash
# The cost of keeping recordings on the disk: 48000 Hz stereo 16-bit recorded in real time through the WAV and
# FLAC writers with the file syncer's fdatasync every five seconds and with it off, alternating, in the same
# run. Prints CPU milliseconds per recorded minute (the whole process, sync thread included) and the wall time
# of one block write for both.
#   QUIMBREL_BUILD=<build dir> bench/sync.sh [seconds per run]
set -euo pipefail
: "${QUIMBREL_BUILD:?set QUIMBREL_BUILD to the build directory}"
bench=$QUIMBREL_BUILD/bench/sync/sync_bench
[ -x "$bench" ] || { echo "missing $bench" >&2; exit 1; }
seconds=${1:-30}
# Beside the build, on a real disk: a temporary folder may be in memory, where a sync costs nothing.
work=$(mktemp -d "$QUIMBREL_BUILD/sync-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "folder: $work ($(stat -f -c %T "$work"))"
"$bench" "$seconds" "$work" 2
