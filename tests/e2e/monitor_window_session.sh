# shellcheck shell=bash
# The sourcing script sets the variables named below, and wait_for calls the checks defined inside
# the functions:
# shellcheck disable=SC2154,SC2317
# What both end-to-end tests do with the real monitor window, whichever build shows it (orlo-monitor
# with Qt, monitor.exe under Wine): start it watched from before its first map, which must find it
# above the other windows; check its size and its lamps by pixel; ">>" three times; untick "Window
# always on top."; type an address and close the window through the window manager. Positions
# come from the window's twips layout at the display's DPI.
#
# Source it after tests/support/x-session.sh. It sets title and work (x-session's folder) and
# defines fail and step; the sourcing script sets first_map_state, screenshots and
# screenshot_prefix. The program's settings must hold 127.0.0.1 ticked in slot 1, abc ticked in slot 2, the other
# slots unticked, and no "ontop" (so on top). Then:
#   monitor_need_tools [TOOL...]       fails unless the tools of the steps and these are there
#   monitor_dpi=N                      the DPI the window converts its layout at (96 unless set)
#   monitor_session START_FUNCTION     START_FUNCTION starts the program in the background, its
#                                      output in $work/monitor.log, and sets monitor_pid. Returns
#                                      once the program has ended after the close, with status 0.
# Afterwards the settings must hold monitor_saved_values, key then value, and $x0 $y0 are where
# the window was.

title='Orlo - IP Monitor'
work=$x_work
monitor_dpi=96

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
step() { echo "-- $*"; }

monitor_need_tools() {
  local tool
  for tool in Xvfb openbox xdotool xprop xwininfo import "$x_convert" "$first_map_state" "$@"; do
    command -v "$tool" >/dev/null || fail "$tool is missing"
  done
}
# What the close saved: the typed address, the unticked on-top, and what the settings held.
# shellcheck disable=SC2034 # read by the sourcing script
monitor_saved_values=(ip3 127.0.0.9 ontop 0 ip1 abc ipen2 0)

# Twips to pixels at the window's DPI, rounding half up; the pixel midway between two edges.
px() { echo $((($1 * monitor_dpi + 720) / 1440)); }
centre() { echo "$((($(px "$1") + $(px "$2")) / 2))"; }

monitor_geometry() { x_geometry "$window"; }

# Starts the program with the watcher running first; sets window.
monitor_start_watched() {
  local start=$1 watcher watcher_status _
  # A monitor that maps its window before the watcher could watch it (status 3) is started again.
  for _ in 1 2 3; do
    : >"$work/first_map.log"
    "$first_map_state" "$title" 60 >"$work/first_map.log" 2>&1 &
    watcher=$!
    x_track "$watcher"
    wait_for 10 grep -q '^ready' "$work/first_map.log" || fail "the map watcher did not start"
    "$start"
    x_track "$monitor_pid"
    watcher_status=0
    wait "$watcher" || watcher_status=$?
    cat "$work/first_map.log"
    [ "$watcher_status" -eq 3 ] || break
    x_stop "$monitor_pid"
  done
  [ "$watcher_status" -ne 3 ] || fail "the monitor mapped its window before the watcher could watch it"
  [ "$watcher_status" -eq 0 ] || fail "_NET_WM_STATE_ABOVE was not set from the first map"
  window=$(sed -n 's/^window //p' "$work/first_map.log")
  [ -n "$window" ] || fail "the watcher named no window"
}

