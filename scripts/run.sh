#!/usr/bin/env bash
# The main job: builds Sendrix and sends the demo mailing of examples/ to a
# local capture server (aiosmtpd on 127.0.0.1, a free port) that writes every
# message it receives into a folder. With a display the window opens with the
# mailing loaded (press Alt+S to send); without one the mailing goes out
# unattended ("/sofort"). Extra arguments are passed on to the program.
# SENDRIX_PROGRAM names another program to run (an installed one, as
# scripts/package.sh does); then nothing is built.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
if [ -n "${SENDRIX_PROGRAM:-}" ]; then
  program=$(realpath "$SENDRIX_PROGRAM")
else
  bash scripts/build.sh
  program=$(realpath "$BUILD_DIR/src/sendrix")
fi

# A program folder of its own, so the demo never touches real settings.
demo=$(realpath -m "$BUILD_DIR/demo")
rm -rf "$demo"
mkdir -p "$demo/captured"
cp examples/Mail.ini examples/empfaenger.csv examples/nachricht.txt examples/programm.txt "$demo/"

port_file="$demo/capture-port"
/usr/bin/python3 examples/capture_server.py "$demo/captured" > "$port_file" &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  [ -s "$port_file" ] && break
  kill -0 "$server_pid" 2>/dev/null || { echo "run.sh: capture server did not start" >&2; exit 1; }
  sleep 0.1
done
port=$(head -n1 "$port_file")
[ -n "$port" ] || { echo "run.sh: capture server gave no port" >&2; exit 1; }
sed -i "s/^ServerPort=.*/ServerPort=$port/" "$demo/Mail.ini"

args=("/A:$demo/programm.txt" "/from:festausschuss@example.org" "/N:Festausschuss Sommerfest")
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: sending the demo mailing unattended to 127.0.0.1:$port"
  args+=("/sofort")
else
  echo "Window opens with the demo mailing; Alt+S sends it to 127.0.0.1:$port"
fi

status=0
SENDRIX_HOME="$demo" "$program" "${args[@]}" "$@" || status=$?

count=$(find "$demo/captured" -name '*.eml' | wc -l)
echo
echo "Exit status: $status"
echo "Captured messages ($count): $demo/captured"
echo "Send log: $demo/logs   Archive: $demo/gesendet"
exit "$status"
