#!/usr/bin/env bash
# The demo's headless session on a fresh workspace: its account names what was
# made and where, and it exits 0; against a program that ends at once it says
# FAILED and exits 1 instead of reporting success.
# Usage: demo_session_test.sh LUMIREEL MOVIE
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
lumireel=$1
export LUMIREEL_MOVIE=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

ws=$scratch/workspace
"$repo/scripts/make-workspace" "$ws" >/dev/null
"$repo/scripts/make-demo-photos" "$ws/sample-photos" >/dev/null
python3 "$repo/scripts/demo_session.py" "$lumireel" "$ws" >"$scratch/out" 2>&1 ||
  { cat "$scratch/out"; fail "the session failed"; }
for expected in "album made:    'Holiday'" "photos:        4 imported" \
  "keywords:      photo 1 tagged 'sea sand sunset'" "album import:  'Holiday copy'" \
  "web  $ws/published/web/index.html" "cd   $ws/published/cd/index.html"; do
  grep -qF "$expected" "$scratch/out" || { cat "$scratch/out"; fail "no '$expected'"; }
done
# The protocol lines only with --verbose.
! grep -q '"call"' "$scratch/out" || fail "protocol lines without --verbose"
python3 "$repo/scripts/demo_session.py" --verbose "$lumireel" "$ws" >"$scratch/verbose" 2>&1 ||
  fail "the verbose session failed"
grep -q '"call"' "$scratch/verbose" || fail "no protocol lines with --verbose"

# A program that answers nothing and ends.
status=0
python3 "$repo/scripts/demo_session.py" /bin/true "$ws" >"$scratch/broken" 2>&1 || status=$?
[ "$status" -eq 1 ] || { cat "$scratch/broken"; fail "exit status $status for a broken program"; }
grep -q "The demo FAILED" "$scratch/broken" || { cat "$scratch/broken"; fail "no failure said"; }
echo "demo session: account, --verbose and failure all as expected"
