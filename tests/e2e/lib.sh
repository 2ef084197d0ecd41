# Shared by the end-to-end tests and the demo: a real veilmark-service on
# loopback and veilmark-host runs against it, one data folder per user.
# Needs BUILD (the build folder holding host/ and service/).

set -euo pipefail

e2e_root="$(mktemp -d "${TMPDIR:-/tmp}/veilmark-e2e.XXXXXX")"
service_pid=""

# Keeps the work folder with E2E_KEEP=1, or after a failure when the caller
# set E2E_KEEP_ON_FAILURE=1 (the demo does).
e2e_cleanup() {
  local status=$?
  if [ -n "$service_pid" ]; then
    kill "$service_pid" 2>/dev/null || true
    wait "$service_pid" 2>/dev/null || true
  fi
  if [ "${E2E_KEEP:-0}" = 1 ]; then
    echo "kept: $e2e_root" >&2
  elif [ "$status" -ne 0 ] && [ "${E2E_KEEP_ON_FAILURE:-0}" = 1 ]; then
    echo "The work folder is kept for a look: $e2e_root" >&2
    echo "  service.err: the service's log; <user>.out/.err: what veilmark-host printed;" >&2
    echo "  service/mail/<address>/new/: the delivered messages; work/: the files sent." >&2
  else
    rm -rf "$e2e_root"
  fi
}
trap e2e_cleanup EXIT
# A stopped run still cleans up (ctest stops a test that runs too long).
trap 'exit 143' TERM
trap 'exit 130' INT

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# Starts the service and waits (at most 60 s) for its ready line.
start_service() {
  mkdir -p "$e2e_root/service"
  "$BUILD/service/veilmark-service" --state "$e2e_root/service" --port 0 "$@" \
    >"$e2e_root/service.out" 2>"$e2e_root/service.err" &
  service_pid=$!
  for _ in $(seq 600); do
    if grep -q '^listening port=' "$e2e_root/service.out" 2>/dev/null; then
      service_port=$(sed -n 's/^listening port=\([0-9]*\) ca=.*/\1/p' "$e2e_root/service.out")
      service_ca=$(sed -n 's/^listening port=[0-9]* ca=\(.*\)$/\1/p' "$e2e_root/service.out")
      return 0
    fi
    kill -0 "$service_pid" 2>/dev/null || fail "the service stopped: $(cat "$e2e_root/service.err")"
    sleep 0.1
  done
  fail "the service did not get ready"
}

admin() {
  "$BUILD/service/veilmark-service" --state "$e2e_root/service" "$@"
}

# The Maildir messages delivered to ADDRESS, oldest first.
mail_for() {
  ls -1tr "$e2e_root/service/mail/$1/new/" 2>/dev/null | sed "s|^|$e2e_root/service/mail/$1/new/|"
}

# veilmark-host as USER (its own data folder), answering dialogs from SCRIPT
# (a file, or - for standard input). Output in $e2e_root/<user>.out/.err.
host_as() {
  local user="$1" script="$2"
  shift 2
  mkdir -p "$e2e_root/home/$user"
  local script_env=()
  [ "$script" != - ] && script_env=(VEILMARK_UI_SCRIPT="$script")
  env XDG_DATA_HOME="$e2e_root/home/$user" VEILMARK_API_HOST="localhost:$service_port" \
    VEILMARK_CA_BUNDLE="$service_ca" "${script_env[@]}" \
    "$BUILD/host/veilmark-host" "$@" >"$e2e_root/$user.out" 2>"$e2e_root/$user.err"
}

# A dialog script that logs in with a service account.
login_script() {
  printf 'dialog 107\nclick Other\ndialog 112\nfield 204 %s\nfield 205 %s\nclick OK\n' "$1" "$2"
}

expect_in() {
  grep -qF -- "$2" "$1" || fail "expected '$2' in $1: $(tail -20 "$1")"
}

expect_not_in() {
  if grep -qF -- "$2" "$1"; then fail "did not expect '$2' in $1"; fi
}

# alice (logging in on the way) sends bob a protected message; prints the
# delivered file.
send_alice_to_bob() {
  admin add-user alice@example.com alice-pw >/dev/null 2>&1 || true
  admin add-user bob@example.com bob-pw >/dev/null 2>&1 || true
  login_script alice@example.com alice-pw >"$e2e_root/alice-login.script"
  host_as alice "$e2e_root/alice-login.script" send --account alice@example.com \
    --to bob@example.com --subject "${1:-Hello}" --html-text "<p>${2:-Secret words}</p>"
  mail_for bob@example.com | tail -1
}
