#!/usr/bin/env bash
# The status icon and the notifications as a user meets them: the real orlo-monitor on its own
# Xvfb display, with stand-ins for a desktop's notification area and notification service on a
# private D-Bus session bus (desktop_services), watching 127.0.0.1 and 127.0.0.2 (whose address is
# followed by markup) in a network namespace of the test's own, which stop answering echo requests
# and then answer again. The icon must turn from green to red and back, with its hover text as
# text, and one notification must come per change, its body escaped only for a service that reads
# markup. Then: choosing "Start when I log in" from the window's menu twice writes the autostart
# entry and removes it; the desktop services restart, and the icon must be registered again; and
# with them hung (SIGSTOP), the window must still answer after a sweep, its menu open, and SIGTERM
# end the program at once, with an edit saved.
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

monitor=$(realpath "$1")
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
start_services() {
  "$services" "$@" >"$work/services.log" 2>&1 &
  services_pid=$!
  x_track "$services_pid"
  wait_for 10 grep -qx ready "$work/services.log" || fail "the desktop services did not start"
}
start_services --body-markup

mkdir -p "$work/config/Orlo"
settings=$work/config/Orlo/Orlo.conf
# An interval of -1 sweeps at every tick. A blank ends an address: what follows is the user's.
cat >"$settings" <<'CONF'
[Monitor]
ip0=127.0.0.1
ipen0=1
ip1=127.0.0.2 <b>x</b>
ipen1=1
refresh=-1
ontop=0
tray=1
notify=1
CONF
XDG_CONFIG_HOME="$work/config" "$monitor" >"$work/monitor.log" 2>&1 &
monitor_pid=$!
x_track "$monitor_pid"

title="Orlo - IP Monitor"
# Each address is set apart for bidirectional text, between U+2068 and U+2069.
isolated() { printf '\342\201\250%s\342\201\251 (host %s)' "$1" "$2"; }
host1=$(isolated 127.0.0.1 1)
escaped2=$(isolated '127.0.0.2 &lt;b&gt;x&lt;/b&gt;' 2)
expect() {
  wait_for 20 grep -qxF "$1" "$work/services.log" || fail "never: $1"
  echo "seen: $1"
}
# A host's change in a notification; a sweep may find the hosts' change on either side of it.
notified() { grep "^notification $title: " "$work/services.log" | grep -cF "$1" || true; }
was_notified() { (($(notified "$1") > 0)); }
expect_notified() {
  wait_for 20 was_notified "$1" || fail "never notified: $1"
  echo "notified: $1"
}
expect "icon 00FF00 $title: 2 of 2 watched hosts answer"
expect "menu Show status in the notification area [x] / Notify when a host stops or starts answering [x] / Start when I log in [ ]"
# The two sweeps at start-up notify nothing; the hosts stop answering after them.
three_sweeps() { (($(echoes_sent) >= 6)); }
wait_for 20 three_sweeps || fail "the monitor did not sweep three times"
sysctl -q -w net.ipv4.icmp_echo_ignore_all=1
expect "icon FF0000 $title: 0 of 2 watched hosts answer; no reply: $host1, $escaped2"
sysctl -q -w net.ipv4.icmp_echo_ignore_all=0
expect "icon 00FF00 $title: 2 of 2 watched hosts answer"
changes=("$host1 stopped answering." "$escaped2 stopped answering." "$host1 answers again."
  "$escaped2 answers again.")
for change in "${changes[@]}"; do
  expect_notified "$change"
done
# Three more sweeps with nothing new: still one notification per change.
sent=$(echoes_sent)
three_more() { (($(echoes_sent) >= sent + 6)); }
wait_for 20 three_more || fail "the monitor stopped sweeping"
for change in "${changes[@]}"; do
  [ "$(notified "$change")" -eq 1 ] || fail "not one notification for: $change"
done

window=$(x_wait_window --visible 10 "$title") || fail "no monitor window"
# The third item of the window's context menu, from the keyboard.
choose_start_at_login() {
  xdotool windowactivate --sync "$window" key --clearmodifiers shift+F10
  sleep 0.5
  xdotool key Down Down Down Return
}
autostart=$work/config/autostart/orlo-monitor.desktop
choose_start_at_login
expect "menu Show status in the notification area [x] / Notify when a host stops or starts answering [x] / Start when I log in [x]"
grep -qxF "Exec=$monitor" "$autostart" || fail "no entry that starts $monitor: $(cat "$autostart")"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$autostart" || fail "desktop-file-validate refused the entry"
fi
choose_start_at_login
wait_for 10 test ! -e "$autostart" || fail "choosing again did not remove $autostart"
echo "the autostart entry was written and removed"

# A panel that restarts: the icon is registered with the new one. This service reads no markup.
x_stop "$services_pid"
start_services
expect "icon 00FF00 $title: 2 of 2 watched hosts answer"
sysctl -q -w net.ipv4.icmp_echo_ignore_all=1
expect_notified "$(isolated '127.0.0.2 <b>x</b>' 2) stopped answering."
sysctl -q -w net.ipv4.icmp_echo_ignore_all=0

# Hung desktop services: a sweep, then ">>" must still answer, the menu open, and SIGTERM end the
# program with the edit saved, each within a bound far below the 25 s of a blocking call.
kill -STOP "$services_pid"
resume_services() { kill -CONT "$services_pid" 2>/dev/null || true; }
x_at_exit resume_services
sent=$(echoes_sent)
one_more() { (($(echoes_sent) >= sent + 2)); }
wait_for 10 one_more || fail "the monitor stopped sweeping"
height() { x_geometry "$window" | cut -d' ' -f4; }
collapsed=$(height)
xdotool mousemove --window "$window" 152 16 click 1
expanded() { (($(height) > collapsed)); }
wait_for 5 expanded || fail "\">>\" did not answer within 5 s with the desktop services hung"
menu_open() { (($(xdotool search --onlyvisible --pid "$monitor_pid" 2>/dev/null | wc -l) > 1)); }
xdotool windowactivate --sync "$window" key --clearmodifiers shift+F10
wait_for 5 menu_open || fail "the context menu did not open within 5 s with the desktop services hung"
xdotool key Escape
# "Window always on top.", ticked: the edit.
xdotool mousemove --window "$window" 92 328 click 1
sleep 0.5
kill -TERM "$monitor_pid"
wait_for 5 x_gone "$monitor_pid" || fail "SIGTERM did not end the monitor within 5 s"
x_stop "$monitor_pid"
grep -qx 'ontop=1' "$settings" || fail "the edit was not saved: $(cat "$settings")"
grep -qx 'tray=1' "$settings" || fail "the options were not kept"
resume_services
echo "PASS"
