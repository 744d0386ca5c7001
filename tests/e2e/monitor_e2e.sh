#!/usr/bin/env bash
# The monitor as a user runs it: the real orlo-monitor on its own Xvfb display under openbox,
# with its own settings file. Checks the lamps on screen, always-on-top from the first map,
# ">>", unticking "Window always on top." and closing through the window manager with an edit.
# Saves screenshots of the collapsed and the expanded window. Then, as root, a second monitor
# that openbox maps on a workspace that is not shown must still sweep at every tick, and save
# its settings when SIGTERM ends it.
#
# usage: monitor_e2e.sh ORLO_MONITOR FIRST_MAP_STATE SCREENSHOT_DIR
# Exits 0 on success, 1 on a failed check, 77 (skip) only when this user may not send ICMP at
# all, which never holds for root.
set -euo pipefail

# As root the test runs in a network namespace of its own: the echo requests it counts are its
# monitors' alone, and every X client reaches this test's Xvfb through its abstract socket, even
# where a display of the same number from another namespace shares /tmp/.X11-unix.
if [ "$(id -u)" -eq 0 ] && [ -z "${ORLO_E2E_OWN_NETNS:-}" ]; then
  export ORLO_E2E_OWN_NETNS=1
  exec unshare --net bash -c 'ip link set lo up && exec bash "$@"' bash "$0" "$@"
fi

monitor=$1
first_map_state=$2
screenshots=$3
# Only read by a sanitizer build of the monitor.
export LSAN_OPTIONS="suppressions=$(dirname "$0")/lsan_suppressions.txt${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
# shellcheck source=SCRIPTDIR/../support/x-session.sh
source "$(dirname "$0")/../support/x-session.sh"
# shellcheck source=SCRIPTDIR/monitor_window_session.sh
source "$(dirname "$0")/monitor_window_session.sh"

monitor_need_tools "$monitor"

# ICMP to 127.0.0.1 needs root, the raw-socket capability or an open ping_group_range.
if [ "$(id -u)" -ne 0 ]; then
  read -r low high </proc/sys/net/ipv4/ping_group_range
  gid=$(id -g)
  if ! { [ "$gid" -ge "$low" ] && [ "$gid" -le "$high" ]; } &&
    ! getcap "$monitor" 2>/dev/null | grep -q cap_net_raw; then
    echo "SKIP: this user may not send ICMP echo requests (see the README); root always may"
    exit 77
  fi
fi

step "start Xvfb on a free display, and openbox"
# Openbox's own configuration, with a rule that maps windows of the instance name orlo-hidden
# on the second workspace, which is not shown.
hidden_name=orlo-hidden
x_openbox_config="$work/openbox.xml"
sed "s|^<applications>\$|&<application name=\"$hidden_name\"><desktop>2</desktop></application>|" \
  /etc/xdg/openbox/rc.xml >"$x_openbox_config"
grep -q "$hidden_name" "$x_openbox_config" || fail "no rule for the hidden window in openbox's rc.xml"
x_session_start || fail "no X session"
unset QT_QPA_PLATFORM QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_FONT_DPI
echo "display $DISPLAY"

step "settings of an earlier run"
config="$work/config"
mkdir -p "$config/Orlo"
settings="$config/Orlo/Orlo.conf"
cat >"$settings" <<'CONF'
[Monitor]
ip0=127.0.0.1
ipen0=1
ip1=abc
ipen1=1
ip2=127.0.0.2
ipen2=0
CONF

start_monitor() {
  XDG_CONFIG_HOME="$config" "$monitor" >"$work/monitor.log" 2>&1 &
  monitor_pid=$!
}
screenshot_prefix=monitor
monitor_session start_monitor

