#!/usr/bin/env bash
# The English catalogue is whole and up to date: lupdate over the sources changes nothing in it and
# lrelease finds no unfinished text. The program speaks the desktop's language: English for an
# English or German desktop, Chinese for a Chinese one and for the plain C locale; --lang wins.
# Usage: check.sh SOURCE_DIR LUPDATE LRELEASE TAVREL
set -euo pipefail
src=$1 lupdate=$2 lrelease=$3 tavrel=$4
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cp "$src/translations/tavrel_en.ts" "$tmp/en.ts"
"$lupdate" -no-obsolete -locations none "$src/src" -ts "$tmp/en.ts" >/dev/null
diff -u "$src/translations/tavrel_en.ts" "$tmp/en.ts" ||
  fail "texts changed: cmake --build build --target update_translations, then translate them"
"$lrelease" "$tmp/en.ts" -qm "$tmp/en.qm" | grep -q " 0 unfinished" || fail "unfinished texts"

cjk() { grep -qP '[\x{3000}-\x{9fff}\x{ff00}-\x{ffef}]'; }
speaks() {  # speaks LANGUAGE LANG [OPTIONS...]: the language --help is in
  local language=$1 lang=$2
  shift 2
  if env -u LC_ALL LANGUAGE="$language" LANG="$lang" "$tavrel" "$@" --help | cjk; then
    echo zh
  else
    echo en
  fi
}
[ "$(speaks "" en_US.UTF-8)" = en ] || fail "English desktop"
[ "$(speaks de:zh de_DE.UTF-8)" = en ] || fail "German first"
[ "$(speaks "" zh_CN.UTF-8)" = zh ] || fail "Chinese desktop"
[ "$(speaks "" C)" = zh ] || fail "plain C locale"
[ "$(speaks "" en_US.UTF-8 --lang zh)" = zh ] || fail "--lang zh"
[ "$(speaks "" C --lang en)" = en ] || fail "--lang en"
! env -u LC_ALL LANG=en_US.UTF-8 "$tavrel" --list-ports | cjk || fail "--list-ports in English"
! env -u LC_ALL LANG=en_US.UTF-8 "$tavrel" --no-such 2>&1 | cjk || fail "an error in English"
echo "the catalogue is whole; the language follows the desktop"
