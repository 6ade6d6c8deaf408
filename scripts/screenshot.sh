#!/usr/bin/env bash
# Screenshots of the real window under Xvfb: the main window with each of its
# pages, the protocol of a real send to a local capture server, the account
# dialog and the account assistant, filled with a small demo mailing; then the
# composer with a formatted newsletter, and that newsletter as received,
# rendered by headless Chromium with its cid: images (scripts/mail_rendering.py).
#
#   scripts/screenshot.sh            # writes docs/screenshot-*.png
#   BUILD_DIR=/work/build-x OUT_DIR=/tmp/shots scripts/screenshot.sh
#
# Needs Xvfb (xvfb), xdotool, import and convert (imagemagick) and Debian's
# /usr/bin/python3 with aiosmtpd (python3-aiosmtpd), and chromium. Pages are switched by
# clicking their tabs, at places measured on the 771 x 690 window.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
OUT_DIR=${OUT_DIR:-docs}
bash scripts/build.sh
# Its own tools, beyond what the build needs.
if ! command -v xdotool >/dev/null || ! command -v import >/dev/null; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends xdotool imagemagick ||
    { $SUDO apt-get update -q && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends xdotool imagemagick; }
fi
program=$(realpath "$BUILD_DIR/src/sendrix")
for tool in Xvfb xdotool import convert /usr/bin/python3 chromium; do
  command -v "$tool" >/dev/null || { echo "screenshot.sh: $tool fehlt" >&2; exit 2; }
done
[ -x "$program" ] || { echo "screenshot.sh: $program fehlt (erst bauen)" >&2; exit 2; }
mkdir -p "$OUT_DIR"

# A fixed, readable folder: its path shows in the attachment list.
work=${WORK_DIR:-/tmp/sendrix-demo}
rm -rf "$work"
mkdir -p "$work"
xvfb_pid=""
app_pid=""
server_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# ---- A local capture server for the send ----
mkdir -p "$work/captured"
/usr/bin/python3 examples/capture_server.py "$work/captured" >"$work/port" 2>"$work/server.log" &
server_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(head -n1 "$work/port")
[ -n "$port" ] || { echo "screenshot.sh: capture server startet nicht" >&2; exit 1; }

# ---- The demo mailing, in a program folder of its own ----
home=$work/home
mkdir -p "$home"
export SENDRIX_HOME=$home
printf '[Smtp]\r\nServerName=127.0.0.1\r\nServerPort='"$port"'\r\nServerUser=verein\r\nSMTPAuthenticationType=0\r\n[Email]\r\nSubject=Einladung zur Jahreshauptversammlung\r\nreplyto=vorstand@example.org\r\n[Optionen]\r\nBenutzeAnrede=1\r\nAnrede=2\r\nSentobjects=.\\gesendet\r\n' >"$home/Mail.ini"
user=$(id -un | tr 'A-Z' 'a-z')
printf '[Email]\r\nPersonalEmail=schriftfuehrer@example.org\r\nRealname=Sportverein Grünwald e.V.\r\n' >"$home/$user.ini"
printf 'Name;Vorname;Email;Typ\r\nMüller;Jürgen;juergen.mueller@example.org;M\r\nSchäfer;Anna;anna.schaefer@example.org;W\r\nGroß;Dr. Heinz;heinz.gross@example.org;H\r\nÖzdemir;Ayşe;ayse.oezdemir@example.org;F\r\nWeiß;Kim;kim.weiss@example.org;\r\n' >"$work/mitglieder.csv"
printf 'wir laden Sie herzlich zur Jahreshauptversammlung am Freitag, 15. Mai, um 19:30 Uhr im Vereinsheim ein.\r\n\r\nTagesordnung:\r\n1. Bericht des Vorstands\r\n2. Kassenbericht und Entlastung\r\n3. Wahlen\r\n4. Verschiedenes\r\n\r\nMit sportlichen Grüßen\r\nIhr Vorstand\r\n' >"$work/einladung.txt"
printf 'Tagesordnung\r\n' >"$work/Tagesordnung.txt"

# ---- A virtual screen ----
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "screenshot.sh: Xvfb startet nicht" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$work/display")
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
export LANG=de_DE.UTF-8

# Waits for a window whose caption matches $1; prints its id.
find_window() {
  local id=""
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "screenshot.sh: kein Fenster \"$1\"" >&2
  return 1
}

# Root-window screenshot cut to the window $1, written to $2.
shoot() {
  sleep 0.6
  local x y w h
  eval "$(xdotool getwindowgeometry --shell "$1" | sed -n 's/^\(X\|Y\|WIDTH\|HEIGHT\)=/\1=/p')"
  import -window root "$work/root.png"
  convert "$work/root.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$2"
  echo "$2"
}

# Clicks at ($2, $3) inside window $1.
click() {
  xdotool mousemove --window "$1" "$2" "$3" click 1
  sleep 0.3
}

