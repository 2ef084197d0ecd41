#!/usr/bin/env bash
# A session that expired between two sends: the second send meets
# INVALID_SESSION at its first upload, logs in once and goes on.
source "$(dirname "$0")/lib.sh"
start_service
admin add-user alice@example.com alice-pw >/dev/null
admin add-user bob@example.com bob-pw >/dev/null
printf 'one' >"$e2e_root/a.txt"
printf 'two' >"$e2e_root/b.txt"
login_script alice@example.com alice-pw >"$e2e_root/login.script"
host_as alice "$e2e_root/login.script" send --account alice@example.com --to bob@example.com \
  --subject First --html-text '<p>first</p>'
[ "$(mail_for bob@example.com | wc -l)" = 1 ] || fail "the first send was not delivered"

admin expire-sessions alice@example.com >/dev/null
host_as alice "$e2e_root/login.script" send --account alice@example.com --to bob@example.com \
  --subject Second --html-text '<p>second</p>' --attach "$e2e_root/a.txt" \
  --attach "$e2e_root/b.txt" --trace
[ "$(grep -c '=== Login Or Sign Up (dialog 107)' "$e2e_root/alice.err")" = 1 ] ||
  fail "expected exactly one login: $(cat "$e2e_root/alice.err")"
expect_in "$e2e_root/alice.out" "trace: MailItem.Close(1)"
[ "$(mail_for bob@example.com | wc -l)" = 2 ] || fail "the second send was not delivered"
echo "1 passed, 0 failed"
