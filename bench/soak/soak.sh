#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Soak run: the panel against the live simulated board with auto-refresh on.
# Samples the panel's resident memory and CPU time from /proc; prints a summary line.
#   bench/soak/soak.sh [seconds=600] [build dir=build/default]
set -euo pipefail
seconds=${1:-600}
build=${2:-build/default}
panel=$build/app/vantor-panel
sim=$build/app/vantor-sim
work=$(mktemp -d)
trap 'kill $panel_pid $sim_pid 2>/dev/null || true; rm -rf "$work"' EXIT

"$sim" --demo --link "$work/board" > "$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do [ -e "$work/board" ] && break; sleep 0.1; done

QT_QPA_PLATFORM=offscreen "$panel" --com1 "$work/board" > "$work/panel.out" 2>&1 &
panel_pid=$!

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$panel_pid/stat"; }
kib() { awk -v k="$1" '$1 == k":" {print $2}' "/proc/$panel_pid/status"; }

printf '%8s %10s %10s\n' "t (s)" "RSS (KiB)" "peak (KiB)"
start=$(date +%s.%N)
peak_at_60=0
cpu_at_60=0
t_at_60=0
for ((t = 10; t <= seconds; t += 10)); do
    sleep 10
    kill -0 $panel_pid 2>/dev/null || { echo "the panel exited early"; cat "$work/panel.out"; exit 1; }
    printf '%8d %10d %10d\n' "$t" "$(kib VmRSS)" "$(kib VmHWM)"
    if [ "$t" -eq 60 ]; then
        peak_at_60=$(kib VmHWM)
        cpu_at_60=$(cpu_ticks)
        t_at_60=$(date +%s.%N)
    fi
done
end=$(date +%s.%N)
peak_end=$(kib VmHWM)
cpu_end=$(cpu_ticks)
awk -v c0="$cpu_at_60" -v c1="$cpu_end" -v t0="$t_at_60" -v t1="$end" -v hz="$ticks" \
    -v p0="$peak_at_60" -v p1="$peak_end" 'BEGIN {
        cpu = 100 * (c1 - c0) / hz / (t1 - t0);
        printf "after the first minute: CPU %.2f%% of one core, peak RSS %d KiB at 60 s, %d KiB at the end (growth %d KiB)\n", cpu, p0, p1, p1 - p0;
    }'