# Alt+S in window $1, the question answered with its default button (Ja);
# waits for the five messages. With $2 the question is shot to that file.
send_list() {
  xdotool windowfocus --sync "$1" 2>/dev/null || true
  xdotool key --window "$1" --clearmodifiers alt+s
  local question count
  question=$(find_window '^Sendrix$')
  [ -n "${2:-}" ] && shoot "$question" "$2"
  xdotool windowfocus --sync "$question" 2>/dev/null || true
  xdotool key --clearmodifiers Return
  for _ in $(seq 100); do
    [ "$(find "$work/captured" -name '*.eml' | wc -l)" -ge 5 ] && break
    sleep 0.1
  done
  count=$(find "$work/captured" -name '*.eml' | wc -l)
  [ "$count" -ge 5 ] || { echo "screenshot.sh: nur $count von 5 Mails angekommen" >&2; exit 1; }
}

"$program" "$work/mitglieder.csv" "/A:$work/Tagesordnung.txt" "/B:$work/einladung.txt" \
  >"$work/sendrix.log" 2>&1 &
app_pid=$!
main=$(find_window '^Sendrix')
xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus "$main" || true

# Start: pages "Empfänger", "Anhang" and "Mail".
shoot "$main" "$OUT_DIR/screenshot-main.png"

# Pages "Absender", "Empfängerliste" and "Protokoll" (still empty).
click "$main" 95 72     # tab "Absender"
click "$main" 360 72    # tab "Empfängerliste (5)"
click "$main" 10 355    # tab "Protokoll" on the left of the body
shoot "$main" "$OUT_DIR/screenshot-pages.png"

# Page "Kopien" beside the recipient list, and the page "Mail" again.
click "$main" 160 72    # tab "Kopien"
click "$main" 10 290    # tab "Mail"
shoot "$main" "$OUT_DIR/screenshot-copies.png"

# The account dialog from the tool button "Optionen"; Escape closes it
# without storing.
click "$main" 205 40
setup=$(find_window '^E-Mail-Konto$')
shoot "$setup" "$OUT_DIR/screenshot-setup.png"
xdotool key --window "$setup" Escape || true
for _ in $(seq 50); do xdotool search --onlyvisible --name '^E-Mail-Konto$' >/dev/null 2>&1 || break; sleep 0.1; done

# The account assistant ("Extras" > "Konto einrichten"): a GMX address,
# "Weiter", the server it found and the login; "Abbrechen" stores nothing.
xdotool windowfocus --sync "$main" 2>/dev/null || true
xdotool key --clearmodifiers alt+e
sleep 0.3
xdotool key --clearmodifiers k
assistant=$(find_window '^Konto einrichten$')
xdotool windowfocus --sync "$assistant" 2>/dev/null || true
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 20 "Anna Berger"
xdotool key --clearmodifiers Tab ctrl+a
xdotool type --delay 20 "anna.berger@gmx.de"
shoot "$assistant" "$OUT_DIR/screenshot-assistant-sender.png"
xdotool key --clearmodifiers alt+w
shoot "$assistant" "$OUT_DIR/screenshot-assistant-server.png"
xdotool key --clearmodifiers alt+w
shoot "$assistant" "$OUT_DIR/screenshot-assistant-login.png"
click "$assistant" 469 337   # "Abbrechen"
for _ in $(seq 50); do xdotool search --onlyvisible --name '^Konto einrichten$' >/dev/null 2>&1 || break; sleep 0.1; done

# A real send: Alt+S, the question answered with its default button (Ja),
# and the protocol the run leaves behind.
click "$main" 40 72     # tab "Empfänger"
send_list "$main" "$OUT_DIR/screenshot-question.png"
sent=$(find "$work/captured" -name '*.eml' | wc -l)
shoot "$main" "$OUT_DIR/screenshot-protocol.png"
echo "captured $sent messages" 

# ---- A formatted newsletter: the composer, then the message as received ----
kill "$app_pid" 2>/dev/null || true
wait "$app_pid" 2>/dev/null || true
app_pid=""
rm -f "$work"/captured/*.eml
cp tests/data/composer/wappen.png "$work/"
mkdir -p "$work/bilder"
cp tests/data/composer/sonne.png "$work/bilder/"
{
  printf '[Mailing]\r\nBetreff=Einladung zum Sommerfest\r\nEmpfaengerliste=mitglieder.csv\r\nBenutzeAnrede=0\r\nHTML=1\r\n\r\n[Text]\r\n'
  sed 's/Liebe Mitglieder von <b>{{Firma}}<\/b>,/Liebe(r) <b>{{Vorname}} {{Name}}<\/b>,/' tests/data/composer/newsletter.html
} >"$work/sommerfest.mailing"
"$program" "$work/sommerfest.mailing" >"$work/sendrix-newsletter.log" 2>&1 &
app_pid=$!
main=$(find_window '^Sendrix')
xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus "$main" || true
shoot "$main" "$OUT_DIR/screenshot-composer.png"
send_list "$main"
first=$(find "$work/captured" -name '*.eml' | sort | head -n1)
/usr/bin/python3 scripts/mail_rendering.py "$first" "$OUT_DIR/screenshot-received.png"
echo "$OUT_DIR/screenshot-received.png"
