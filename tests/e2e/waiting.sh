#!/usr/bin/env bash
# The user acts while the service stalls: veilmark-host's events arrive
# during a 5 s wait on each decryption and send.
source "$(dirname "$0")/lib.sh"

host_pid=""
waiting_cleanup() {
  local status=$?
  if [ -n "$host_pid" ]; then
    kill "$host_pid" 2>/dev/null || true
    wait "$host_pid" 2>/dev/null || true
  fi
  exec 3>&-
  set +e  # hands the status on to the shared clean-up
  (exit "$status")
  e2e_cleanup
}
trap waiting_cleanup EXIT

# Three messages for bob, sent while the service is quick.
start_service
admin add-user alice@example.com alice-pw >/dev/null
admin add-user bob@example.com bob-pw >/dev/null
login_script alice@example.com alice-pw >"$e2e_root/alice.script"
login_script bob@example.com bob-pw >"$e2e_root/bob.script"
for word in one two three; do
  host_as alice "$e2e_root/alice.script" send --account alice@example.com --to bob@example.com \
    --subject "$word" --html-text "<p>Message $word</p>"
done
mapfile -t messages < <(mail_for bob@example.com)
[ "${#messages[@]}" = 3 ] || fail "expected 3 messages for bob, got ${#messages[@]}"
# bob logs in once, so that the runs below wait on the service only.
host_as bob "$e2e_root/bob.script" read "${messages[0]}" --pane-out "$e2e_root/login.html"
expect_in "$e2e_root/login.html" 'Message one'

kill "$service_pid"
wait "$service_pid" || fail "the quick service did not stop cleanly"
service_pid=""
rm "$e2e_root/service.out"  # so the old service's port is never read
start_service --stall decrypt-mime,upload-attachments,encrypt-send,login=5

stalls() {
  grep -c "stalling $1 for 5 s" "$e2e_root/service.err" || true
}

# Runs veilmark-host as bob in the background with `program` and an events
# FIFO open on descriptor 3; the arguments follow. `user` and `script` (the
# dialogs' answers) may be set for another user.
events="$e2e_root/events"
user=bob
script=/dev/null
start_host() {
  local program="$1"
  shift
  rm -f "$events"
  mkfifo "$events"
  mkdir -p "$e2e_root/home/$user"
  env XDG_DATA_HOME="$e2e_root/home/$user" VEILMARK_API_HOST="localhost:$service_port" \
    VEILMARK_CA_BUNDLE="$service_ca" VEILMARK_UI_SCRIPT="$script" \
    "$program" "$@" --events "$events" --trace >"$e2e_root/$user.out" 2>"$e2e_root/$user.err" &
  host_pid=$!
  exec 3>"$events"
}

# Waits (at most 30 s) for the wait window to show on the host's stderr.
wait_window() {
  for _ in $(seq 300); do
    grep -q "^wait: $1" "$e2e_root/$user.err" && return 0
    kill -0 "$host_pid" 2>/dev/null || fail "the host ended before its wait: $(cat "$e2e_root/$user.err")"
    sleep 0.1
  done
  fail "no wait window '$1': $(cat "$e2e_root/$user.err")"
}

# Ends the events and waits for the host; its exit status.
finish_host() {
  exec 3>&-
  local status=0
  wait "$host_pid" || status=$?
  host_pid=""
  return "$status"
}

passed=0

# Selections during a decryption: one more decryption, of the latest.
start_host "$BUILD/host/veilmark-host" select "${messages[0]}" --pane-out "$e2e_root/select.html"
wait_window 'Decrypting the message'
echo "select ${messages[1]}" >&3
echo "select ${messages[2]}" >&3
finish_host || fail "select ended with $?: $(cat "$e2e_root/$user.err")"
[ "$(stalls decrypt-mime)" = 2 ] || fail "expected 2 decryptions, got $(stalls decrypt-mime)"
[ "$(grep -c '^pane: ' "$e2e_root/$user.out")" = 1 ] || fail "expected one pane: $(cat "$e2e_root/$user.out")"
expect_in "$e2e_root/select.html" 'Message three'
expect_not_in "$e2e_root/select.html" 'Message one'
expect_in "$e2e_root/$user.err" 'wait: closed'
passed=$((passed + 1))

