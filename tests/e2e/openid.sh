#!/usr/bin/env bash
# Gmail: the provider login runs in the dialog's browser, through the mock
# provider's redirects, and ends on the service's JSON page without typing.
source "$(dirname "$0")/lib.sh"
start_service
admin add-user alice@example.com alice-pw >/dev/null
admin add-user carol.smith@gmail.com carol-pw --registered-from GMAIL >/dev/null
login_script alice@example.com alice-pw >"$e2e_root/alice.script"
host_as alice "$e2e_root/alice.script" send --account alice@example.com \
  --to carol.smith@gmail.com --subject Hi --html-text '<p>through the provider</p>'
message="$(mail_for carol.smith@gmail.com | tail -1)"
[ -n "$message" ] || fail "nothing delivered to carol"
# The account is written without the dot: Google addresses match all the same.
printf 'dialog 107\nclick 201\ndialog 108\n' >"$e2e_root/carol.script"
host_as carol "$e2e_root/carol.script" read "$message" --account carolsmith@gmail.com \
  --pane-out "$e2e_root/view.html"
expect_in "$e2e_root/carol.err" "=== Provider Login (dialog 108)"
expect_in "$e2e_root/view.html" "through the provider"
echo "1 passed, 0 failed"
