#!/usr/bin/env bash
# Installs the Debian packages Moxel needs: "run" for building and running, "test" for the test
# suite as well (real peers: Dovecot, Postfix, aiosmtpd, the mail programs that download from
# the local POP3 server: Python's poplib, curl, fetchmail, getmail6; Thunderbird, whose
# profiles the integration tests make and switch; an X server and xclip for the clipboard).
# Installs only what is missing.
set -euo pipefail

build_packages=(
  build-essential cmake ninja-build pkg-config
  libsqlite3-dev libssl-dev qt6-base-dev libcurl4-openssl-dev
  libboost-dev libboost-thread-dev libboost-filesystem-dev libboost-regex-dev
  libboost-date-time-dev libcap2-bin
)
test_packages=(
  libgtest-dev libgmock-dev sqlite3 python3 clang libclang-rt-dev
  dovecot-core dovecot-pop3d openssl curl python3-aiosmtpd postfix fetchmail
  getmail6 thunderbird xvfb xclip desktop-file-utils
)

packages=("${build_packages[@]}")
if [ "${1:-run}" = "test" ]; then
  packages+=("${test_packages[@]}")
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
# Postfix asks how to run as the system's MTA; the answer "No configuration" leaves it without a
# main.cf and without a daemon on port 25. The tests start their own instance.
echo "postfix postfix/main_mailer_type select No configuration" |
  "${sudo_cmd[@]}" debconf-set-selections
# Keep packaged services (Dovecot, Postfix) from starting on their own; the tests start their
# own copies.
DEBIAN_FRONTEND=noninteractive RUNLEVEL=1 "${sudo_cmd[@]}" \
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
