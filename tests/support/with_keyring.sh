#!/bin/sh
# with_keyring.sh COMMAND [ARG...]: runs COMMAND in a D-Bus session of its
# own with a GNOME Keyring of its own (a throw-away home), whose "login"
# keyring is created and unlocked with the password "test". Nothing of the
# user's own session or keyring is touched. Exits with COMMAND's status.
set -eu
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT INT TERM
mkdir -m 700 "$scratch/run"
HOME="$scratch" XDG_DATA_HOME="$scratch/data" XDG_CONFIG_HOME="$scratch/config" \
XDG_CACHE_HOME="$scratch/cache" XDG_RUNTIME_DIR="$scratch/run"
export HOME XDG_DATA_HOME XDG_CONFIG_HOME XDG_CACHE_HOME XDG_RUNTIME_DIR
status=0
# The daemon ends with the session's bus.
dbus-run-session -- sh -c '
  printf test | gnome-keyring-daemon --unlock --components=secrets >/dev/null
  exec "$@"' with_keyring "$@" || status=$?
exit "$status"
