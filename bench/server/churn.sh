#!/usr/bin/env bash
# Retention under churn (127.0.0.1 only, bounded in time): pinrova-posd with a retention of
# RETAIN_DAYS (0.0002 days, 17.3 s) takes Registers of new anonymous people from wrk -c8 for
# DURATION seconds (120); its resident memory and people count are sampled every 5 s. Once
# the window is full, people are deleted as fast as they come and memory stays flat.
set -euo pipefail

# shellcheck source=SCRIPTDIR/common.sh
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

duration=${DURATION:-120}
retain=${RETAIN_DAYS:-0.0002}

bench_need_wrk 1 "churn.sh: wrk is needed (scripts/setup installs it)"
bench_workdir posd-churn
bench_build pinrova-posd
bench_start_posd "$work/posd.log" 10 --db "$work/churn.db" --threads 2 --retain-days "$retain"

echo "== churn: Registers of new people for ${duration}s, retention $retain days"
wrk -t1 -c8 -d"${duration}s" -s "$here/register.lua" "http://127.0.0.1:$posd_port" >"$work/wrk.out" &
loader=$!
echo "seconds | resident MiB | people | swept | file MiB"
for ((t = 0; t <= duration; t += 5)); do
    rss=$(rss_kib "$posd_pid")
    size=$(du -cm "$work"/churn.db* | awk 'END {print $1}')
    echo "$t | $((rss / 1024)) | $(metric pinrova_people) | $(metric pinrova_people_swept_total) | $size"
    sleep 5
done
wait "$loader"
grep '^register:' "$work/wrk.out"
