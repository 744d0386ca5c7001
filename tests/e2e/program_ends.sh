#!/usr/bin/env bash
# How the real orlo-monitor ends when it is not closed by hand.
#
#   signals: started on the offscreen platform with its own settings file, it gets SIGTERM,
#            SIGHUP, SIGINT, and two SIGTERMs at once; each time it must save its settings and
#            end with status 0.
#   display: started without a usable display (DISPLAY unset, or naming a display that does not
#            exist), it must print one line that names the display and asks for a graphical
#            session, and end with status 1.
#
# usage: program_ends.sh signals|display ORLO_MONITOR
set -euo pipefail

mode=$1
monitor=$2
# Only read by a sanitizer build of the monitor.
LSAN_OPTIONS="suppressions=$(dirname "$0")/lsan_suppressions.txt${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export LSAN_OPTIONS
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# shellcheck source=tests/e2e/wait_for.sh
source "$(dirname "$0")/wait_for.sh"

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

start_without_display() {
  local description=$1
  shift
  local status=0
  env "$@" "$monitor" >"$work/out.log" 2>"$work/err.log" || status=$?
  [ "$status" -eq 1 ] || fail "$description: status $status, not 1: $(cat "$work/err.log")"
  [ ! -s "$work/out.log" ] || fail "$description: printed to stdout: $(cat "$work/out.log")"
  [ "$(wc -l <"$work/err.log")" -eq 1 ] || fail "$description: not one line: $(cat "$work/err.log")"
  echo "$description: $(cat "$work/err.log")"
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
  display)
    start_without_display "DISPLAY unset" -u DISPLAY
    grep -q 'graphical session' "$work/err.log" || fail "no word of a graphical session"
    grep -q 'DISPLAY is not set' "$work/err.log" || fail "does not say that DISPLAY is unset"
    number=$((3000 + $$ % 1000))
    while [ -e "/tmp/.X11-unix/X$number" ]; do
      number=$((number + 1))
    done
    start_without_display "DISPLAY=:$number" DISPLAY=":$number"
    grep -q 'graphical session' "$work/err.log" || fail "no word of a graphical session"
    grep -qF "\":$number\"" "$work/err.log" || fail "does not name the display :$number"
    ;;
  *)
    fail "unknown mode $mode"
    ;;
esac
echo "PASS"
