#!/usr/bin/env bash
# Signing up: the CAPTCHA is fetched over http:// from the service's port,
# read (here through the admin command, as a person would read the picture),
# and the registration succeeds without yielding a session. The account
# reads nothing until the link mailed to the address is followed.
source "$(dirname "$0")/lib.sh"
start_service
mkfifo "$e2e_root/answers"
mkdir -p "$e2e_root/home/erin"
env XDG_DATA_HOME="$e2e_root/home/erin" VEILMARK_API_HOST="localhost:$service_port" \
  VEILMARK_CA_BUNDLE="$service_ca" "$BUILD/host/veilmark-host" send \
  --account erin@example.com --to someone@example.com --subject Hi --html-text '<p>x</p>' \
  <"$e2e_root/answers" >"$e2e_root/erin.out" 2>"$e2e_root/erin.err" &
host=$!
exec 3>"$e2e_root/answers"
printf 'dialog 107\nclick Other\ndialog 112\nclick Signup\ndialog 109\n' >&3
session=""
for _ in $(seq 300); do
  session="$(grep -o 'captcha?sessionId=[^:]*' "$e2e_root/erin.err" | head -1 | cut -d= -f2 || true)"
  [ -n "$session" ] && break
  sleep 0.1
done
[ -n "$session" ] || fail "no CAPTCHA was loaded: $(cat "$e2e_root/erin.err")"
expect_in "$e2e_root/erin.err" "image/png"
captcha="$(admin captcha-text "$session")"
printf 'field 207 long-enough-pw\nfield 208 long-enough-pw\n' >&3
printf 'field 209 Name of my first pet\nfield 210 Rex the dog\nfield 211 %s\nclick Register\n' \
  "$captcha" >&3
printf 'dialog 107\nclick Cancel\n' >&3
exec 3>&-
wait "$host"
expect_in "$e2e_root/erin.err" "Signup was successful."
confirmation="$(mail_for erin@example.com | head -1)"
[ -n "$confirmation" ] || fail "no confirmation mail for erin"
# Registration gives no session: the send itself was given up silently.
expect_not_in "$e2e_root/erin.err" "Unable to send encrypted message"

# Mail for erin, read before and after she follows the link.
admin add-user alice@example.com alice-pw >/dev/null
login_script alice@example.com alice-pw >"$e2e_root/alice.script"
host_as alice "$e2e_root/alice.script" send --account alice@example.com \
  --to erin@example.com --subject Welcome --html-text '<p>for erin once confirmed</p>'
message="$(mail_for erin@example.com | tail -1)"
[ "$message" != "$confirmation" ] || fail "nothing delivered to erin"
login_script erin@example.com long-enough-pw >"$e2e_root/erin.script"
host_as erin "$e2e_root/erin.script" read "$message" --account erin@example.com \
  --pane-out "$e2e_root/early.html"
expect_in "$e2e_root/erin.err" "EMAIL_NOT_CONFIRMED"
expect_in "$e2e_root/erin.err" "Please confirm your e-mail address first"
[ ! -e "$e2e_root/early.html" ] || fail "erin read before confirming"

link="$(grep -o 'https://localhost:[0-9]*/confirm?token=[0-9a-f]*' "$confirmation" | head -1)"
[ -n "$link" ] || fail "no link in $(cat "$confirmation")"
curl -sS --fail --cacert "$service_ca" "$link" >"$e2e_root/confirmed.html"
expect_in "$e2e_root/confirmed.html" "Address confirmed"
host_as erin /dev/null read "$message" --account erin@example.com --pane-out "$e2e_root/view.html"
expect_in "$e2e_root/view.html" "for erin once confirmed"
echo "2 passed, 0 failed"
