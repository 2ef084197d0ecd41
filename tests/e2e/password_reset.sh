#!/usr/bin/env bash
# "Forgot password?": the security question of the mail account is asked,
# the reset succeeds, and the new password arrives by mail.
source "$(dirname "$0")/lib.sh"
start_service
admin add-user frank@example.com old-pw --security-question 'First school?' \
  --security-answer 'Hillside' >/dev/null
printf 'dialog 107\nclick Other\ndialog 112\nclick 4\ndialog 113\nfield 210 Hillside\nclick OK\n' \
  >"$e2e_root/frank.script"
host_as frank "$e2e_root/frank.script" send --account frank@example.com \
  --to someone@example.com --subject Hi --html-text '<p>x</p>'
expect_in "$e2e_root/frank.err" "First school?"
expect_in "$e2e_root/frank.err" "Password reset was successful."
[ -n "$(mail_for frank@example.com)" ] || fail "no reset mail for frank"
echo "1 passed, 0 failed"
