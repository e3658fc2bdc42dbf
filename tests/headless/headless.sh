#!/usr/bin/env bash
# The program without a desktop: tavrel --headless with no DISPLAY on a folder of its own, against
# the simulated board. A scheduled switch reaches the board, the switch record and standard output;
# a second copy on the same folder is refused; SIGTERM ends it with status 0. On a real mosquitto
# broker (with a password) it tells its connection on standard output, takes a command, and when it
# dies without a goodbye the broker's last will marks the board offline; the password shows nowhere.
# Standard output that blocks or goes away never holds the timetable up.
# Usage: headless.sh TAVREL TAVREL_BOARD
set -u
tavrel=$1
board=$2
work=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; rm -rf "$work"' EXIT
failed=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAIL: $1"; failed=$((failed + 1)); fi; }
. "$(dirname "$0")/../support/wait_for.sh"

# The broker, on a free loopback port, with one user.
mosquitto=$(command -v mosquitto || echo /usr/sbin/mosquitto)
password="pw-$RANDOM-$RANDOM"
mosquitto_passwd -c -b "$work/passwd" home "$password"
for attempt in 1 2 3 4 5; do
  port=$((20000 + RANDOM % 30000))
  printf 'listener %s 127.0.0.1\nallow_anonymous false\npassword_file %s\nuser %s\n' \
    "$port" "$work/passwd" "$(id -un)" >"$work/mosquitto.conf"
  "$mosquitto" -c "$work/mosquitto.conf" >"$work/broker.log" 2>&1 &
  broker=$!
  pids+=($broker)
  wait_for 'grep -q "running" "$work/broker.log" || ! kill -0 $broker 2>/dev/null' && kill -0 $broker && break
done
mqtt=(-h 127.0.0.1 -p "$port" -u home -P "$password")
mosquitto_sub "${mqtt[@]}" -v -t 'tavrel/#' >"$work/sub.log" &
pids+=($!)

app=$work/app
mkdir -p "$app"
cp "$tavrel" "$app/tavrel"
# headless opens the link whatever Open says
printf '[Note]\r\nOpen=0\r\n[Mqtt]\r\nHost=127.0.0.1\r\nPort=%s\r\nUser=home\r\nPassword=%s\r\n' \
  "$port" "$password" >"$app/Name.ini"
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
wait_for 'grep -q ",远程已连接,127.0.0.1:$port$" "$work/out.log"'
check "the broker's connection is on standard output" 'grep -q ",远程已连接,127.0.0.1:$port$" "$work/out.log"'
mosquitto_pub "${mqtt[@]}" -t tavrel/1/route/2/set -m ON
wait_for 'grep -q "outputs 0003" "$work/board.log"'
check "a command from the broker reaches the board" 'grep -q "outputs 0003" "$work/board.log"'
check "and is recorded as a broker command" 'grep -q ",2,吸合,远程$" "$work/out.log"'
# A timetable copied in over the running one (an atomic replace) is taken up and said so; the
# signals a daemon meets never end it.
printf '[Note]\r\n0501=11000000000500000000%s\r\n' "$(date -d '+3 seconds' +%H%M%S)" >"$work/new.ini"
mv "$work/new.ini" "$app/Note.ini"
wait_for 'grep -q ",时间表更新," "$work/out.log"' 2
check "a replaced Note.ini is taken up and said" 'grep -q ",时间表更新,$app/Note.ini$" "$work/out.log"'
for sig in HUP USR1 USR2 ALRM; do kill -$sig "$program"; sleep 0.2; done
wait_for 'grep -q "outputs 0013" "$work/board.log"' 8
check "its entry switches, after SIGHUP, SIGUSR1, SIGUSR2 and SIGALRM" \
  'kill -0 "$program" && grep -q ",5,吸合,key0501$" "$work/out.log"'
# Name.ini edited by hand, then SIGHUP: a pause and a route's name set there are taken up.
sed -i -e '/^Auto=/d' -e 's/^\[Note\]\r$/[Note]\r\nAuto=0\r\n06=pump\r/' "$app/Name.ini"
kill -HUP "$program"
wait_for 'grep -q ",自动禁止,$" "$work/out.log"'
check "SIGHUP takes up a pause and a name written in Name.ini" \
  'grep -q ",自动禁止,$" "$work/out.log" &&
   [ "$(mosquitto_sub "${mqtt[@]}" -C 1 -W 3 -t tavrel/1/route/6/name)" = pump ]'
