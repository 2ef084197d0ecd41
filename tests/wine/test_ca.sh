# shellcheck shell=bash
# Puts a test CA in the system store, which Wine's WinHTTP trusts, and takes
# it out again. Sourced by with-service and with-hostile-service. Needs root.
#
# The other build's suites may do the same at the same time: a file copied
# or removed while an update lists the folder fails that update, so each
# change and its update happen under one lock. The store's hooks are
# skipped: only /etc/ssl/certs matters to Wine, and a hook (Java's keystore)
# runs dpkg's triggers, which a test has no business doing.
test_ca_dir=/usr/local/share/ca-certificates

# trust_test_ca CA_FILE NAME: fails loudly.
trust_test_ca() {
  local updated
  # shellcheck disable=SC2016  # expanded by the inner shell
  if ! updated=$(flock "$test_ca_dir" sh -c \
    'cp "$1" "$2" && update-ca-certificates --hooksdir /nonexistent' \
    sh "$1" "$test_ca_dir/$2" 2>&1); then
    echo "${0##*/}: trusting the test CA failed:" >&2
    echo "$updated" >&2
    return 1
  fi
}

# untrust_test_ca NAME: for a cleanup, so never fails. The update is a fresh
# one: a plain one leaves the removed CA's hash link behind.
untrust_test_ca() {
  # shellcheck disable=SC2016  # expanded by the inner shell
  flock "$test_ca_dir" sh -c \
    '[ ! -f "$1" ] || { rm -f "$1" && update-ca-certificates --hooksdir /nonexistent --fresh; }' \
    sh "$test_ca_dir/$1" >/dev/null 2>&1 || true
}
