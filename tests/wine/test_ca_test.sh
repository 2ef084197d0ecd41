#!/usr/bin/env bash
# test_ca.sh as the two Windows builds' suites use it, side by side, on a
# private store: every update succeeds, and a trusted CA is in the bundle
# until it is untrusted, whatever the other suite does meanwhile.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(mktemp -d "${TMPDIR:-/tmp}/veilmark-test-ca.XXXXXX")
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/local" "$root/etc" "$root/share"
export VEILMARK_TEST_CA_DIR="$root/local"
store="--certsconf $root/certs.conf --certsdir $root/share --localcertsdir $root/local"
export VEILMARK_TEST_CA_STORE_ARGS="$store --etccertsdir $root/etc"
# shellcheck source=tests/wine/test_ca.sh
. "$here/test_ca.sh"

bundle="$root/etc/ca-certificates.crt"
for name in system a b; do
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 \
    -subj "/CN=$name" -keyout "$root/$name.key" -out "$root/$name.pem" 2>/dev/null
done
# The store's own CA, as a system always has one (an update of an empty
# store leaves the old bundle in place), and other local CAs listed before
# the suites' ones, as a machine may have: an update reads them one by one.
cp "$root/system.pem" "$root/share/system.crt"
echo "system.crt" >"$root/certs.conf"
for i in $(seq 20); do cp "$root/system.pem" "$root/local/local-$i.crt"; done

# One suite's CA, trusted and untrusted again and again.
suite() {
  local name=$1 line
  line=$(sed -n 2p "$root/$name.pem")
  for round in $(seq 20); do
    trust_test_ca "$root/$name.pem" "test-$name.crt" 2>"$root/$name.err" ||
      { echo "round $round: trusting $name failed: $(cat "$root/$name.err")"; return 1; }
    grep -qF "$line" "$bundle" || { echo "round $round: $name is not in the bundle"; return 1; }
    # The suite's run: its end falls anywhere in the other's update.
    sleep "0.$((RANDOM % 4))"
    untrust_test_ca "test-$name.crt"
  done
}
suite a & a=$!
suite b & b=$!
failed=0
wait "$a" || failed=1
wait "$b" || failed=1
[ "$failed" -eq 0 ]
for name in a b; do
  if grep -qF "$(sed -n 2p "$root/$name.pem")" "$bundle"; then
    echo "$name is still in the bundle after it was untrusted"
    exit 1
  fi
done
echo "20 rounds for each of two suites side by side, every update whole"
