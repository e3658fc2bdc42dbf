#!/usr/bin/env bash
# End-to-end tests of the real program in a real X server: Xvfb with trayer as the notification
# area, a copy of the executable in a temporary application folder, tavrel-board on its
# dosdevices/com1; driven with xdotool, read with xwininfo, import and the simulator's output.
# Usage: e2e.sh TAVREL TAVREL_BOARD
set -u
unset QT_QPA_PLATFORM  # the program under test talks to the X server below, whatever the caller set
tavrel=$1
board=$2
work=$(mktemp -d)
pids=()
passed=0
failed=0

cleanup() {
  for p in "${pids[@]}"; do kill -CONT "$p" 2>/dev/null; kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

ok() { echo "ok: $1"; passed=$((passed + 1)); }
fail() { echo "FAIL: $1"; failed=$((failed + 1)); }
check() { if eval "$2"; then ok "$1"; else fail "$1"; fi; }
# A step that cannot go on (no window to look at or click): the run ends here, failed.
stop_here() {
  echo "FAIL: $1"
  echo "$passed passed, $((failed + 1)) failed"
  exit 1
}
. "$(dirname "$0")/../support/wait_for.sh"

# --- the X server and the notification area ---
# -noreset: when its last client leaves, an X server resets and refuses new clients for a moment;
# the program started right after the notification area is gone would find no display.
Xvfb -displayfd 7 -screen 0 1024x600x24 -nolisten tcp -noreset 7>"$work/display" 2>/dev/null &
pids+=($!)
wait_for '[ -s "$work/display" ]' || { echo "FAIL: Xvfb did not start"; exit 1; }
export DISPLAY=":$(cat "$work/display")"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 -p "$XDG_RUNTIME_DIR"

start_tray() {
  trayer --edge top --align right --widthtype pixel --width 120 --height 24 --transparent false \
    >/dev/null 2>&1 &
  tray_pid=$!
  pids+=($tray_pid)
  wait_for 'xwininfo -root -tree | grep -q "\"panel\""'
}

# A fresh application folder with the program in it: sets app.
new_app() {
  app="$work/$1"
  mkdir -p "$app"
  cp "$tavrel" "$app/tavrel"
}

start_program() {  # in $app, with HOME pointed at the folder
  (cd "$app" && HOME="$app" XDG_CONFIG_HOME= exec ./tavrel >"$app/program.log" 2>&1) &
  program=$!
  pids+=($program)
}

# The title ends in " *" while the entries are not saved.
window_id() { xdotool search --onlyvisible --name '^PC智能Tavrel( \*)?$' 2>/dev/null | head -n 1; }

# The centre of the program's icon in the tray, "X Y".
tray_icon() {
  xwininfo -root -tree | awk '/\("tavrel" "Tavrel"\)/ && /22x22/ {
    split($NF, a, "+"); print a[2] + 11, a[3] + 11; exit }'
}

# Colour of pixel X Y of the window in screenshot $3 as "r,g,b".
pixel() {
  convert "$3" -format "%[fx:int(255*p{$1,$2}.r)],%[fx:int(255*p{$1,$2}.g)],%[fx:int(255*p{$1,$2}.b)]" info:
}

lamp_x=(7 35 63 91 8 35 64 91 8 35 64 88 8 35 64 88)
lamp_y=(88 88 88 88 136 136 136 136 192 192 192 192 240 240 240 240)
# The sixteen lamp colours in a screenshot of the window, as words.
lamps() {
  local shot=$1 out="" i c
  for i in $(seq 0 15); do
    c=$(pixel $((lamp_x[i] + 11)) $((lamp_y[i] + 11)) "$shot")
    case $c in
      0,255,0) out+="G" ;; 255,0,0) out+="R" ;; 192,192,192) out+="-" ;; *) out+="?" ;;
    esac
  done
  echo "$out"
}

