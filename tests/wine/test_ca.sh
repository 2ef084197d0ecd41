# shellcheck shell=bash
# Puts a test CA in the system store, which Wine's WinHTTP trusts, and takes
# it out again. Sourced by with-service and with-hostile-service. Needs root.
#
# One update at a time: each writes the same temporary bundle, and the other
# build's suites may run beside these. The store's hooks are skipped: only
# /etc/ssl/certs matters to Wine, and a hook (Java's keystore) runs dpkg's
# triggers, which a test has no business doing and which may fail.
test_ca_dir=/usr/local/share/ca-certificates

update_test_ca_store() {
  flock "$test_ca_dir" update-ca-certificates --hooksdir /nonexistent "$@" 2>&1
}

# trust_test_ca CA_FILE NAME: fails loudly.
trust_test_ca() {
  local updated
  cp "$1" "$test_ca_dir/$2"
  if ! updated=$(update_test_ca_store); then
    echo "${0##*/}: trusting the test CA failed:" >&2
    echo "$updated" >&2
    return 1
  fi
}

# untrust_test_ca NAME: for a cleanup, so never fails.
untrust_test_ca() {
  if [ -f "$test_ca_dir/$1" ]; then
    rm -f "$test_ca_dir/$1"
    update_test_ca_store --fresh >/dev/null || true
  fi
}
