#!/usr/bin/env bash
# Signing up: the CAPTCHA is fetched over http:// from the service's port,
# read (here through the admin command, as a person would read the picture),
# and the registration succeeds without yielding a session.
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
[ -n "$(mail_for erin@example.com)" ] || fail "no confirmation mail for erin"
# Registration gives no session: the send itself was given up silently.
expect_not_in "$e2e_root/erin.err" "Unable to send encrypted message"
echo "1 passed, 0 failed"