show_window() {  # clicked again while the tray may still be moving its icons
  local try
  for try in 1 2 3; do
    xdotool mousemove $(tray_icon) click 1 && wait_for '[ -n "$(window_id)" ]' 2 && return 0
  done
  return 1
}

shoot() {
  local id
  id=$(window_id)
  [ -n "$id" ] || stop_here "no program window to take $1 of"
  import -window "$id" "$1"
}

click_at() {
  local id
  id=$(window_id)
  [ -n "$id" ] || stop_here "no program window to click at $1 $2"
  xdotool mousemove --window "$id" "$1" "$2" click 1
}

# Presses Return in the next message box "提示" (OK); $1 says what it answers.
answer_box() {
  local box
  wait_for '[ -n "$(xdotool search --onlyvisible --name "^提示$" 2>/dev/null)" ]' ||
    stop_here "no message box for $1"
  box=$(xdotool search --onlyvisible --name '^提示$' | head -n 1)
  xdotool windowfocus --sync "$box" key Return
  wait_for '[ -z "$(xdotool search --onlyvisible --name "^提示$" 2>/dev/null)" ]'
}

stop_program() { kill "$program" 2>/dev/null; wait "$program" 2>/dev/null; }

# Answers the question about unsaved entries with keys $1: "Return" 保存, "Tab space" 不保存.
answer_question() {
  local box
  wait_for '[ -n "$(xdotool search --onlyvisible --name "^提示$" 2>/dev/null)" ]' ||
    stop_here "no question about the unsaved entries"
  box=$(xdotool search --onlyvisible --name '^提示$' | head -n 1)
  xdotool windowfocus --sync "$box" key $1
}

# What a window manager sends when the user clicks a window's close box: WM_DELETE_WINDOW.
close_box() {
  python3 - "$1" <<'PY'
import ctypes as c, sys
x = c.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = x.XInternAtom.restype = c.c_void_p
x.XInternAtom.argtypes = [c.c_void_p, c.c_char_p, c.c_int]
d, w = c.c_void_p(x.XOpenDisplay(None)), int(sys.argv[1])
# An XClientMessageEvent in the longs of an XEvent: type 33, serial, send_event, display, window,
# message_type, format, data.
e = (c.c_long * 24)(33, 0, 0, 0, w, x.XInternAtom(d, b"WM_PROTOCOLS", 0), 32,
                    x.XInternAtom(d, b"WM_DELETE_WINDOW", 0))
x.XSendEvent(d, c.c_ulong(w), 0, c.c_long(0), e)
x.XFlush(d)
PY
}

start_tray

# --- 1. no files: settings written back, hidden in the tray, a click shows it ---
new_app "no files"
start_program
wait_for 'grep -q "Com=1" "$app/Name.ini" 2>/dev/null && [ -n "$(tray_icon)" ]'
check "no files: Name.ini holds ID=1 and Com=1" 'grep -q "^ID=1" "$app/Name.ini" && grep -q "^Com=1" "$app/Name.ini"'
check "no files: no window is mapped after start-up" '[ -z "$(window_id)" ]'
check "no files: the tray icon is present" '[ -n "$(tray_icon)" ]'
check "no files: a left click on the icon maps the window" 'show_window'
if [ -n "$(window_id)" ]; then
  shoot "$work/tabs.png"
  # Unnamed routes carry their numbers ("2 未命名"), so no two unselected tabs look alike.
  for t in 1 2 3 9 15; do
    convert "$work/tabs.png" -crop "60x20+$((128 + (t % 8) * 68 + 4))+$((40 + (t / 8) * 25 + 3))" +repage "$work/tab$t.png"
  done
  alike=0
  for t in 2 3 9 15; do
    [ "$(compare -metric AE "$work/tab1.png" "$work/tab$t.png" null: 2>&1)" != "0" ] || alike=1
  done
  check "no files: unnamed tabs tell themselves apart" '[ $alike = 0 ]'
fi
stop_program

