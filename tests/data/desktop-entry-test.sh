#!/usr/bin/env bash
# The desktop entry and the file types of scripts: the entry is valid, takes the file it is
# handed (so that a file manager opens a script with Tarsil), and names exactly the types that
# the shared-mime-info file declares, which map *.fcs and *.fcx (any letter case) to them.
# Usage: desktop-entry-test.sh SOURCE_DIR
set -euo pipefail
top=${1:?usage: desktop-entry-test.sh SOURCE_DIR}
entry=$top/data/tarsil.desktop
types=$top/data/tarsil-mime.xml
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$entry" || fail "desktop-file-validate rejects $entry"
fi
grep -Eq '^Exec=tarsil %[fF]$' "$entry" || fail "Exec does not pass the file: $(grep ^Exec= "$entry")"

entry_types=$(sed -n 's/^MimeType=//p' "$entry" | tr ';' '\n' | sed '/^$/d' | sort)
declared=$(sed -n 's/.*<mime-type type="\([^"]*\)".*/\1/p' "$types" | sort)
[ -n "$entry_types" ] || fail "the desktop entry names no MimeType"
[ "$entry_types" = "$declared" ] ||
  fail "the entry names [$entry_types] but the types file declares [$declared]"

if command -v update-mime-database >/dev/null; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work/mime/packages"
  cp "$types" "$work/mime/packages/tarsil.xml"
  XDG_DATA_DIRS=$work update-mime-database "$work/mime" >/dev/null 2>"$work/errors" ||
    fail "update-mime-database: $(cat "$work/errors")"
  [ ! -s "$work/errors" ] || fail "update-mime-database: $(cat "$work/errors")"
  grep -qx 'application/x-tarsil-script:\*\.fcs' "$work/mime/globs" || fail "*.fcs is not a script"
  grep -qx 'application/x-tarsil-scrambled-script:\*\.fcx' "$work/mime/globs" ||
    fail "*.fcx is not a scrambled script"
  # Globs without case-sensitive="true" match any letter case (x.FCX, as the program reads it).
  ! grep 'fc[sx]' "$work/mime/globs2" | grep -q ':cs' || fail "the script globs are case-sensitive"
fi
echo "1 passed, 0 failed"