for ((i = 0; i < ${#monitor_saved_values[@]}; i += 2)); do
  line="${monitor_saved_values[i]}=${monitor_saved_values[i + 1]}"
  grep -qx "$line" "$settings" || fail "the settings lack $line: $(cat "$settings")"
done
echo "saved settings:"
cat "$settings"

step "at fractional scales \">>\" keeps the width and sets the heights of the twips layout"
for factor in 1.5 1.75; do
  monitor_dpi=$(awk "BEGIN { print 96 * $factor }")
  QT_SCALE_FACTOR=$factor XDG_CONFIG_HOME="$work/scaled" "$monitor" >"$work/scaled.log" 2>&1 &
  scaled_pid=$!
  x_track "$scaled_pid"
  window=$(x_wait_window --visible 30 "$title") || fail "no window at $factor: $(cat "$work/scaled.log")"
  read -r _ _ width height < <(monitor_geometry)
  [ "$width $height" = "$(px 2805) $(px 825)" ] || fail "at $factor the window is ${width}x$height"
  for twips in 5145 840 5145; do
    xdotool mousemove --window "$window" "$(centre 1920 2655)" "$(centre 120 375)" click 1
    scaled_height() { [ "$(monitor_geometry | cut -d' ' -f3-)" = "$width $(px "$twips")" ]; }
    wait_for 10 scaled_height || fail "at $factor, \">>\" made $(monitor_geometry), not $width $(px "$twips")"
  done
  x_close "$window"
  wait_for 20 x_gone "$scaled_pid" || fail "the monitor at $factor did not end"
  echo "at $factor: ${width}x$(px 825), then $(px 5145), $(px 840), $(px 5145) high"
done

step "a monitor on a workspace that is not shown sweeps at every tick"
if [ -z "${ORLO_E2E_OWN_NETNS:-}" ]; then
  [ "${ORLO_REQUIRE_NETNS:-}" != 1 ] || fail "ORLO_REQUIRE_NETNS=1, but counting echoes needs root"
  echo "skipped: counting echo requests needs a network namespace of the test's own, and root"
else
  echoes_before=$(echoes_sent)
  hidden_config="$work/hidden"
  mkdir -p "$hidden_config/Orlo"
  hidden_settings="$hidden_config/Orlo/Orlo.conf"
  # An interval of -1 sweeps at every tick.
  printf '[Monitor]\nip0=127.0.0.1\nipen0=1\nrefresh=-1\n' >"$hidden_settings"
  RESOURCE_NAME=$hidden_name XDG_CONFIG_HOME="$hidden_config" "$monitor" >"$work/hidden.log" 2>&1 &
  hidden_pid=$!
  x_track "$hidden_pid"
  hidden_window() { xdotool search --classname "^$hidden_name\$" 2>/dev/null | head -n1; }
  hidden_mapped() { [ -n "$(hidden_window)" ]; }
  wait_for 20 hidden_mapped || fail "no hidden monitor window: $(cat "$work/hidden.log")"
  hidden=$(hidden_window)
  # Qt creates the window before it maps it, and openbox places it when it is mapped.
  on_second_workspace() { xprop -id "$hidden" _NET_WM_DESKTOP 2>/dev/null | grep -q '= 1$'; }
  wait_for 20 on_second_workspace || fail "window $hidden is not on the second workspace:" \
    "$(xprop -id "$hidden" WM_CLASS WM_NAME _NET_WM_DESKTOP WM_STATE 2>&1)"
  xprop -root _NET_CURRENT_DESKTOP | grep -q '= 0$' || fail "the second workspace is shown"
  ! xwininfo -id "$hidden" | grep -q 'IsViewable' || fail "the hidden monitor window is viewable"
  # The load sweep, then at least three ticks.
  several_sweeps() { (($(echoes_sent) - echoes_before >= 4)); }
  wait_for 20 several_sweeps ||
    fail "the hidden monitor sent $(($(echoes_sent) - echoes_before)) echo requests in 20 s"
  echo "$(($(echoes_sent) - echoes_before)) echo requests sent"
  kill -TERM "$hidden_pid"
  wait_for 20 x_gone "$hidden_pid" || fail "the hidden monitor did not end after SIGTERM"
  hidden_status=0
  wait "$hidden_pid" || hidden_status=$?
  [ "$hidden_status" -eq 0 ] || fail "after SIGTERM the hidden monitor ended with status $hidden_status"
  grep -qx 'ipen9=0' "$hidden_settings" || fail "SIGTERM did not save: $(cat "$hidden_settings")"
fi

echo "screenshots in $screenshots"
echo "PASS"
