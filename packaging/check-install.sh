#!/usr/bin/env bash
# Installs a built tree into a temporary prefix and checks that a desktop would find everything
# there: the program and its libraries (resolved from the prefix, not the build tree), the help
# pages, the menu and autostart entries (valid, naming the installed program and icon) and the
# icons. Usage: check-install.sh BUILD_DIR HELP_SOURCE_DIR [DESKTOP_FILE_VALIDATE]
set -euo pipefail
build=$1
help_source=$2
validate=${3:-}

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
need() {
  [ -s "$prefix/$1" ] || fail "$1 not installed"
}

cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 || {
  cat "$prefix.log"
  rm -f "$prefix.log"
  fail "cmake --install failed"
  exit 1
}
grep -E "Granted port 110|Port 110 not granted|Could not grant|setcap not found" "$prefix.log" || fail "no word on port 110"
rm -f "$prefix.log"

[ -x "$prefix/bin/moxel" ] || fail "bin/moxel not installed or not executable"
for lib in sockwire popwire smtpwire pingwire moxelwindows moxelwsock32; do
  need "lib/lib$lib.so"
done
# Every library the program and its libraries need must come from the prefix or the system.
for object in "$prefix/bin/moxel" "$prefix"/lib/*.so; do
  resolved=$(env -u LD_LIBRARY_PATH ldd "$object")
  if grep -q "not found" <<<"$resolved"; then
    fail "$(basename "$object"): $(grep "not found" <<<"$resolved" | tr -s ' \t' ' ')"
  fi
  if grep -E "lib(sockwire|popwire|smtpwire|pingwire|moxelwindows)\.so" <<<"$resolved" |
    grep -vq "=> $prefix/bin/../lib/\|=> $prefix/lib/"; then
    fail "$(basename "$object") takes a library from outside the prefix"
  fi
done
env -u LD_LIBRARY_PATH "$prefix/bin/moxel" --version >/dev/null || fail "installed moxel does not start"
# A granted capability puts the loader in secure-execution mode for every user but root; the
# program must still find its libraries then.
if [ "$(id -u)" -eq 0 ] && command -v getcap >/dev/null && [ -n "$(getcap "$prefix/bin/moxel")" ]; then
  chmod 755 "$prefix"
  setpriv --reuid=nobody --regid=nogroup --clear-groups "$prefix/bin/moxel" --version >/dev/null ||
    fail "moxel with its capability does not start for a normal user"
fi

for page in "$help_source"/*.htm; do
  need "share/moxel/help/$(basename "$page")"
done
for size in 16 32 48 256; do
  need "share/icons/hicolor/${size}x${size}/apps/moxel.png"
done
for entry in share/applications/moxel.desktop etc/xdg/autostart/moxel.desktop; do
  need "$entry"
  [ -f "$prefix/$entry" ] || continue
  grep -qx "Exec=moxel" "$prefix/$entry" || fail "$entry does not start bin/moxel"
  grep -qx "Icon=moxel" "$prefix/$entry" || fail "$entry does not name the moxel icon"
  if [ -n "$validate" ]; then
    "$validate" "$prefix/$entry" || fail "$entry does not pass desktop-file-validate"
  fi
done
[ -n "$validate" ] || echo "desktop-file-validate not installed: entries not validated"

if [ "$failures" -ne 0 ]; then
  echo "$failures install check(s) failed"
  exit 1
fi
echo "installed layout complete"
