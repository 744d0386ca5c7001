#!/usr/bin/env bash
# The status icon and the notifications as a user meets them: the real orlo-monitor on its own
# Xvfb display, with stand-ins for a desktop's notification area and notification service on a
# private D-Bus session bus (desktop_services), watching 127.0.0.1 in a network namespace of the
# test's own, which stops answering echo requests and then answers again. The icon must turn
# from green to red and back, with its hover text, and one notification must come per change.
#
# usage: status_e2e.sh ORLO_MONITOR DESKTOP_SERVICES
# Exits 0 on success, 1 on a failed check, 77 (skip) without root, unless ORLO_REQUIRE_NETNS=1
# makes that a failure.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
  if [ "${ORLO_REQUIRE_NETNS:-}" = 1 ]; then
    echo "FAIL: ORLO_REQUIRE_NETNS=1, but this test needs root" >&2
    exit 1
  fi
  echo "SKIP: needs root, for a network namespace whose host it stops and starts"
  exit 77
fi
if [ -z "${ORLO_STATUS_OWN_NETNS:-}" ]; then
  export ORLO_STATUS_OWN_NETNS=1
  exec unshare --net bash -c 'ip link set lo up && exec bash "$@"' bash "$0" "$@"
fi

monitor=$1
services=$2
export LSAN_OPTIONS="suppressions=$(dirname "$0")/lsan_suppressions.txt${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
# shellcheck source=SCRIPTDIR/../support/x-session.sh
source "$(dirname "$0")/../support/x-session.sh"
work=$x_work
fail() {
  echo "FAIL: $*" >&2
  echo "desktop services saw:" >&2
  cat "$work/services.log" >&2
  echo "the monitor said:" >&2
  cat "$work/monitor.log" >&2
  exit 1
}

x_session_start || fail "no X session"
unset QT_QPA_PLATFORM QT_SCALE_FACTOR WAYLAND_DISPLAY
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/bus"
: >"$work/services.log"
dbus-daemon --session --address="$DBUS_SESSION_BUS_ADDRESS" --nofork --nopidfile \
  >"$work/bus.log" 2>&1 &
x_track $!
wait_for 10 test -S "$work/bus" || fail "no D-Bus session bus: $(cat "$work/bus.log")"
"$services" >"$work/services.log" 2>&1 &
x_track $!
wait_for 10 grep -qx ready "$work/services.log" || fail "the desktop services did not start"

mkdir -p "$work/config/Orlo"
# An interval of -1 sweeps at every tick.
printf '[Monitor]\nip0=127.0.0.1\nipen0=1\nrefresh=-1\nontop=0\ntray=1\nnotify=1\n' \
  >"$work/config/Orlo/Orlo.conf"
XDG_CONFIG_HOME="$work/config" "$monitor" >"$work/monitor.log" 2>&1 &
monitor_pid=$!
x_track "$monitor_pid"

title="Orlo - IP Monitor"
# Each address is set apart for bidirectional text, between U+2068 and U+2069.
host1="$(printf '\342\201\250')127.0.0.1$(printf '\342\201\251') (host 1)"
expect() {
  wait_for 20 grep -qxF "$1" "$work/services.log" || fail "never: $1"
  echo "seen: $1"
}
expect "icon 00FF00 $title: 1 of 1 watched host answers"
# The two sweeps at start-up notify nothing; the host stops answering after them.
three_sweeps() { (($(echoes_sent) >= 3)); }
wait_for 20 three_sweeps || fail "the monitor did not sweep three times"
sysctl -q -w net.ipv4.icmp_echo_ignore_all=1
expect "notification $title: $host1 stopped answering."
expect "icon FF0000 $title: 0 of 1 watched host answers; no reply: $host1"
sysctl -q -w net.ipv4.icmp_echo_ignore_all=0
expect "notification $title: $host1 answers again."
expect "icon 00FF00 $title: 1 of 1 watched host answers"
# Three more sweeps with nothing new: still one notification per change.
sent=$(echoes_sent)
three_more() { (($(echoes_sent) >= sent + 3)); }
wait_for 20 three_more || fail "the monitor stopped sweeping"
[ "$(grep -c '^notification' "$work/services.log")" -eq 2 ] || fail "not one notification per change"
x_stop "$monitor_pid"
grep -qx 'tray=1' "$work/config/Orlo/Orlo.conf" || fail "the options were not kept"
echo "PASS"
