#!/usr/bin/env bash
# Checks a built Debian package for real on this machine, as root, and leaves the machine as it
# was: installs it with dpkg, checks the files, the capability on port 110 (the program starts
# for an unprivileged user and its local POP3 server listens on 127.0.0.1:110), then removes and
# purges it and checks that nothing stays. Not part of ctest: it changes the system while it runs.
# Usage: sudo packaging/check-deb.sh build/release/moxel_<version>_<arch>.deb
set -euo pipefail
deb=$1
[ "$(id -u)" -eq 0 ] || { echo "run as root"; exit 2; }
if dpkg-query -W -f='${Status}' moxel 2>/dev/null | grep -q installed; then
  echo "moxel is installed already; this check installs and removes it, so it stops here"
  exit 2
fi

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
work=$(mktemp -d)
chmod 755 "$work"
cleanup() {
  dpkg -P moxel >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"; }

dpkg -i "$deb" >/dev/null
dpkg -L moxel >"$work/files"
for path in /usr/bin/moxel /usr/lib/libsockwire.so /usr/lib/libpopwire.so /usr/share/moxel/help/index.htm \
  /usr/share/applications/moxel.desktop /etc/xdg/autostart/moxel.desktop \
  /usr/share/icons/hicolor/48x48/apps/moxel.png; do
  [ -s "$path" ] || fail "$path not installed"
done
getcap /usr/bin/moxel | grep -q cap_net_bind_service || fail "no cap_net_bind_service on /usr/bin/moxel"
as_nobody /usr/bin/moxel --version >/dev/null || fail "moxel does not start for a normal user"
desktop-file-validate /usr/share/applications/moxel.desktop /etc/xdg/autostart/moxel.desktop ||
  fail "desktop entries not valid"

# Port 110 for an unprivileged user, unless something else holds it.
if ! (exec 3<>/dev/tcp/127.0.0.1/110) 2>/dev/null; then
  mkdir "$work/home"
  chown nobody "$work/home"
  as_nobody env HOME="$work/home" MOXEL_DATA_DIR="$work/home/data" timeout 20 /usr/bin/moxel --headless \
    >"$work/headless.log" 2>&1 &
  # setpriv, env and timeout each exec the next; timeout passes a TERM on to moxel.
  headless=$!
  listening=no
  for _ in $(seq 1 50); do
    if ss -ltnpH 'sport = :110' | grep -q moxel; then
      listening=yes
      break
    fi
    sleep 0.2
  done
  [ "$listening" = yes ] || fail "moxel run by nobody does not listen on port 110"
  kill -TERM "$headless" 2>/dev/null || true
  wait "$headless" || true
else
  echo "port 110 is in use here: the listening check is skipped"
fi

dpkg -r moxel >/dev/null
while read -r path; do
  [ -d "$path" ] || [ ! -e "$path" ] || fail "$path stays after dpkg -r"
done <"$work/files"
dpkg -P moxel >/dev/null
dpkg-query -W moxel >/dev/null 2>&1 && fail "moxel still known to dpkg after dpkg -P"
[ ! -e /usr/share/moxel ] || fail "/usr/share/moxel stays after dpkg -P"

if [ "$failures" -ne 0 ]; then
  echo "$failures package check(s) failed"
  exit 1
fi
echo "package installs, grants port 110, and removes cleanly"
