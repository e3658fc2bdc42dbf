#!/usr/bin/env bash
# The program without a desktop: tavrel --headless with no DISPLAY on a folder of its own, against
# the simulated board. A scheduled switch reaches the board, the switch record and standard output;
# a second copy on the same folder is refused; SIGTERM ends it with status 0.
# Usage: headless.sh TAVREL TAVREL_BOARD
set -u
tavrel=$1
board=$2
work=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; rm -rf "$work"' EXIT
failed=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAIL: $1"; failed=$((failed + 1)); fi; }
wait_for() {
  local deadline=$((SECONDS + ${2:-5}))
  while ! eval "$1"; do
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.1
  done
}

app=$work/app
mkdir -p "$app"
cp "$tavrel" "$app/tavrel"
printf '[Note]\r\nOpen=0\r\n' >"$app/Name.ini"  # headless opens the link whatever Open says
printf '[Note]\r\n0101=11000000000100000000%s\r\n' "$(date -d '+3 seconds' +%H%M%S)" >"$app/Note.ini"
"$board" --link "$app/dosdevices/com1" >"$work/board.log" 2>&1 &
pids+=($!)
wait_for 'grep -q ready "$work/board.log"'
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$app/tavrel" --headless \
  >"$work/out.log" 2>"$work/err.log" &
program=$!
pids+=($program)
wait_for 'grep -q "outputs 0001" "$work/board.log"' 8
check "a scheduled switch reaches the board" 'grep -q "outputs 0001" "$work/board.log"'
check "the switch is on standard output with its key" 'grep -q ",1,吸合,key0101$" "$work/out.log"'
check "and in the record" 'grep -q ",1,吸合,key0101" "$app"/log/*.csv'
env -u DISPLAY "$app/tavrel" --headless >/dev/null 2>"$work/second.log"
status=$?
check "a second copy on the folder is refused (status $status)" \
  '[ $status -eq 1 ] && [ "$(wc -l <"$work/second.log")" -eq 1 ]'
echo "RSS of --headless: $(awk '/VmRSS/ {print $2, $3}' "/proc/$program/status")"
kill -TERM "$program"
start=$(date +%s%N)
wait "$program"
status=$?
ms=$((($(date +%s%N) - start) / 1000000))
check "SIGTERM ends it with status 0 (status $status after $ms ms)" '[ $status -eq 0 ]'
[ $failed -eq 0 ] || { cat "$work/out.log" "$work/err.log" "$work/board.log"; exit 1; }
