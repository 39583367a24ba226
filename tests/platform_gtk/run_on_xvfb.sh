#!/usr/bin/env bash
# Runs a test program on a virtual X server of its own, with a scratch home.
# Usage: run_on_xvfb.sh BUILT PROGRAM [ARGS...]
# Exits 77 (skipped) when BUILT is not ON or xvfb-run is missing.
set -euo pipefail
built=$1
shift
[ "$built" = ON ] || { echo "SKIP: the desktop host is not built"; exit 77; }
command -v xvfb-run >/dev/null || { echo "SKIP: xvfb-run is missing"; exit 77; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/home" "$scratch/run"
chmod 700 "$scratch/run"
HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/run" NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory \
  xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
