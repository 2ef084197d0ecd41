#!/usr/bin/env bash
# When no scratch file can be made (here the data folder cannot be
# made, or cannot be written), Send Secure sends nothing, keeps the draft and
# says why; the read road says the same instead of showing nothing.
source "$(dirname "$0")/lib.sh"
start_service
message="$(send_alice_to_bob Kept 'for bob')"
[ -n "$message" ] || fail "nothing delivered to bob"
printf 'attached' >"$e2e_root/a.txt"

# A file where alice's data folder belongs. She logs in (the session cannot
# be kept on disk), then the attachment's copy cannot be made.
rm -rf "$e2e_root/home/alice/Veilmark"
printf 'not a folder' >"$e2e_root/home/alice/Veilmark"
host_as alice "$e2e_root/alice-login.script" send --account alice@example.com \
  --to bob@example.com --subject Attached --html-text '<p>with a file</p>' \
  --attach "$e2e_root/a.txt" --trace
expect_in "$e2e_root/alice.err" "Unable to create Veilmark directory"
expect_in "$e2e_root/alice.out" "trace: MailItem.Save"
expect_not_in "$e2e_root/alice.out" "trace: MailItem.Delete"
expect_not_in "$e2e_root/alice.out" "trace: MailItem.Close"
[ "$(mail_for bob@example.com | wc -l)" = 1 ] || fail "something was sent"

# The read road: bob's data folder is a file too.
mkdir -p "$e2e_root/home/bob"
printf 'not a folder' >"$e2e_root/home/bob/Veilmark"
host_as bob /dev/null read "$message" --account bob@example.com \
  --pane-out "$e2e_root/bob-view.html"
expect_in "$e2e_root/bob.err" "Unable to create Veilmark directory"
expect_not_in "$e2e_root/bob.err" "dialog 107"
[ ! -e "$e2e_root/bob-view.html" ] || fail "bob got a pane"
passed=2

# An unwritable data folder (root writes anywhere, so only for others):
# alice's session is kept, and the copy fails with the file error.
if [ "$(id -u)" != 0 ]; then
  rm -f "$e2e_root/home/alice/Veilmark"
  host_as alice "$e2e_root/alice-login.script" send --account alice@example.com \
    --to bob@example.com --subject Plain --html-text '<p>no file</p>'
  [ "$(mail_for bob@example.com | wc -l)" = 2 ] || fail "the plain send was not delivered"
  chmod 0500 "$e2e_root/home/alice/Veilmark"
  host_as alice /dev/null send --account alice@example.com \
    --to bob@example.com --subject Attached --html-text '<p>with a file</p>' \
    --attach "$e2e_root/a.txt" --trace
  chmod 0700 "$e2e_root/home/alice/Veilmark"
  expect_in "$e2e_root/alice.err" "Unable to create file"
  expect_not_in "$e2e_root/alice.err" "dialog 107"
  expect_not_in "$e2e_root/alice.out" "trace: MailItem.Delete"
  [ "$(mail_for bob@example.com | wc -l)" = 2 ] || fail "something was sent"
  passed=3
fi
echo "$passed passed, 0 failed"