# --- 1b. what the user sees: the icon in the tray and on the window, the lamp numbers, the editor ---
# Screenshots go to $TAVREL_E2E_SHOTS when it names a folder (tray.png, window.png).
check_looks() {
  local at x y colours shot i c box dialog
  new_app "looks"
  start_program
  wait_for '[ -n "$(tray_icon)" ]'
  sleep 0.5
  read -r x y <<<"$(tray_icon)"
  import -window root "$work/root.png"
  convert "$work/root.png" -crop "22x22+$((x - 11))+$((y - 11))" +repage "$work/slot.png"
  colours=$(convert "$work/slot.png" -format %k info:)
  check "looks: the tray icon is drawn ($colours colours in its slot)" '[ "$colours" -gt 8 ]'
  show_window
  check "looks: the window carries its icon (_NET_WM_ICON)" \
    'xprop -id "$(window_id)" _NET_WM_ICON | grep -q "^_NET_WM_ICON(CARDINAL) = "'
  shot="$work/looks.png"
  shoot "$shot"
  # Each number stands centred over its own lamp: the dark pixels between the lamp row and the
  # one above, in a band as wide as the lamps are apart, are centred on the lamp.
  local number_y=(64 112 168 216) off=""
  for i in $(seq 0 15); do
    c=$((lamp_x[i] + 11))
    box=$(convert "$shot" -crop "24x$((lamp_y[i] - number_y[i / 4]))+$((c - 12))+${number_y[i / 4]}" \
      +repage -colorspace gray -threshold 50% -negate -format %@ info:)
    # box is WxH+X+Y of the ink in the band; its centre must be within 2 pixels of the lamp's.
    local w=${box%%x*} ox=${box#*+}
    ox=${ox%%+*}
    if [ "$w" -eq 0 ] || [ $((2 * ox + w - 24)) -lt -4 ] || [ $((2 * ox + w - 24)) -gt 4 ]; then
      off+=" $((i + 1))($box)"
    fi
  done
  check "looks: every lamp has its number centred over it${off:+, not:$off}" '[ -z "$off" ]'
  # The editor: cancelled with the mouse, reopened, Return confirms (then saved to count it).
  dialog_id() { xdotool search --onlyvisible --name '^添加第1路的条目$' 2>/dev/null | head -n 1; }
  click_at 606 139  # CmdAdd
  wait_for '[ -n "$(dialog_id)" ]'
  xdotool mousemove --window "$(dialog_id)" 304 164 click 1  # CancelButton
  wait_for '[ -z "$(dialog_id)" ]'
  click_at 606 139
  wait_for '[ -n "$(dialog_id)" ]'
  xdotool windowfocus --sync "$(dialog_id)" key Return  # a real key press, as a user's
  wait_for '[ -z "$(dialog_id)" ]'
  dialog=$(dialog_id)
  [ -z "$dialog" ] || xdotool mousemove --window "$dialog" 304 164 click 1
  click_at 62 315   # CmdSave: "保存成功！"
  wait_for 'xdotool search --onlyvisible --name "^提示$" >/dev/null'
  if [ -n "${TAVREL_E2E_SHOTS:-}" ]; then
    import -window "$(xdotool search --onlyvisible --name '^提示$' | head -n 1)" "$TAVREL_E2E_SHOTS/message.png"
  fi
  xdotool windowfocus --sync "$(xdotool search --onlyvisible --name '^提示$' | head -n 1)" key Return
  check "looks: Return in the reopened editor adds the entry" '[ "$(grep -c "^0101=" "$app/Note.ini" 2>/dev/null)" = 1 ]'
  if [ -n "${TAVREL_E2E_SHOTS:-}" ]; then
    convert "$work/root.png" -crop "$(xwininfo -root -tree | awk '/"panel"/ {print $(NF-1); exit}')" +repage \
      "$TAVREL_E2E_SHOTS/tray.png" 2>/dev/null
    cp "$shot" "$TAVREL_E2E_SHOTS/window.png"
  fi
  stop_program
}
check_looks

# --- 1c. save, quit with 退出, start again: what was saved comes back, nothing else ---
check_save_and_restart() {
  local editor shot
  new_app "restart"
  restart() {  # quits with 退出 when running (keys $1 answer the question), starts again, shows
    if kill -0 "$program" 2>/dev/null; then
      click_at 606 347
      [ -z "${1:-}" ] || answer_question "$1"
      wait_for '! kill -0 $program 2>/dev/null' || stop_here "退出 did not end the program"
    fi
    start_program
    wait_for '[ -n "$(tray_icon)" ]' && show_window || stop_here "the program came back without its window"
    sleep 0.3
  }
  add_entry() {  # 添加, then Return in the editor
    click_at 606 139
    wait_for '[ -n "$(xdotool search --onlyvisible --name "^添加第1路的条目$" 2>/dev/null)" ]' ||
      stop_here "添加 opened no editor"
    editor=$(xdotool search --onlyvisible --name '^添加第1路的条目$' | head -n 1)
    xdotool windowfocus --sync "$editor" key Return
    wait_for '[ -z "$(xdotool search --onlyvisible --name "^添加第1路的条目$" 2>/dev/null)" ]'
  }
  # The inside of the list and the 自动功能允许 box, as cut from screenshot $1.
  looks() {
    convert "$1" -crop 400x200+140+120 +repage "$1.list.png"
    convert "$1" -crop 92x29+560+96 +repage "$1.auto.png"
  }
  same() { [ "$(compare -metric AE "$1" "$2" null: 2>&1)" = "0" ]; }
  restart
  shoot "$work/empty.png" && looks "$work/empty.png"
  add_entry
  click_at 62 315 && answer_box "保存成功！"
  shoot "$work/saved.png" && looks "$work/saved.png"
  restart
  shot="$work/back.png"
  shoot "$shot" && looks "$shot"
  check "restart: the saved entry is listed again" \
    'same "$shot.list.png" "$work/saved.png.list.png" && ! same "$shot.list.png" "$work/empty.png.list.png"'
  # The first entry ticks 自动功能允许; start-up does too when it finds entries.
  check "restart: 自动功能允许 is ticked" \
    '! same "$work/saved.png.auto.png" "$work/empty.png.auto.png" && same "$shot.auto.png" "$work/saved.png.auto.png"'
  click_at 250 128  # the entry's line
  click_at 606 179 && answer_box "删除当前信息吗？"
  click_at 62 315 && answer_box "保存成功！"
  restart
  shot="$work/deleted.png"
  shoot "$shot" && looks "$shot"
  check "restart: an entry deleted and saved stays gone, 自动功能允许 clear" \
    'same "$shot.list.png" "$work/empty.png.list.png" && ! grep -q "^0101=" "$app/Note.ini" &&
     same "$shot.auto.png" "$work/empty.png.auto.png"'
  add_entry
  restart "Tab space"  # 不保存
  shot="$work/unsaved.png"
  shoot "$shot" && looks "$shot"
  check "restart: an entry added, 退出 with 不保存: gone" 'same "$shot.list.png" "$work/empty.png.list.png"'
  add_entry
  restart "Return"  # 保存
  shot="$work/kept.png"
  shoot "$shot" && looks "$shot"
  check "restart: an entry added, 退出 with 保存: listed again" 'same "$shot.list.png" "$work/saved.png.list.png"'
  # The close box hides the window into the tray; the program and its icon stay.
  add_entry
  close_box "$(window_id)"
  wait_for '[ -z "$(window_id)" ]'
  sleep 0.5
  check "close box: the window is hidden, the program runs on, its icon stays" \
    '[ -z "$(window_id)" ] && kill -0 $program 2>/dev/null && [ -n "$(tray_icon)" ]'
  # The tray menu's 退出 (its last item) asks about the entry added; 保存.
  xdotool mousemove $(tray_icon) click 3
  sleep 0.5
  xdotool key Up Return
  answer_question Return
  wait_for '! kill -0 $program 2>/dev/null'
  check "tray menu: 退出 asks, saves and ends the program" \
    '! kill -0 $program 2>/dev/null && [ "$(grep -c "^01..=" "$app/Note.ini")" = 2 ]'
}
check_save_and_restart

# --- SIGTERM (a shutdown that does not ask) with an entry unsaved: kept, offered at the next start ---
sigterm_keeps_unsaved() {
  local record
  new_app "sigterm"
  start_program
  wait_for '[ -n "$(tray_icon)" ]' && show_window || stop_here "no window to add an entry in"
  add_entry
  wait_for '[ -s "$app/Note.ini.unsaved" ]' 4
  kill -TERM "$program"
  wait_for '! kill -0 $program 2>/dev/null' 4
  record=$(cat "$app"/log/*.csv)
  check "SIGTERM: the program ends, its record ends with 程序退出, the entry is kept aside" \
    '! kill -0 $program 2>/dev/null && [ "$(echo "$record" | tail -n 1 | cut -d, -f3)" = 程序退出 ] &&
     grep -q "^0101=" "$app/Note.ini.unsaved" && ! grep -q "^0101=" "$app/Note.ini" 2>/dev/null'
  start_program
  answer_box "上次有未保存的修改，是否恢复？"  # OK
  wait_for '[ -n "$(tray_icon)" ]' && show_window
  check "SIGTERM: the next start restores the entry as unsaved (title ends in *)" \
    '[ -n "$(xdotool search --onlyvisible --name "^PC智能Tavrel \*$" 2>/dev/null)" ]'
  click_at 606 347
  answer_question "Tab space"  # 不保存
  wait_for '! kill -0 $program 2>/dev/null'
  check "SIGTERM: 不保存 at the end drops the kept entry" \
    '[ ! -e "$app/Note.ini.unsaved" ] && ! grep -q "^0101=" "$app/Note.ini" 2>/dev/null'
}
sigterm_keeps_unsaved

# --- a timetable paused by hand stays paused across a restart: its entry falls due, nothing switches ---
pause_stays() {
  local due
  new_app "paused"
  due=$(date -d "+15 seconds" +%H%M%S)
  printf '[Note]\r\nOpen=1\r\n' >"$app/Name.ini"
  printf '[Note]\r\n0201=11000000000200000000%s\r\n' "$due" >"$app/Note.ini"
  "$board" --link "$app/dosdevices/com1" --states 0000 --verbose >"$app/board.log" 2>&1 &
  pids+=($!)
  wait_for 'grep -q ready "$app/board.log"'
  start_program
  wait_for '[ -n "$(tray_icon)" ]' && show_window || stop_here "no window to pause in"
  click_at 570 102  # 自动功能允许: cleared
  wait_for 'grep -q "^Auto=0" "$app/Name.ini"' 3
  click_at 606 347  # 退出
  wait_for '! kill -0 $program 2>/dev/null'
  start_program
  wait_for 'grep -c "程序启动" "$app"/log/*.csv | grep -q 2'
  wait_for '[ "$(date +%H%M%S)" \> "$due" ]' 20
  sleep 2
  check "pause: kept in Name.ini, recorded as 自动禁止 by 手动" \
    'grep -q "^Auto=0" "$app/Name.ini" && grep -q ",自动禁止,手动" "$app"/log/*.csv'
  check "pause: after the restart the entry due at $due did not switch the board" \
    'grep -q " query\| set " "$app/board.log" && ! grep -q "outputs 0002" "$app/board.log"'
  stop_program
}
pause_stays

# --- 2. a live board: handshake, a scheduled switch, lamps, grey when the board stops ---
new_app "live"
due=$(date -d "+8 seconds" +%H%M%S)
printf '[Note]\r\nOpen=1\r\n' >"$app/Name.ini"
printf '[Note]\r\n0201=11000000000200000000%s\r\n' "$due" >"$app/Note.ini"
"$board" --link "$app/dosdevices/com1" --states 0101 --verbose >"$app/board.log" 2>&1 &
board_pid=$!
pids+=($board_pid)
wait_for 'grep -q ready "$app/board.log"'
start_program
due_text="${due:0:2}:${due:2:2}:${due:4:2}"
wait_for 'grep -q "outputs 0103" "$app/board.log"' 15
frames=$(grep -E " (query|set [0-9A-F]{4})$" "$app/board.log" | awk '{print $2 $3}' | uniq)
first_set=$(echo "$frames" | grep -n set | head -n 1 | cut -d: -f1)
check "live: the board sees queries first" '[ "$(echo "$frames" | head -n 1)" = query ] && [ -n "$first_set" ]'
check "live: then set frames equal to its own states" \
  '[ "$(echo "$frames" | sed -n "${first_set}p")" = set0101 ] && ! echo "$frames" | tail -n +"$first_set" | grep -q query'
switch_line=$(grep "outputs 0103" "$app/board.log" | head -n 1)
check "live: route 2 switches in its due second ($due_text): $switch_line" '[ "${switch_line:0:8}" = "$due_text" ]'
show_window
sleep 0.5
shoot "$work/live.png"
check "live: the lamps match the board (1, 2 and 9 green)" '[ "$(lamps "$work/live.png")" = GGRRRRRRGRRRRRRR ]'
kill -STOP "$board_pid"
sleep 2
shoot "$work/grey.png"
check "live: the lamps turn grey once the board stops answering" '[ "$(lamps "$work/grey.png")" = ---------------- ]'
kill -CONT "$board_pid"
stop_program
kill "$board_pid"

# --- 3. quit: "Open" and "Run" written, the autostart entry made and removed ---
new_app "quit me"
mkdir -p "$app/.config/autostart"
echo "[Desktop Entry]" >"$app/.config/autostart/other.desktop"
start_program
wait_for '[ -n "$(tray_icon)" ]'
show_window
click_at 480 20   # ChkRun
click_at 606 347  # CmdQuit
wait_for '! kill -0 $program 2>/dev/null'
check "quit: the program ends" '! kill -0 $program 2>/dev/null'
check "quit: Open=0 and Run=1 written" 'grep -q "^Open=0" "$app/Name.ini" && grep -q "^Run=1" "$app/Name.ini"'
check "quit: the record tells the program's start and end" \
  'grep -q ",程序启动," "$app"/log/*.csv && grep -q ",程序退出," "$app"/log/*.csv'
entry="$app/.config/autostart/tavrel.desktop"
check "quit: the autostart entry runs this executable, quoted" \
  'grep -qxF "Exec=\"$app/tavrel\"" "$entry" && grep -qx "Type=Application" "$entry"'
start_program
wait_for '[ -n "$(tray_icon)" ]'
show_window
click_at 480 20   # ChkRun off again
click_at 390 20   # ChkOpen on
click_at 606 347
wait_for '! kill -0 $program 2>/dev/null'
check "quit: a cleared ChkRun removes the entry and leaves the others" '[ ! -e "$entry" ] && [ -e "$app/.config/autostart/other.desktop" ]'
check "quit: Open=1 and Run=0 written" 'grep -q "^Open=1" "$app/Name.ini" && grep -q "^Run=0" "$app/Name.ini"'

# --- a second start on the same folder: the running program's window comes forward ---
second_start() {
  local status copies
  new_app "second start"
  start_program
  wait_for '[ -n "$(tray_icon)" ]'
  (cd "$app" && HOME="$app" XDG_CONFIG_HOME= timeout 10 ./tavrel >"$app/second.log" 2>&1)
  status=$?
  wait_for '[ -n "$(window_id)" ]'
  copies=$(for p in /proc/[0-9]*; do readlink "$p/exe"; done 2>/dev/null | grep -cxF "$app/tavrel")
  check "second start: it ends (status $status), the first window shows, one program runs ($copies)" \
    '[ $status = 0 ] && [ -n "$(window_id)" ] && [ "$copies" = 1 ]'
  stop_program
  # A folder held by --headless: the window program is refused with a message, as before.
  mkdir -p "$app/dosdevices"  # its Com1 leads nowhere (not to the PC's own /dev/ttyS0)
  (cd "$app" && exec ./tavrel --headless >"$app/headless.log" 2>&1) &
  pids+=($!)
  wait_for 'grep -q ",程序启动," "$app/headless.log"'
  (cd "$app" && HOME="$app" XDG_CONFIG_HOME= exec ./tavrel >"$app/refused.log" 2>&1) &
  program=$!
  answer_box "另一个 Tavrel 正在使用此文件夹"
  wait "$program"
  status=$?
  check "second start: refused on a folder held by --headless (status $status)" '[ $status = 1 ]'
  kill "${pids[-1]}"
}
second_start

# --- 5. a port that vanishes: every lamp grey at once, and no fallback to the PC's own UART ---
port_vanishes() {
  local bpid t0 shot_ms grey_ms box ttys
  new_app "port vanishes"
  printf '[Note]\r\nOpen=1\r\n' >"$app/Name.ini"
  "$board" --link "$app/dosdevices/com1" --states 0003 >"$app/board.log" 2>&1 &
  bpid=$!
  pids+=($bpid)
  wait_for 'grep -q ready "$app/board.log"'
  start_program
  wait_for '[ -n "$(tray_icon)" ]'
  show_window
  wait_for 'shoot "$work/held.png" && [ "$(lamps "$work/held.png")" = GGRRRRRRRRRRRRRR ]'
  check "port vanishes: the lamps show the board first" '[ "$(lamps "$work/held.png")" = GGRRRRRRRRRRRRRR ]'
  t0=$(date +%s%N)
  kill "$bpid"  # the simulator ends and removes its link, as an unplugged adapter's goes
  # Screenshots as fast as they come, each timed when it is taken; lamp 1 tells when to stop.
  grey_ms=
  while [ $((($(date +%s%N) - t0) / 1000000)) -lt 3000 ]; do
    shot_ms=$((($(date +%s%N) - t0) / 1000000))
    shoot "$work/vanished.png"
    if [ "$(pixel 18 99 "$work/vanished.png")" = 192,192,192 ]; then grey_ms=$shot_ms; break; fi
  done
  check "port vanishes: every lamp grey within a second (screenshot at ${grey_ms:-never} ms)" \
    '[ -n "$grey_ms" ] && [ $grey_ms -le 1000 ] && [ "$(lamps "$work/vanished.png")" = ---------------- ]'
  box=$(xdotool search --onlyvisible --name '^提示$' 2>/dev/null | head -n 1)
  check "port vanishes: a message box tells it" '[ -n "$box" ]'
  [ -n "$box" ] && xdotool windowfocus --sync "$box" key Return
  wait_for '[ -z "$(xdotool search --onlyvisible --name "^提示$" 2>/dev/null)" ]'
  sleep 2.5  # a quiet try or two to open the port meanwhile
  ttys=$(ls -l "/proc/$program/fd" 2>/dev/null | grep -c ' -> /dev/ttyS')
  check "port vanishes: no /dev/ttyS* is held open while waiting" '[ "$ttys" = 0 ]'
  check "port vanishes: the waiting shows no further box" \
    '[ -z "$(xdotool search --onlyvisible --name "^提示$" 2>/dev/null)" ]'
  # Plugged in again: the link comes back by itself and the set frames with it.
  "$board" --link "$app/dosdevices/com1" --verbose >"$app/board2.log" 2>&1 &
  bpid=$!
  pids+=($bpid)
  wait_for 'grep -q ready "$app/board2.log"'
  t0=$(date +%s%N)
  wait_for 'grep -q " set " "$app/board2.log"' 6
  back_ms=$((($(date +%s%N) - t0) / 1000000))
  check "port back: set frames come back by themselves (${back_ms} ms)" \
    'grep -q " set " "$app/board2.log"'
  check "port back: the record tells the loss and the return" \
    'grep -q ",串口丢失," "$app"/log/*.csv && grep -q ",串口恢复," "$app"/log/*.csv'
  stop_program
}
port_vanishes

# --- the timetable's state after a power cut, and the switch record ---
# Route 1 is on every day from an hour ago to an hour from now; the board comes back released.
# With "Restore" the take-over puts route 1 back on; without it the board's state stays.
power_cut() {  # $1 = Restore value
  local at_past at_future at_soon
  new_app "power cut $1"
  at_past=$(date -d '-1 hour' +%H%M%S)
  at_future=$(date -d '+1 hour' +%H%M%S)
  at_soon=$(date -d '+4 seconds' +%Y%m%d%H%M%S)  # a fixed date: nothing to restore before it
  printf '[Note]\r\nOpen=1\r\nRestore=%s\r\n' "$1" >"$app/Name.ini"
  printf '[Note]\r\n0101=11000000000100000000%s\r\n0102=01000000000100000000%s\r\n0201=100000000002%s\r\n' \
    "$at_past" "$at_future" "$at_soon" >"$app/Note.ini"
  "$board" --link "$app/dosdevices/com1" --states 0000 >"$app/board.log" 2>&1 &
  pids+=($!)
  wait_for 'grep -q ready "$app/board.log"'
  start_program
}
power_cut 1
wait_for 'grep -q "outputs 0001" "$app/board.log"' 4
check "power cut, Restore ticked: route 1 energised again at the take-over" \
  'grep -q "outputs 0001" "$app/board.log"'
wait_for 'grep -q "outputs 0003" "$app/board.log"' 8
check "a scheduled switch reaches the board" 'grep -q "outputs 0003" "$app/board.log"'
check "the record names the restoration and the entry's key" \
  'grep -q ",1,吸合,恢复" "$app"/log/*.csv && grep -q ",2,吸合,key0201" "$app"/log/*.csv'
check "the record is UTF-8 with a byte-order mark and its header" \
  '[ "$(head -c 3 "$app"/log/*.csv | od -An -tx1 | tr -d " ")" = efbbbf ] && head -n 1 "$app"/log/*.csv | grep -q "时间,路,动作,来源"'
stop_program
power_cut 0
wait_for 'grep -q "outputs 0002" "$app/board.log"' 8
check "power cut, Restore off: route 1 stays released as the board reports" \
  'grep -q "outputs 0002" "$app/board.log" && ! grep -q "outputs 0001\|outputs 0003" "$app/board.log"'
stop_program

# --- 4. no notification area: the window stays visible ---
kill "$tray_pid"
wait_for '! xwininfo -root -tree | grep -q "\"panel\""'
new_app "no tray"
start_program
if wait_for '[ -n "$(window_id)" ]' 15; then
  ok "no tray: the window stays visible"
else
  fail "no tray: the window stays visible"
  xwininfo -root -tree | head -20
  cat "$app/program.log"
fi
stop_program

# Built with the sanitizers, the program reports any leak or fault at its end; none may appear.
reports=$(grep -l -E "ERROR: (Address|Leak)Sanitizer|runtime error:" "$work"/*/program.log 2>/dev/null)
check "no sanitizer report from any run" '[ -z "$reports" ]'
[ -z "$reports" ] || while IFS= read -r r; do
  echo "--- $r"
  grep -A 25 -E "Sanitizer|runtime error" "$r" | head -40
done <<<"$reports"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