env -u DISPLAY "$app/tavrel" --headless --data "$work/greenhuose" >/dev/null 2>"$work/typo.log"
status=$?
check "a --data folder that does not exist is refused (status $status)" \
  '[ $status -eq 2 ] && [ ! -e "$work/greenhuose" ] && grep -q "greenhuose" "$work/typo.log"'
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
# The broker's last word on availability since line $1 of what the subscriber saw.
availability_since() { tail -n +"$1" "$work/sub.log" | grep availability | tail -n 1; }
wait_for '[ "$(availability_since 1)" = "tavrel/1/availability offline" ]'
check "a clean end says offline itself" '[ "$(availability_since 1)" = "tavrel/1/availability offline" ]'

# Killed without a goodbye: the broker publishes the last will.
seen=$(($(wc -l <"$work/sub.log") + 1))
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$app/tavrel" --headless \
  >"$work/out2.log" 2>>"$work/err.log" &
program=$!
pids+=($program)
wait_for '[ "$(availability_since $seen)" = "tavrel/1/availability online" ]' 8
check "back online after a restart" '[ "$(availability_since $seen)" = "tavrel/1/availability online" ]'
seen=$(($(wc -l <"$work/sub.log") + 1))
kill -KILL "$program"
wait "$program" 2>/dev/null
wait_for '[ "$(availability_since $seen)" = "tavrel/1/availability offline" ]'
check "killed, the last will reads offline" '[ "$(availability_since $seen)" = "tavrel/1/availability offline" ]'
check "Name.ini is the owner's alone (mode $(stat -c %a "$app/Name.ini"))" '[ "$(stat -c %a "$app/Name.ini")" = 600 ]'
check "the password shows nowhere" '! grep -rqF "$password" "$work"/*.log "$app"/log'
# Sends SIGTERM to $1 and waits for its end (killed after 5 s): sets status and ms.
terminate() {
  local start watchdog
  start=$(date +%s%N)
  kill -TERM "$1"
  (sleep 5 && kill -KILL "$1" 2>/dev/null) &
  watchdog=$!
  wait "$1"
  status=$?
  kill "$watchdog" 2>/dev/null
  ms=$((($(date +%s%N) - start) / 1000000))
}
# Standard output nobody reads never holds the timetable up: a pipe already full (its reader never
# reads), then a reader that goes away after one line (| head -1).
at() { date -d "+$1 seconds" +%H%M%S; }
# Whether the board's outputs last reported have route $1 on.
route_on() { (($(printf '%d' "0x$(grep -o 'outputs [0-9A-Fa-f]*' "$work/board.log" | tail -n 1 |
  cut -c9-)") >> ($1 - 1) & 1)); }
printf '[Note]\r\nOpen=0\r\n' >"$app/Name.ini"  # no broker: its library ignores SIGPIPE itself
mkfifo "$work/full"
exec 3<>"$work/full"
timeout 1 cat /dev/zero >&3
printf '[Note]\r\n0301=11000000000300000000%s\r\n' "$(at 3)" >"$app/Note.ini"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$app/tavrel" --headless \
  >"$work/full" 2>>"$work/err.log" &
program=$!
pids+=($program)
wait_for 'route_on 3' 8
check "standard output stuck: the scheduled switch reaches the board" 'route_on 3'
terminate $program
check "and SIGTERM ends it (status $status after $ms ms)" '[ $status -eq 0 ]'
printf '[Note]\r\n0401=11000000000400000000%s\r\n' "$(at 3)" >"$app/Note.ini"
env --default-signal=PIPE -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$app/tavrel" \
  --headless > >(head -1 >"$work/head.log") 2>>"$work/err.log" &
program=$!
pids+=($program)
wait_for 'route_on 4' 8
check "| head -1: the program runs on and switches" 'route_on 4'
terminate $program
check "and ends on SIGTERM (status $status after $ms ms)" '[ $status -eq 0 ]'
check "the reader had its line" '[ "$(wc -l <"$work/head.log")" -eq 1 ]'

[ $failed -eq 0 ] || { cat "$work/out.log" "$work/err.log" "$work/board.log" "$work/broker.log"; exit 1; }
