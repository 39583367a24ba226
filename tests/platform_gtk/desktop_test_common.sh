# What the desktop window's tests share; sourced by them.

skip() { echo "SKIP: $*"; exit 77; }

# require_desktop BUILT TOOL...: skips (77) unless the desktop host is built
# (BUILT is ON) and every TOOL is there.
require_desktop() {
  [ "$1" = ON ] || skip "the desktop host is not built"
  shift
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || skip "$tool is missing"
  done
}

# on_own_xvfb SCRIPT ARGS...: runs SCRIPT again on a virtual X server of its
# own, unless this is that run already.
on_own_xvfb() {
  if [ -z "${LUMIREEL_ON_XVFB:-}" ]; then
    export LUMIREEL_ON_XVFB=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
  fi
}

# begin_scratch: the test's scratch folder $scratch, with a home and runtime
# folder of its own (WebKit keeps its caches and data under the home
# folder). At the end the folder is removed and the program ($app_pid) and
# the processes given to end_at_exit are ended.
begin_scratch() {
  scratch=$(mktemp -d)
  app_pid=
  at_exit_pids=()
  trap end_scratch EXIT
  export HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/run" NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory
  mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
}
end_at_exit() { at_exit_pids+=("$1"); }
end_scratch() {
  local pid
  for pid in $app_pid "${at_exit_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$scratch"
}

# wait_for SECONDS COMMAND...: until COMMAND succeeds; fails the test (with
# the script's `fail`) when the program ($app_pid) ends meanwhile.
wait_for() {
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    kill -0 "$app_pid" 2>/dev/null || fail "the program ended early"
    sleep 0.2
  done
}
