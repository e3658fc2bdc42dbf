#!/usr/bin/env bash
# The programs as a package installs them, run briefly: --version, --help, and tavrel --headless
# on a data folder of its own whose one entry falls due a few seconds after the start, against
# tavrel-board on a pseudo-terminal: the route switches on time, the switch is on standard
# output, and SIGTERM ends the run with status 0. With ARCH, both programs must be built for
# that machine (aarch64: run here through qemu-user-static).
# Usage: smoke.sh TAVREL TAVREL_BOARD [ARCH]
set -u
tavrel=$1
board=$2
arch=${3:-}
work=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; rm -rf "$work"' EXIT
failed=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAIL: $1"; failed=$((failed + 1)); fi; }
. "$(dirname "$0")/../support/wait_for.sh"
plain=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$work/home")
mkdir "$work/home"

if [ -n "$arch" ]; then
  for program in "$tavrel" "$board"; do
    machine=$(LC_ALL=C readelf -h "$program" | sed -n 's/^ *Machine: *//p')
    check "$(basename "$program") is built for $arch ($machine)" '[ "${machine,,}" = "${arch,,}" ]'
  done
fi
check "--version" '"${plain[@]}" "$tavrel" --version | grep -qx "Tavrel [0-9.]*"'
check "--help lists the options" '"${plain[@]}" "$tavrel" --help | grep -q -- --link-port'

app=$work/app
mkdir "$app"
# headless opens the link whatever Open says
printf '[Note]\r\nOpen=0\r\n' >"$app/Name.ini"
printf '[Note]\r\n0101=11000000000100000000%s\r\n' "$(date -d '+8 seconds' +%H%M%S)" >"$app/Note.ini"
"$board" --link "$app/dosdevices/com1" >"$work/board.log" 2>&1 &
pids+=($!)
wait_for 'grep -q ready "$work/board.log"' 10
"${plain[@]}" "$tavrel" --headless --data "$app" >"$work/out.log" 2>"$work/err.log" &
program=$!
pids+=($program)
wait_for 'grep -q "outputs 0001" "$work/board.log"' 20
check "a scheduled switch reaches the board" 'grep -q "outputs 0001" "$work/board.log"'
check "the switch is on standard output with its key" 'grep -q ",1,吸合,key0101$" "$work/out.log"'
kill -TERM "$program"
wait "$program"
status=$?
check "SIGTERM ends it with status 0 (status $status)" '[ $status -eq 0 ]'
[ $failed -eq 0 ] || { cat "$work/out.log" "$work/err.log" "$work/board.log"; exit 1; }
