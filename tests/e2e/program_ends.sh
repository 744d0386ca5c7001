#!/usr/bin/env bash
# How the real orlo-monitor ends when it is not closed by hand.
#
#   signals: started on the offscreen platform with its own settings file, it gets SIGTERM,
#            SIGHUP, SIGINT, and two SIGTERMs at once; each time it must save its settings, with
#            a value nobody edited byte for byte, and end with status 0. Under a file-size limit
#            too small for the save, SIGTERM must end it with status 1 and one line on stderr
#            naming the file, rather than a box waiting for a click. As root, a user with no home
#            folder gets a box before the window exists, which SIGTERM must close too.
#   display: started without a usable display (DISPLAY unset, or naming a display that does not
#            exist, or a Wayland display that does not answer, alone or with such a DISPLAY), it
#            must print one line that names the displays and asks for a graphical session, and end
#            with status 1.
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

# Starts the monitor on the offscreen platform, with the command before it (env by default), and
# waits until it takes the end signals. Its error stream goes through a pipe, which no file-size
# limit of the monitor's cuts short.
start_offscreen() {
  mkdir -p -m 0700 "$work/runtime"
  env -u DISPLAY QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config" \
    XDG_RUNTIME_DIR="$work/runtime" "$@" "$monitor" \
    >"$work/monitor.log" 2> >(cat >"$work/monitor.err") &
  monitor_pid=$!
  x_track "$monitor_pid"
  wait_for 30 end_signals_taken ||
    fail "the monitor never took SIGTERM, SIGHUP and SIGINT: $(cat "$work/monitor.err")"
}

# Sends the signals; the monitor must end with the status expected.
end_with() {
  local expected=$1
  shift
  for signal in "$@"; do
    kill "-$signal" "$monitor_pid"
  done
  wait_for 30 x_gone "$monitor_pid" || fail "the monitor did not end after $*"
  local status=0
  wait "$monitor_pid" || status=$?
  [ "$status" -eq "$expected" ] || fail "after $* the monitor ended with status $status"
}

settings="$work/config/Orlo/Orlo.conf"
# ip1 is not UTF-8, which no text box can hold: unedited, it is saved as it was loaded. tray=true,
# kept by hand, is not "1" and so off; nobody chose it from the menu, so it stays as it is.
earlier_settings=$'[Monitor]\nip1=\xff\xfe\xc3(\nip3=127.0.0.9\nrefresh=7\ntray=true\n'

end_by_signals() {
  mkdir -p "$(dirname "$settings")"
  printf '%s' "$earlier_settings" >"$settings"
  start_offscreen
  end_with 0 "$@"
  for line in ip3=127.0.0.9 refresh=7 ipen9=0 ontop=1 $'ip1=\xff\xfe\xc3(' tray=true; do
    grep -qxF "$line" "$settings" || fail "after $* the settings lack $line: $(cat -A "$settings")"
  done
  echo "$*: saved, status 0"
}

# A save that fails while a signal ends the program: one line on stderr, status 1, no box.
end_by_signal_with_failing_save() {
  printf '%s' "$earlier_settings" >"$settings"
  start_offscreen prlimit --fsize=64 --
  end_with 1 TERM
  wait_for 10 grep -q "could not save its settings.*$settings.*File too large" "$work/monitor.err" &&
    [ "$(wc -l <"$work/monitor.err")" -eq 1 ] ||
    fail "a failed save at SIGTERM did not say so in one line: $(cat -A "$work/monitor.err")"
  [ "$(cat "$settings")" = "$(printf '%s' "$earlier_settings")" ] || fail "the failed save changed $settings"
  echo "TERM with the save failing: $(cat "$work/monitor.err")"
}

# As root: a user without a home folder gets a box before the window exists; SIGTERM closes it.
end_start_failure_box() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: a user without a home folder needs root to become"
    return
  fi
  # A runtime folder of the user's, outside this test's folder, which that user cannot enter.
  user_runtime=$(mktemp -d)
  remove_user_runtime() { rm -rf "$user_runtime"; }
  x_at_exit remove_user_runtime
  chown 54321:54321 "$user_runtime"
  env -i QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$user_runtime" \
    setpriv --reuid=54321 --regid=54321 --clear-groups \
    "$monitor" >"$work/monitor.log" 2>"$work/monitor.err" &
  monitor_pid=$!
  x_track "$monitor_pid"
  wait_for 30 end_signals_taken || fail "the monitor without a home never took the end signals"
  end_with 1 TERM
  grep -q "could not start" "$work/monitor.err" ||
    fail "the closed box was not written to stderr: $(cat "$work/monitor.err")"
  echo "TERM at the start failure box: $(cat "$work/monitor.err")"
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
    end_by_signal_with_failing_save
    end_start_failure_box
    ;;
  display)
    start_without_display "DISPLAY is not set" -u DISPLAY
    number=$((3000 + $$ % 1000))
    while [ -e "/tmp/.X11-unix/X$number" ]; do
      number=$((number + 1))
    done
    start_without_display "\":$number\"" DISPLAY=":$number"
    runtime="$work/runtime"
    mkdir -p "$runtime"
    start_without_display "Wayland display \"wayland-9\"" -u DISPLAY WAYLAND_DISPLAY=wayland-9 \
      XDG_RUNTIME_DIR="$runtime"
    start_without_display "\":$number\" named by DISPLAY; cannot reach the Wayland display \"wayland-9\"" \
      DISPLAY=":$number" WAYLAND_DISPLAY=wayland-9 XDG_RUNTIME_DIR="$runtime"
    ;;
  *)
    fail "unknown mode $mode"
    ;;
esac
echo "PASS"
