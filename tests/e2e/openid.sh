#!/usr/bin/env bash
# Gmail: the provider login runs in the dialog's browser, through the mock
# provider's redirects to its login page; the user signs in there with the
# provider password (not the Veilmark one) and the dialog ends on the
# service's JSON page.
source "$(dirname "$0")/lib.sh"
start_service
admin add-user alice@example.com alice-pw >/dev/null
admin add-user carol.smith@gmail.com carol-pw --registered-from GMAIL \
  --provider-password carol-at-google >/dev/null
login_script alice@example.com alice-pw >"$e2e_root/alice.script"
host_as alice "$e2e_root/alice.script" send --account alice@example.com \
  --to carol.smith@gmail.com --subject Hi --html-text '<p>through the provider</p>'
message="$(mail_for carol.smith@gmail.com | tail -1)"
[ -n "$message" ] || fail "nothing delivered to carol"

# The account is written without the dot: Google addresses match all the same.
mkfifo "$e2e_root/answers"
mkdir -p "$e2e_root/home/carol"
env XDG_DATA_HOME="$e2e_root/home/carol" VEILMARK_API_HOST="localhost:$service_port" \
  VEILMARK_CA_BUNDLE="$service_ca" "$BUILD/host/veilmark-host" read "$message" \
  --account carolsmith@gmail.com --pane-out "$e2e_root/view.html" \
  <"$e2e_root/answers" >"$e2e_root/carol.out" 2>"$e2e_root/carol.err" &
host=$!
exec 3>"$e2e_root/answers"
printf 'dialog 107\nclick 201\ndialog 108\n' >&3
page=""
for _ in $(seq 300); do
  page="$(sed -n 's|^\[browser 205\] \(https://[^ ]*/openid/authorize?ticket=[0-9a-f]*\): 200 text/html.*|\1|p' \
    "$e2e_root/carol.err" | head -1)"
  [ -n "$page" ] && break
  sleep 0.1
done
[ -n "$page" ] || fail "no provider login page: $(cat "$e2e_root/carol.err")"
# The form sent as the page sends it: address and the provider's password.
printf 'open 205 %s&email=carol.smith%%40gmail.com&password=carol-at-google\n' "$page" >&3
exec 3>&-
wait "$host"
expect_in "$e2e_root/carol.err" "=== Provider Login (dialog 108)"
expect_in "$e2e_root/view.html" "through the provider"
echo "1 passed, 0 failed"
