#!/usr/bin/env bash
# Installs the Debian packages Sendrix needs to build, test and run, when
# they are missing. Safe to run again; does nothing when all are there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libssl-dev openssl ca-certificates
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-translations-l10n libgl1-mesa-dev
  libsecret-1-dev gnome-keyring dbus-daemon
  man-db groff-base
  debhelper dpkg-dev lintian appstream desktop-file-utils
  python3 python3-aiosmtpd
  libidn2-dev media-types shared-mime-info spamassassin
  xvfb xauth
  libxml2-dev
  libzip-dev libexpat1-dev libreoffice-calc-nogui python3-openpyxl
  libcurl4-openssl-dev nlohmann-json3-dev python3-oauthlib
  chromium
  libgmime-3.0-dev postfix dovecot-imapd dovecot-lmtpd
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  # Postfix is only started by the tests, with a configuration of their own:
  # its installation must not ask for a mail setup nor write one.
  echo "postfix postfix/main_mailer_type select No configuration" | $SUDO debconf-set-selections
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
