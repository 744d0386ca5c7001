#!/usr/bin/env bash
# How the real orlo-monitor ends when it is not closed by hand.
#
#   signals: started on the offscreen platform with its own settings file, it gets SIGTERM,
#            SIGHUP, SIGINT, and two SIGTERMs at once; each time it must save its settings and
#            end with status 0.
#
# usage: program_ends.sh signals ORLO_MONITOR
set -euo pipefail

mode=$1
monitor=$2
# Only read by a sanitizer build of the monitor.
export LSAN_OPTIONS="suppressions=$(dirname "$0")/lsan_suppressions.txt${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Waits until the command succeeds, trying every 0.1 s for at most $1 seconds.
wait_for() {
  local tries=$(($1 * 10))
  shift
  while ((tries-- > 0)); do
    if "$@"; then
      return 0
    fi
    sleep 0.1
  done
  return 1
}

work=$(mktemp -d)
monitor_pid=
cleanup() {
  if [ -n "$monitor_pid" ]; then
    kill -KILL "$monitor_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# SIGTERM, SIGHUP and SIGINT each blocked or caught: from now on none of them ends the program
# by itself.
end_signals_taken() {
  local masks
  masks=$(awk '/^Sig(Blk|Cgt):/ {printf "0x%s ", $2}' "/proc/$monitor_pid/status" 2>/dev/null) ||
    return 1
  read -r blocked caught <<<"$masks"
  [ -n "$caught" ] && ((((blocked | caught) & 0x4003) == 0x4003))
}
exited() { ! kill -0 "$monitor_pid" 2>/dev/null; }

end_by_signals() {
  local signals=("$@")
  local settings="$work/config/Orlo/Orlo.conf"
  mkdir -p "$(dirname "$settings")"
  printf '[Monitor]\nip3=127.0.0.9\nrefresh=7\n' >"$settings"
  env -u DISPLAY QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config" "$monitor" \
    >"$work/monitor.log" 2>&1 &
  monitor_pid=$!
  wait_for 30 end_signals_taken ||
    fail "the monitor never took SIGTERM, SIGHUP and SIGINT: $(cat "$work/monitor.log")"
  for signal in "${signals[@]}"; do
    kill "-$signal" "$monitor_pid"
  done
  wait_for 30 exited || fail "the monitor did not end after ${signals[*]}"
  local status=0
  wait "$monitor_pid" || status=$?
  monitor_pid=
  [ "$status" -eq 0 ] || fail "after ${signals[*]} the monitor ended with status $status"
  for line in ip3=127.0.0.9 refresh=7 ipen9=0 ontop=1; do
    grep -qx "$line" "$settings" || fail "after ${signals[*]} the settings lack $line: $(cat "$settings")"
  done
  echo "${signals[*]}: saved, status 0"
}

case $mode in
  signals)
    # Background commands of a shell without job control ignore SIGINT.
    set -m
    for signals in TERM HUP INT "TERM TERM"; do
      read -ra list <<<"$signals"
      end_by_signals "${list[@]}"
    done
    ;;
  *)
    fail "unknown mode $mode"
    ;;
esac
echo "PASS"