# The window closed during its decryption: the result is dropped.
start_host "$BUILD/host/veilmark-host" read "${messages[1]}" --pane-out "$e2e_root/closed.html"
wait_window 'Decrypting the message'
echo close >&3
finish_host || fail "read ended with $?: $(cat "$e2e_root/$user.err")"
[ "$(stalls decrypt-mime)" = 3 ] || fail "expected 3 decryptions, got $(stalls decrypt-mime)"
expect_in "$e2e_root/$user.out" 'trace: event Inspector.Close'
expect_not_in "$e2e_root/$user.out" 'pane: '
[ ! -e "$e2e_root/closed.html" ] || fail "a pane was written for the closed window"
passed=$((passed + 1))

# Outlook shuts down during a decryption: a clean end at once, under
# AddressSanitizer (leaks included).
start_host "$BUILD/tests/veilmark-host-asan" select "${messages[2]}" \
  --pane-out "$e2e_root/shutdown.html"
wait_window 'Decrypting the message'
started=$SECONDS
echo shutdown >&3
finish_host || fail "shutdown ended with $?: $(cat "$e2e_root/$user.err")"
[ $((SECONDS - started)) -le 3 ] || fail "the host took $((SECONDS - started)) s to shut down"
expect_not_in "$e2e_root/$user.err" 'Sanitizer'
expect_in "$e2e_root/$user.out" 'trace: add-in OnDisconnection returned'
[ "$(grep -c 'OnBeginShutdown returned' "$e2e_root/$user.out")" = 1 ] ||
  fail "OnBeginShutdown must come once: $(cat "$e2e_root/$user.out")"
expect_not_in "$e2e_root/$user.out" 'pane: '
passed=$((passed + 1))

# Cancel during a send's upload keeps the draft and sends nothing more.
printf '%%PDF-1.4 report\n' >"$e2e_root/report.pdf"
mail_count() { (mail_for "$1" || true) | wc -l; }
before=$(mail_count alice@example.com)
start_host "$BUILD/host/veilmark-host" send --account bob@example.com --to alice@example.com \
  --subject Report --html-text '<p>See attached</p>' --attach "$e2e_root/report.pdf"
wait_window 'Sending the message securely'
echo cancel >&3
finish_host || fail "send ended with $?: $(cat "$e2e_root/$user.err")"
sleep 6  # the stalled upload's answer, and anything the host might still send
[ "$(stalls upload-attachments)" = 1 ] || fail "expected one upload"
[ "$(stalls encrypt-send)" = 0 ] || fail "the service received an encrypt-send after Cancel"
expect_in "$e2e_root/$user.err" 'cancelled'
expect_in "$e2e_root/$user.out" 'trace: MailItem.Save'
expect_not_in "$e2e_root/$user.out" 'MailItem.Delete'
expect_not_in "$e2e_root/$user.out" 'MailItem.Close(1)'
[ "$(mail_count alice@example.com)" = "$before" ] || fail "a message reached alice"
passed=$((passed + 1))

# Cancel during the login's own call gives the login up: no session is kept
# and the send goes no further.
admin add-user carol@example.com carol-pw >/dev/null
user=carol
script="$e2e_root/carol.script"
login_script carol@example.com carol-pw >"$script"
start_host "$BUILD/host/veilmark-host" send --account carol@example.com --to alice@example.com \
  --subject Hello --html-text '<p>Hello</p>'
wait_window 'Logging in'
echo cancel >&3
finish_host || fail "the login ended with $?: $(cat "$e2e_root/carol.err")"
[ "$(stalls login)" = 1 ] || fail "expected one login call"
[ "$(stalls encrypt-send)" = 0 ] || fail "the service received an encrypt-send"
if ls "$e2e_root/home/carol/Veilmark/" | grep -q '^session_'; then
  fail "a session was kept after the cancelled login"
fi
expect_not_in "$e2e_root/carol.out" 'MailItem.Delete'
expect_not_in "$e2e_root/carol.err" '[Veilmark AddIn]'
passed=$((passed + 1))

echo "$passed passed, 0 failed"
