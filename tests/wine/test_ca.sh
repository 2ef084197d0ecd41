# shellcheck shell=bash
# Puts a test CA in the system store, which Wine's WinHTTP trusts, and takes
# it out again. Sourced by with-service and with-hostile-service. Needs root.
#
# The other build's suites may do the same at the same time: a file copied
# or removed while an update lists the folder fails that update, or puts a
# half-copied CA in the bundle, so each change and its update happen under
# one lock. The store's hooks are skipped: only /etc/ssl/certs matters to
# Wine, and a hook (Java's keystore) runs dpkg's triggers, which a test has
# no business doing.
#
# VEILMARK_TEST_CA_DIR and VEILMARK_TEST_CA_STORE_ARGS (more arguments of
# update-ca-certificates) point both at a private store, for this file's
# own test.
test_ca_dir=${VEILMARK_TEST_CA_DIR:-/usr/local/share/ca-certificates}
read -r -a test_ca_update <<<"update-ca-certificates --hooksdir /nonexistent ${VEILMARK_TEST_CA_STORE_ARGS:-}"

# trust_test_ca CA_FILE NAME: fails loudly.
trust_test_ca() {
  local updated
  # shellcheck disable=SC2016  # expanded by the inner shell
  if ! updated=$(flock "$test_ca_dir" sh -c 'cp "$1" "$2" && shift 2 && exec "$@"' \
    sh "$1" "$test_ca_dir/$2" "${test_ca_update[@]}" 2>&1); then
    echo "${0##*/}: trusting the test CA failed:" >&2
    echo "$updated" >&2
    return 1
  fi
}

# untrust_test_ca NAME: for a cleanup, so never fails. The update is a fresh
# one: a plain one leaves the removed CA's hash link behind.
untrust_test_ca() {
  # shellcheck disable=SC2016  # expanded by the inner shell
  flock "$test_ca_dir" sh -c 'f=$1; shift; [ ! -f "$f" ] || { rm -f "$f" && exec "$@"; }' \
    sh "$test_ca_dir/$1" "${test_ca_update[@]}" --fresh >/dev/null 2>&1 || true
}
