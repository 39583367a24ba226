#!/usr/bin/env bash
# The desktop window on a virtual X server: starts lumireel on a fresh demo
# workspace whose movie is a test page (smoke/quillmarZEL.snt), and checks
#  - the round trip through the bridge: setGlobPath reaches the movie, which
#    sends ReadFile and gets its reply, sends a request without reply and gets
#    null, shows a workspace image by a relative path, and writes what it got
#    with WriteFile;
#  - that a frame inside the movie cannot use the bridge, that the movie
#    cannot navigate away, and that nothing reaches the network;
#  - the window's placement (0, 30, screen width, screen height - 60), title
#    and icons as the X server sees them;
#  - that CloseWindow from the movie ends the program with status 0.
# A screenshot goes to ARTIFACTS/desktop-window.png.
#
# Usage: desktop_smoke_test.sh LUMIREEL ARTIFACTS BUILT
# Exits 77 (skipped) when the desktop host is not built (BUILT is not ON) or
# the X tools are missing.
set -euo pipefail

lumireel=$1
artifacts=$2
built=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/desktop_test_common.sh"

require_desktop "$built" xvfb-run xwininfo xprop import convert python3
# Everything below runs on a virtual X server of its own.
on_own_xvfb "$0" "$@"

begin_scratch
fail() {
  echo "FAIL: $*"
  echo "--- program output"; cat "$scratch/app.log" 2>/dev/null || true
  exit 1
}


# A local web server that logs every request: nothing may reach it.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$scratch/web"
(cd "$scratch/web" && exec python3 -m http.server --bind 127.0.0.1 "$port") \
  >"$scratch/web.log" 2>&1 &
end_at_exit $!

# A demo workspace whose name needs escaping in an address and in XML, with
# the test's movie in place of the interface.
workspace="$scratch/Tom & Jerry's photos #1 100%"
"$here/../../scripts/make-workspace" "$workspace" >/dev/null
sed "s/@PORT@/$port/g" "$here/smoke/quillmarZEL.snt" >"$workspace/quillmarZEL.snt"
cp "$here/smoke/frame.html" "$here/smoke/other.html" "$workspace/"
convert -size 40x30 xc:'#e07050' "$workspace/pic.png"
printf 'Grüße <&> from ReadFile' >"$workspace/input.txt"

(cd "$workspace" && exec "$lumireel") >"$scratch/app.log" 2>&1 &
app_pid=$!

wait_for 60 test -s "$workspace/result.txt" || fail "the movie wrote no result"
expected="root=$workspace
reply=<invoke name=\"ReadFile\" returntype=\"xml\"><string>Grüße &lt;&amp;&gt; from ReadFile</string></invoke>
none=null
pic=40x30"
actual=$(cat "$workspace/result.txt")
[ "$actual" = "$expected" ] || fail "the movie got:
$actual
expected:
$expected"

for name in pwned-hello pwned-guess pwned-parent pwned-other; do
  [ ! -e "$workspace/$name.txt" ] || fail "$name.txt was written: the bridge answered another page"
done

# The window as the X server sees it.
info=$(xwininfo -name "Quillmar Lumireel") || fail "no window titled 'Quillmar Lumireel'"
field() { sed -n "s/^ *$1: *//p" <<<"$info"; }
screen=$(xwininfo -root | sed -n 's/^ *-geometry \([0-9]*x[0-9]*\).*/\1/p')
screen_w=${screen%x*}
screen_h=${screen#*x}
placement="$(field 'Absolute upper-left X') $(field 'Absolute upper-left Y') $(field Width) $(field Height)"
[ "$placement" = "0 30 $screen_w $((screen_h - 60))" ] ||
  fail "window at '$placement' on a ${screen} screen"
props=$(xprop -name "Quillmar Lumireel" _NET_WM_NAME _NET_WM_ICON _MOTIF_WM_HINTS)
grep -q '_NET_WM_NAME(UTF8_STRING) = "Quillmar Lumireel"' <<<"$props" || fail "title: $props"
grep -q '_NET_WM_ICON(CARDINAL) = ' <<<"$props" || fail "no window icons"

mkdir -p "$artifacts"
import -window root "$artifacts/desktop-window.png"

# The movie closes the window when told to.
echo close >"$workspace/close-order.txt"
status=0
for _ in $(seq 1 100); do
  kill -0 "$app_pid" 2>/dev/null || break
  sleep 0.2
done
kill -0 "$app_pid" 2>/dev/null && fail "the program did not end after CloseWindow"
wait "$app_pid" || status=$?
app_pid=
[ "$status" -eq 0 ] || fail "exit status $status after CloseWindow"

if grep -q '"GET' "$scratch/web.log"; then
  fail "the movie reached the network: $(cat "$scratch/web.log")"
fi
echo "PASS: desktop window, bridge round trip, containment, exit status 0"
