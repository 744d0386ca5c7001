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

# Only its wait_for and its clean-up: these checks need no display.
# shellcheck source=SCRIPTDIR/../support/x-session.sh
source "$(dirname "$0")/../support/x-session.sh"
work=$x_work

# SIGTERM, SIGHUP and SIGINT each blocked or caught: from now on none of them ends the program
# by itself.
end_signals_taken() {
  local masks
  # Until the exec the process is still the shell's child, whose own handlers look caught.
  [ "/proc/$monitor_pid/exe" -ef "$monitor" ] || return 1
  masks=$(awk '/^Sig(Blk|Cgt):/ {printf "0x%s ", $2}' "/proc/$monitor_pid/status" 2>/dev/null) ||
    return 1
  read -r blocked caught <<<"$masks"
  [ -n "$caught" ] && ((((blocked | caught) & 0x4003) == 0x4003))
}

end_by_signals() {
  local signals=("$@")
  local settings="$work/config/Orlo/Orlo.conf"
  mkdir -p "$(dirname "$settings")"
  printf '[Monitor]\nip3=127.0.0.9\nrefresh=7\n' >"$settings"
  env -u DISPLAY QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config" "$monitor" \
    >"$work/monitor.log" 2>&1 &
  monitor_pid=$!
  x_track "$monitor_pid"
  wait_for 30 end_signals_taken ||
    fail "the monitor never took SIGTERM, SIGHUP and SIGINT: $(cat "$work/monitor.log")"
  for signal in "${signals[@]}"; do
    kill "-$signal" "$monitor_pid"
  done
  wait_for 30 x_gone "$monitor_pid" || fail "the monitor did not end after ${signals[*]}"
  local status=0
  wait "$monitor_pid" || status=$?
  [ "$status" -eq 0 ] || fail "after ${signals[*]} the monitor ended with status $status"
  for line in ip3=127.0.0.9 refresh=7 ipen9=0 ontop=1; do
    grep -qx "$line" "$settings" || fail "after ${signals[*]} the settings lack $line: $(cat "$settings")"
  done
  echo "${signals[*]}: saved, status 0"
}

# Starts the monitor with the environment changes given; it must say, in one line on stderr, that
# it needs a graphical session and then the expected words, and end with status 1.
start_without_display() {
  local expected=$1
  shift
  local status=0
  env "$@" "$monitor" >"$work/out.log" 2>"$work/err.log" || status=$?
  local said
  said=$(cat "$work/out.log" "$work/err.log")
  [ "$status" -eq 1 ] || fail "$*: status $status, not 1: $said"
  if [ -s "$work/out.log" ] || [ "$(wc -l <"$work/err.log")" -ne 1 ]; then
    fail "$*: not one line on stderr alone: $said"
  fi
  [[ $said == *"needs a graphical session"*"$expected"* ]] || fail "$*: $said"
  echo "$*: $said"
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
    start_without_display "DISPLAY is not set" -u DISPLAY
    number=$((3000 + $$ % 1000))
    while [ -e "/tmp/.X11-unix/X$number" ]; do
      number=$((number + 1))
    done
    start_without_display "\":$number\"" DISPLAY=":$number"
    ;;
  *)
    fail "unknown mode $mode"
    ;;
esac
echo "PASS"
