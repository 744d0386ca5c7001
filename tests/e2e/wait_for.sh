# shellcheck shell=bash
# Sourced by the scripts that drive the real program.

# Waits until the command succeeds, trying every 0.1 s for at most $1 seconds.
wait_for() {
  local seconds=$1
  shift
  local tries=$((seconds * 10))
  while ((tries-- > 0)); do
    if "$@"; then
      return 0
    fi
    sleep 0.1
  done
  return 1
}
