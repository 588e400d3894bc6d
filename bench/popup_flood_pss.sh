#!/usr/bin/env bash
# Memory of the running client under a flood of call notifications: pushes N distinct incoming
# calls into the open main page through the stand-in service and prints the proportional set
# size (PSS) of the client's whole process tree (the client and its browser helpers) as the
# flood goes on. Run it while `bash scripts/run` runs and the main page is logged in.
#
#   bash bench/popup_flood_pss.sh [calls, default 300] [service, default http://127.0.0.1:8470]
set -euo pipefail

calls=${1:-300}
service=${2:-http://127.0.0.1:8470}

root=$(pgrep -x -o Orvanta_Vexa || true)
if [[ -z "$root" ]]; then
    echo "Orvanta_Vexa is not running: start it with bash scripts/run" >&2
    exit 1
fi

# The process and all its descendants.
tree() {
    local pid=$1
    echo "$pid"
    local child
    for child in $(cat /proc/"$pid"/task/*/children 2>/dev/null); do
        tree "$child"
    done
}

# Sum of Pss over the tree, in KiB; processes that end while being read count 0.
pss_kib() {
    local total=0 pid kib
    for pid in $(tree "$root"); do
        kib=$(awk '/^Pss:/ { print $2; exit }' /proc/"$pid"/smaps_rollup 2>/dev/null || true)
        total=$((total + ${kib:-0}))
    done
    echo "$total"
}

mib() {
    awk -v kib="$(pss_kib)" 'BEGIN { printf "%.1f", kib / 1024 }'
}

processes() {
    tree "$root" | wc -l
}

printf '%8s %12s %10s\n' calls "PSS MiB" processes
printf '%8d %12s %10d\n' 0 "$(mib)" "$(processes)"
for ((i = 1; i <= calls; ++i)); do
    curl -s -o /dev/null -d "{\"method\":\"FE_MAIN_Call_Recv_Noti\",\"arg\":{\"callLogNo\":$((900000 + i)),\
\"userPhone\":\"07012345678\",\"peerPhone\":\"02$((1000000 + i))\",\"callResult\":101}}" \
        "$service/demo/push"
    if ((i % 50 == 0 || i == calls)); then
        printf '%8d %12s %10d\n' "$i" "$(mib)" "$(processes)"
    fi
done
# Pages still loading settle, the oldest popups close as newer ones come.
sleep 10
printf '%8s %12s %10d\n' settled "$(mib)" "$(processes)"
