#!/usr/bin/env bash
# Loads and saves the three state documents (100 events, 1000 name templates) and prints the time per load and
# per save. A baseline: there is no target.
set -euo pipefail
build=${QUIMBREL_BUILD:-/work/main/build/default}
bin=$build/bench/state/state_bench
if [ ! -x "$bin" ]; then
    echo "state_bench not built in $build" >&2
    exit 1
fi
"$bin" --benchmark_min_time=0.2
