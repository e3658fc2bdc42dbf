#!/usr/bin/env bash
# Measures the whole program in a real X server (Xvfb + trayer):
#  - start-up time of the process to "hidden in the tray" with a full store of 1,584 entries
#    (goal < 300 ms), median of 5 starts;
#  - resident memory after one minute with the link open (goal < 60 MB);
#  - CPU used over that minute (goal < 1 % of a core);
#  - delay from the start of a due second to the set frame reaching the board, over 20 switches
#    (goal: 95th percentile < 30 ms);
#  - resident memory and CPU of tavrel --headless over the same minute, with no display
#    (goals < 25 MB, < 0.5 % of a core).
# Usage: bench/measure_program.sh [BUILD_DIR]   (takes about 90 s)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"' EXIT

Xvfb -displayfd 7 -screen 0 1024x600x24 -nolisten tcp -noreset 7>"$work/display" 2>/dev/null &
pids+=($!)
while [ ! -s "$work/display" ]; do sleep 0.05; done
export DISPLAY=":$(cat "$work/display")"
trayer --edge top --align right --widthtype pixel --width 120 --height 24 >/dev/null 2>&1 &
pids+=($!)
sleep 1

tray_icon_present() { xwininfo -root -tree | grep -q '("tavrel" "Tavrel")'; }

# --- start-up with a full store ---
app="$work/full"
mkdir -p "$app"
cp "$build/bin/tavrel" "$app/"
{
  printf '[Note]\r\n'
  for r in $(seq 1 16); do
    for n in $(seq 1 99); do
      printf '%02d%02d=10100101010%02d00000000%02d%02d00\r\n' "$r" "$n" "$r" $((n % 24)) $((n % 60))
    done
  done
} >"$app/Note.ini"
times=()
for i in 1 2 3 4 5; do
  start=$(date +%s%N)
  (cd "$app" && HOME="$app" exec ./tavrel >/dev/null 2>&1) &
  pid=$!
  until tray_icon_present; do sleep 0.005; done
  end=$(date +%s%N)
  times+=($(((end - start) / 1000000)))
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  while tray_icon_present; do sleep 0.05; done
done
startup=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 3p)
echo "start-up to hidden in the tray, 1,584 entries: median ${startup} ms of ${times[*]} (goal < 300 ms)"

# --- one minute with the link open and 20 scheduled switches ---
app="$work/live"
mkdir -p "$app"
cp "$build/bin/tavrel" "$app/"
printf '[Note]\r\nOpen=1\r\n' >"$app/Name.ini"
base=$(($(date +%s) + 6))
{
  printf '[Note]\r\n'
  for i in $(seq 1 20); do
    t=$(date -d "@$((base + i * 3))" +%H%M%S)
    printf '01%02d=%s1000000000100000000%s\r\n' "$i" $((i % 2)) "$t"
  done
} >"$app/Note.ini"
"$build/bin/tavrel-board" --link "$app/dosdevices/com1" >"$app/board.log" &
pids+=($!)
sleep 0.3
(cd "$app" && HOME="$app" exec ./tavrel >/dev/null 2>&1) &
pid=$!
pids+=($pid)
# The same timetable without a desktop, on a board of its own.
happ="$work/headless"
mkdir -p "$happ"
cp "$build/bin/tavrel" "$app/Note.ini" "$happ/"
"$build/bin/tavrel-board" --link "$happ/dosdevices/com1" >"$happ/board.log" &
pids+=($!)
sleep 0.3
(cd "$happ" && exec env -u DISPLAY HOME="$happ" ./tavrel --headless >/dev/null 2>&1) &
hpid=$!
pids+=($hpid)
sleep 2
clk=$(getconf CLK_TCK)
cpu0=$(awk '{print $14 + $15}' "/proc/$pid/stat")
hcpu0=$(awk '{print $14 + $15}' "/proc/$hpid/stat")
sleep 60
cpu1=$(awk '{print $14 + $15}' "/proc/$pid/stat")
hcpu1=$(awk '{print $14 + $15}' "/proc/$hpid/stat")
rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
hrss=$(awk '/VmRSS/ {print $2}' "/proc/$hpid/status")
sleep $((base + 63 - $(date +%s) > 0 ? base + 63 - $(date +%s) : 0))
echo "resident memory after one minute with the link open: $((rss / 1024)) MB (goal < 60 MB)"
awk -v a="$cpu0" -v b="$cpu1" -v hz="$clk" \
  'BEGIN { printf "CPU over 60 s with the link open: %.2f %% of a core (goal < 1 %%)\n", (b - a) / hz / 60 * 100 }'
grep -c outputs "$app/board.log" >/dev/null
grep outputs "$app/board.log" | awk '{ split($1, t, "."); print t[2] + 0 }' | sort -n >"$work/delays"
n=$(wc -l <"$work/delays")
p95=$(awk -v n="$n" 'NR == int((n * 95 + 99) / 100) { print }' "$work/delays")
echo "delay from the due second to the set frame at the board: $n switches, median $(sed -n "$(((n + 1) / 2))p" "$work/delays") ms, 95th percentile ${p95} ms, max $(tail -n 1 "$work/delays") ms (goal: 95th percentile < 30 ms)"
echo "tavrel --headless over the same minute: resident memory $((hrss / 1024)) MB (goal < 25 MB)"
awk -v a="$hcpu0" -v b="$hcpu1" -v hz="$clk" \
  'BEGIN { printf "tavrel --headless CPU over 60 s: %.2f %% of a core (goal < 0.5 %%)\n", (b - a) / hz / 60 * 100 }'
