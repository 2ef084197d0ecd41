#!/usr/bin/env bash
# A user with an additional password is asked for it after the login, and
# the session that comes of it decrypts.
source "$(dirname "$0")/lib.sh"
start_service
admin add-user alice@example.com alice-pw >/dev/null
admin add-user dave@example.com dave-pw --extra-password 'second secret' >/dev/null
login_script alice@example.com alice-pw >"$e2e_root/alice.script"
host_as alice "$e2e_root/alice.script" send --account alice@example.com \
  --to dave@example.com --subject Extra --html-text '<p>behind two passwords</p>'
message="$(mail_for dave@example.com | tail -1)"
[ -n "$message" ] || fail "nothing delivered to dave"
{
  login_script dave@example.com dave-pw
  printf 'dialog 111\nfield 208 second secret\nclick OK\n'
} >"$e2e_root/dave.script"
host_as dave "$e2e_root/dave.script" read "$message" --pane-out "$e2e_root/view.html"
expect_in "$e2e_root/dave.err" "=== Additional Password (dialog 111)"
expect_in "$e2e_root/view.html" "behind two passwords"
echo "1 passed, 0 failed"
