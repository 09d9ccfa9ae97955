#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Long run of `vantor-cli watch --interval 100 -O csv -o FILE` against the live simulated board.
# Samples the watcher's resident and peak memory from /proc every 10 s and prints its CPU use
# and memory growth after the first minute, and how many rows the file got.
#   bench/cli/soak-watch.sh [seconds=3600] [build dir=build/default]
set -euo pipefail
seconds=${1:-3600}
build=${2:-build/default}
cli=$build/app/vantor-cli
sim=$build/app/vantor-sim
work=$(mktemp -d)
trap 'kill $cli_pid $sim_pid 2>/dev/null || true; rm -rf "$work"' EXIT

"$sim" --demo --link "$work/board" > "$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do [ -e "$work/board" ] && break; sleep 0.1; done

"$cli" -d "$work/board" watch --interval 100 -O csv -o "$work/night.csv" 2> "$work/cli.err" &
cli_pid=$!

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$cli_pid/stat"; }
kib() { awk -v k="$1" '$1 == k":" {print $2}' "/proc/$cli_pid/status"; }

printf '%8s %10s %10s %10s\n' "t (s)" "RSS (KiB)" "peak (KiB)" "rows"
rss_at_60=0
peak_at_60=0
cpu_at_60=0
t_at_60=0
for ((t = 10; t <= seconds; t += 10)); do
    sleep 10
    kill -0 $cli_pid 2>/dev/null || { echo "vantor-cli exited early"; cat "$work/cli.err"; exit 1; }
    printf '%8d %10d %10d %10d\n' "$t" "$(kib VmRSS)" "$(kib VmHWM)" "$(($(wc -l < "$work/night.csv") - 1))"
    if [ "$t" -eq 60 ]; then
        rss_at_60=$(kib VmRSS)
        peak_at_60=$(kib VmHWM)
        cpu_at_60=$(cpu_ticks)
        t_at_60=$(date +%s.%N)
    fi
done
end=$(date +%s.%N)
rss_end=$(kib VmRSS)
peak_end=$(kib VmHWM)
cpu_end=$(cpu_ticks)
awk -v c0="$cpu_at_60" -v c1="$cpu_end" -v t0="$t_at_60" -v t1="$end" -v hz="$ticks" \
    -v r0="$rss_at_60" -v r1="$rss_end" -v p0="$peak_at_60" -v p1="$peak_end" 'BEGIN {
        cpu = 100 * (c1 - c0) / hz / (t1 - t0);
        printf "after the first minute: CPU %.2f%% of one core; RSS %d KiB at 60 s, %d KiB at the end; peak %d KiB at 60 s, %d KiB at the end (growth %d KiB)\n", cpu, r0, r1, p0, p1, p1 - p0;
    }'
[ -s "$work/cli.err" ] && { echo "vantor-cli said:"; cat "$work/cli.err"; }
exit 0
