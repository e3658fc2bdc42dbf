#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR as a package would (prefix /usr) and checks the
# installed tree with the desktop's own validators; then runs the installed program the way a
# user without a desktop would: --help, --version, --list-ports, --link-port, no display, and
# --headless from its read-only folder under an ordinary user, whose files must appear under
# ~/.local/share/tavrel.
# Usage: install_check.sh BUILD_DIR
set -euo pipefail
build=$1
tmp=$(mktemp -d)
pid=""
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null || true; rm -rf "$tmp"' EXIT
chmod 755 "$tmp"
fail() { echo "FAIL: $*" >&2; exit 1; }

root=$tmp/root
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
for f in usr/bin/tavrel usr/bin/tavrel-board usr/share/applications/tavrel.desktop \
  usr/share/metainfo/org.tavrel.Tavrel.metainfo.xml usr/share/man/man1/tavrel.1.gz \
  usr/share/man/man1/tavrel-board.1.gz usr/lib/systemd/user/tavrel.service \
  usr/share/icons/hicolor/scalable/apps/tavrel.svg; do
  [ -f "$root/$f" ] || fail "not installed: $f"
done
for size in 16 22 24 32 48 256; do
  [ -f "$root/usr/share/icons/hicolor/${size}x${size}/apps/tavrel.png" ] || fail "icon $size"
done
desktop-file-validate "$root/usr/share/applications/tavrel.desktop"
grep -qx 'Icon=tavrel' "$root/usr/share/applications/tavrel.desktop" || fail "desktop Icon"
appstreamcli validate-tree --no-net "$root" >/dev/null || fail "appstreamcli validate-tree"
grep -qx 'ExecStart=/usr/bin/tavrel --headless' "$root/usr/lib/systemd/user/tavrel.service" ||
  fail "unit ExecStart"
if command -v systemd-analyze >/dev/null; then
  # The unit as it names the program inside the temporary tree, so the program is checked too.
  mkdir "$tmp/unit"
  sed "s|^ExecStart=/|ExecStart=$root/|" "$root/usr/lib/systemd/user/tavrel.service" \
    >"$tmp/unit/tavrel.service"
  systemd-analyze verify --man=no "$tmp/unit/tavrel.service"
fi
if command -v man >/dev/null; then
  for page in tavrel tavrel-board; do
    out=$(LC_ALL=C.UTF-8 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$out" ] || fail "man page $page: $out"
  done
fi

tavrel=$root/usr/bin/tavrel
home=$tmp/home
mkdir -m 777 "$home"
run() { env -i PATH=/usr/bin:/bin HOME="$home" "$@"; }

run "$tavrel" --version | grep -qx 'Tavrel [0-9.]*' || fail "--version"
help=$(run "$tavrel" --help)
grep -q -- '--link-port' <<<"$help" || fail "--help lists the options"
# As root the program's folder is writable: --data names the folder shown.
grep -q "：$tmp/mine\$" <<<"$(run "$tavrel" --help --data "$tmp/mine")" || fail "--help folder"
[ -z "$(ls -A "$home")" ] && [ ! -e "$tmp/mine" ] || fail "--help or --version touched a file"

set +e
out=$(run "$tavrel" 2>&1)
status=$?
set -e
[ $status -eq 1 ] && [ "$(wc -l <<<"$out")" -eq 1 ] && grep -q 'headless' <<<"$out" ||
  fail "without a display: status $status, '$out'"
[ ! -e "$home/.local" ] || fail "no display but files made"

run "$tavrel" --list-ports >/dev/null || fail "--list-ports"
run "$tavrel" --data "$tmp/data" --link-port 2 /dev/ptmx | grep -qx 'Com2 -> /dev/ptmx' ||
  fail "--link-port output"
[ "$(readlink "$tmp/data/dosdevices/com2")" = /dev/ptmx ] || fail "--link-port link"
if run "$tavrel" --data "$tmp/data" --link-port 2 /dev/null 2>/dev/null; then
  fail "--link-port to a device that is no terminal"
fi
if run "$tavrel" --data "$tmp/data" --link-port 2 /dev/nonexistent 2>/dev/null; then
  fail "--link-port to a missing device"
fi
if run "$tavrel" --data "$tmp/data" --link-port 2 /etc/passwd 2>/dev/null; then
  fail "--link-port to a file that is no device"
fi
[ "$(readlink "$tmp/data/dosdevices/com2")" = /dev/ptmx ] || fail "a failed link changed com2"

# Installed: the program's folder is not writable for the user; the first start makes the
# user's data folder, and SIGTERM ends the headless run cleanly.
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  command -v setpriv >/dev/null || { echo "setpriv missing: read-only run skipped"; exit 0; }
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
chmod -R a+rX "$root"
env -i PATH=/usr/bin:/bin HOME="$home" "${as_user[@]}" "$tavrel" --headless >"$tmp/out" 2>"$tmp/err" &
pid=$!
# Port Com1 cannot be opened by this user: the message comes once the run is under way.
for _ in $(seq 100); do
  [ -s "$tmp/err" ] && break
  sleep 0.1
done
kill -TERM $pid
wait $pid || fail "--headless ended with status $?: $(cat "$tmp/err")"
[ -d "$home/.local/share/tavrel" ] || fail "no ~/.local/share/tavrel"
[ ! -e "$root/usr/bin/Name.ini" ] && [ ! -e "$root/usr/bin/log" ] || fail "files beside the program"
echo "installed tree and program: ok"
