#!/usr/bin/env bash
# What must show nothing, or only the add-in's refusal: a message for someone
# else, two messages selected, an unprotected message.
source "$(dirname "$0")/lib.sh"
start_service
message="$(send_alice_to_bob Private 'for bob only')"
[ -n "$message" ] || fail "nothing delivered to bob"
admin add-user carol@example.com carol-pw >/dev/null

# carol is logged in, but not a recipient.
login_script carol@example.com carol-pw >"$e2e_root/carol.script"
host_as carol "$e2e_root/carol.script" read "$message" --account carol@example.com \
  --pane-out "$e2e_root/carol-view.html"
expect_in "$e2e_root/carol.err" "Unable to decrypt message using account - carol@example.com"
[ ! -e "$e2e_root/carol-view.html" ] || fail "carol got a pane"

# Two messages selected: no pane, no login, no service call.
host_as bob /dev/null select "$message" "$message" --pane-out "$e2e_root/two.html" --trace
[ ! -e "$e2e_root/two.html" ] || fail "a pane for two messages"
expect_not_in "$e2e_root/bob.err" "dialog 107"
expect_not_in "$e2e_root/bob.out" "CreateCTP"

# An unprotected message: nothing posted, even with no service behind it.
printf 'From: a@example.com\r\nTo: bob@example.com\r\nSubject: plain\r\n\r\nhello\r\n' \
  >"$e2e_root/plain.eml"
kill "$service_pid"; wait "$service_pid" 2>/dev/null || true; service_pid=""
host_as bob /dev/null select "$e2e_root/plain.eml" --pane-out "$e2e_root/plain.html" --trace
[ ! -e "$e2e_root/plain.html" ] || fail "a pane for a plain message"
expect_not_in "$e2e_root/bob.err" "Veilmark AddIn"
echo "3 passed, 0 failed"
