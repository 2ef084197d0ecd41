#!/usr/bin/env bash
# A service that sends status.message as one plain string, not a
# list. Its INVALID_SESSION must still ask for a login and go on (never
# "Unable to decrypt ... PARSE_ERROR"), on the read road and on the send road.
source "$(dirname "$0")/lib.sh"
start_service --message-shape text
message="$(send_alice_to_bob Expiring 'read after a re-login')"
[ -n "$message" ] || fail "nothing delivered to bob"

# The refusal really has the plain-string shape.
if command -v curl >/dev/null; then
  refusal="$(curl -s --cacert "$service_ca" -d sessionId=none \
    "https://localhost:$service_port/api/curr-user")"
  grep -q '"message" *: *"' <<<"$refusal" || fail "message is not a string: $refusal"
  grep -q '"INVALID_SESSION"' <<<"$refusal" || fail "not a refusal: $refusal"
fi

# bob logs in and reads; then his session runs out.
login_script bob@example.com bob-pw >"$e2e_root/bob.script"
host_as bob "$e2e_root/bob.script" read "$message" --account bob@example.com \
  --pane-out "$e2e_root/first.html"
expect_in "$e2e_root/first.html" "read after a re-login"
admin expire-sessions bob@example.com >/dev/null

# decrypt-mime meets INVALID_SESSION with a string message: one login, then
# the message is shown.
host_as bob "$e2e_root/bob.script" read "$message" --account bob@example.com \
  --pane-out "$e2e_root/second.html"
[ "$(grep -c '=== Login Or Sign Up (dialog 107)' "$e2e_root/bob.err")" = 1 ] ||
  fail "expected exactly one login: $(cat "$e2e_root/bob.err")"
expect_not_in "$e2e_root/bob.err" "PARSE_ERROR"
expect_not_in "$e2e_root/bob.err" "Unable to decrypt"
expect_in "$e2e_root/second.html" "read after a re-login"

# The send road: alice's session runs out; the upload meets the refusal.
admin expire-sessions alice@example.com >/dev/null
printf 'one' >"$e2e_root/a.txt"
host_as alice "$e2e_root/alice-login.script" send --account alice@example.com \
  --to bob@example.com --subject Second --html-text '<p>second</p>' \
  --attach "$e2e_root/a.txt" --trace
[ "$(grep -c '=== Login Or Sign Up (dialog 107)' "$e2e_root/alice.err")" = 1 ] ||
  fail "expected exactly one login: $(cat "$e2e_root/alice.err")"
expect_not_in "$e2e_root/alice.err" "Unable to add attachment"
expect_in "$e2e_root/alice.out" "trace: MailItem.Close(1)"
[ "$(mail_for bob@example.com | wc -l)" = 2 ] || fail "the second send was not delivered"
echo "2 passed, 0 failed"