monitor_session() {
  step "start the watcher of the first map, then the monitor"
  monitor_start_watched "$1"
  local width expected shown_width shown_height
  width=$(px 2805)
  read -r x0 y0 shown_width shown_height < <(monitor_geometry)
  echo "window $window at $x0,$y0 size ${shown_width}x$shown_height"
  [ "$shown_width $shown_height" = "$width $(px 825)" ] ||
    fail "client area ${shown_width}x$shown_height, not ${width}x$(px 825)"

  step "lamps: 127.0.0.1 green, abc red, the unticked slots black"
  local slot left top lamp_centres=()
  for slot in 0 1 2 3 4 5 6 7 8 9; do
    left=$((120 + 360 * (slot % 5)))
    top=$((120 + 360 * (slot / 5)))
    lamp_centres+=("$(centre "$left" $((left + 255))),$(centre "$top" $((top + 255)))")
  done
  expected="00FF00 FF0000 000000 000000 000000 000000 000000 000000 000000 000000"
  monitor_lamps_shown() { [ "$(x_pixels "$window" "${lamp_centres[@]}")" = "$expected" ]; }
  if ! wait_for 10 monitor_lamps_shown; then
    fail "lamps $(x_pixels "$window" "${lamp_centres[@]}"), expected $expected"
  fi
  x_has_wm_state "$window" _NET_WM_STATE_ABOVE || fail "not above after start-up"
  mkdir -p "$screenshots"
  x_shot --frame "$window" "$screenshots/$screenshot_prefix-collapsed.png"

  step "\">>\" expands to every row and collapses again, keeping width and position"
  local command1_x command1_y expanded collapsed
  command1_x=$(centre 1920 2655)
  command1_y=$(centre 120 375)
  expanded="$x0 $y0 $width $(px 5145)"
  collapsed="$x0 $y0 $width $(px 840)"
  monitor_has_geometry() { [ "$(monitor_geometry)" = "$1" ]; }
  xdotool mousemove --window "$window" "$command1_x" "$command1_y" click 1
  wait_for 10 monitor_has_geometry "$expanded" ||
    fail "after \">>\" the window is $(monitor_geometry), expected $expanded"
  # The interval box and the ten address boxes, right of their texts: white, so drawn and visible.
  local boxes=("$(($(px 1875) - 8)),$(centre 840 1125)")
  for slot in 0 1 2 3 4 5 6 7 8 9; do
    boxes+=("$(($(px 2720) - 8)),$(centre $((1200 + 360 * slot)) $((1485 + 360 * slot)))")
  done
  expected=$(printf 'FFFFFF %.0s' "${boxes[@]}")
  expected=${expected% }
  monitor_boxes_shown() { [ "$(x_pixels "$window" "${boxes[@]}")" = "$expected" ]; }
  wait_for 10 monitor_boxes_shown || fail "boxes not all visible: $(x_pixels "$window" "${boxes[@]}")"
  x_shot --frame "$window" "$screenshots/$screenshot_prefix-expanded.png"
  xdotool mousemove --window "$window" "$command1_x" "$command1_y" click 1
  wait_for 10 monitor_has_geometry "$collapsed" ||
    fail "after a second \">>\" the window is $(monitor_geometry), expected $collapsed"
  xdotool mousemove --window "$window" "$command1_x" "$command1_y" click 1
  wait_for 10 monitor_has_geometry "$expanded" ||
    fail "after a third \">>\" the window is $(monitor_geometry), expected $expanded"

  step "unticking \"Window always on top.\" drops ABOVE and does not move the window"
  xdotool mousemove --window "$window" $(($(px 120) + 6)) "$(centre 4800 5055)" click 1
  # Shown and below: a window that is unmapped and mapped anew (as QWidget::setWindowFlags does)
  # is not shown in between, and is placed before it is shown again.
  monitor_shown_below() { x_viewable "$window" && ! x_has_wm_state "$window" _NET_WM_STATE_ABOVE; }
  wait_for 10 monitor_shown_below || fail "after unticking the window is still above, or no longer shown"
  [ "$(monitor_geometry)" = "$expanded" ] || fail "the window moved or changed size: $(monitor_geometry)"

  step "edit an address, close through the window manager"
  xdotool mousemove --window "$window" "$(centre 720 2720)" "$(centre 2280 2565)" click 1
  xdotool type --delay 30 '127.0.0.9'
  x_close "$window"
  wait_for 20 x_gone "$monitor_pid" || fail "the monitor did not end after alt+F4"
  local status=0
  wait "$monitor_pid" || status=$?
  [ "$status" -eq 0 ] || fail "the monitor ended with status $status: $(cat "$work/monitor.log")"
}
