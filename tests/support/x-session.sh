# shellcheck shell=bash
# An X session for the scripts that drive real windows (the end-to-end test, the package check,
# the benchmarks): a private Xvfb display with the openbox window manager, ways to find a window,
# read its pixels and wait for a state, and one clean-up that stops everything started here on
# every way out. It knows nothing of the toolkit of the programs it shows; the caller starts
# them and hands their process ids to x_track.
#
# Source it from bash running with set -euo pipefail, then:
#   x_session_start [WxHxDEPTH]      Xvfb (1024x768x24 unless given) and openbox; exports DISPLAY.
#                                    Openbox reads $x_openbox_config when the caller sets it.
#   x_track PID...                   stops these too at the end, the last tracked first
#   x_stop PID...                    stops these now
#   x_at_exit FUNCTION               the clean-up calls it after stopping the programs, the last
#                                    registered first (remove what the caller made)
#   wait_for SECONDS COMMAND...      runs COMMAND every 0.1 s until it succeeds, for at most
#                                    SECONDS (a whole number)
#   x_wait_window [--visible] SECONDS TITLE
#                                    prints the id of a window titled exactly TITLE
#   x_geometry WINDOW                prints "x y width height" of its client area on the screen
#   x_pixels WINDOW|root X,Y...      prints the colours at those points (of the window's client
#                                    area, or of the screen) from one shot, as RRGGBB hex
#   x_shot WINDOW|root FILE          saves a shot; --frame before WINDOW adds the frame around it
#   x_viewable WINDOW                whether it is mapped with all its ancestors (so on screen)
#   x_has_wm_state WINDOW STATE      whether the window manager lists STATE (_NET_WM_STATE_ABOVE)
#   x_close WINDOW                   closes it through the window manager (alt+F4)
#   echoes_sent                      prints how many echo requests this network namespace sent
# The functions return non-zero on failure and say why on stderr; the caller decides what that
# means. $x_work is a private folder, removed at the end, with the session's logs in it.

x_work=$(mktemp -d)
x_tracked=()
x_exit_hooks=()
# The ImageMagick of the distribution, whatever else is first on the PATH.
x_convert=${ORLO_IMAGEMAGICK_CONVERT:-/usr/bin/convert}

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

echoes_sent() {
  awk '/^Icmp:/ { if (!column) { for (i = 1; i <= NF; i++) if ($i == "OutEchos") column = i }
                  else print $column }' /proc/self/net/snmp
}

x_track() {
  x_tracked+=("$@")
}

x_at_exit() {
  x_exit_hooks+=("$1")
}

# A program that has ended but is not yet reaped counts as gone: one started through a launcher
# (gio launch, wine start) is reparented to init, and some inits reap late or never.
x_gone() {
  local pid stat
  for pid in "$@"; do
    stat=$(cat "/proc/$pid/stat" 2>/dev/null) || continue
    stat=${stat##*) }
    [[ ${stat%% *} == [ZX] ]] || return 1
  done
}

# SIGTERM, then SIGKILL to whatever still runs after 5 s, so that no clean-up hangs on a stuck
# program; reaps those that are children of this shell.
x_stop() {
  (($# > 0)) || return 0
  kill "$@" 2>/dev/null || true
  wait_for 5 x_gone "$@" || kill -KILL "$@" 2>/dev/null || true
  local pid kept=() stopped=" $* "
  for pid in "$@"; do
    wait "$pid" 2>/dev/null || true
  done
  for pid in "${x_tracked[@]}"; do
    [[ $stopped == *" $pid "* ]] || kept+=("$pid")
  done
  x_tracked=("${kept[@]}")
}

x_cleanup() {
  local i reversed=()
  for ((i = ${#x_tracked[@]} - 1; i >= 0; i--)); do
    reversed+=("${x_tracked[i]}")
  done
  x_stop "${reversed[@]}"
  for ((i = ${#x_exit_hooks[@]} - 1; i >= 0; i--)); do
    "${x_exit_hooks[i]}" || true
  done
  rm -rf "$x_work"
}
trap x_cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# openbox names itself on the root window before it handles map requests, and a window mapped
# in between is never shown; it publishes its (empty) client list only once it handles them.
x_window_manager_ready() {
  xprop -root _NET_CLIENT_LIST 2>/dev/null | grep -q '(WINDOW)'
}

# One try: Xvfb, then openbox once it runs. Sets x_session_pids.
x_session_try() {
  : >"$x_work/display"
  Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp 3>"$x_work/display" >"$x_work/xvfb.log" 2>&1 &
  x_session_pids=($!)
  x_track $!
  if ! wait_for 20 grep -qs '^[0-9]' "$x_work/display"; then
    echo "Xvfb did not start: $(cat "$x_work/xvfb.log")" >&2
    return 1
  fi
  DISPLAY=":$(head -n1 "$x_work/display")"
  export DISPLAY
  unset WAYLAND_DISPLAY
  # Its own home, so that no settings of the user's own window manager apply.
  mkdir -p "$x_work/openbox"
  local config=()
  if [ -n "${x_openbox_config:-}" ]; then
    config=(--config-file "$x_openbox_config")
  fi
  HOME="$x_work/openbox" XDG_CONFIG_HOME="$x_work/openbox/.config" openbox --sm-disable \
    "${config[@]}" >"$x_work/openbox.log" 2>&1 &
  x_session_pids+=($!)
  x_track $!
  wait_for 20 x_window_manager_ready_or_gone "$!" || true
  if ! x_window_manager_ready; then
    echo "openbox did not start on $DISPLAY: $(cat "$x_work/openbox.log")" \
      "Xvfb's output: $(cat "$x_work/xvfb.log")" >&2
    return 1
  fi
}

x_window_manager_ready_or_gone() {
  x_window_manager_ready || x_gone "$1"
}

# A session that does not come up is started again, at most three times: on a busy machine
# openbox has been seen failing to open the display that Xvfb had just announced.
x_session_start() {
  local tool
  for tool in Xvfb openbox xprop; do
    if ! command -v "$tool" >/dev/null; then
      echo "$tool is missing" >&2
      return 1
    fi
  done
  local _
  for _ in 1 2 3; do
    if x_session_try "${1:-1024x768x24}"; then
      return 0
    fi
    x_stop "${x_session_pids[@]}"
  done
  return 1
}

x_find_window() {
  local search=(xdotool search)
  if [ "$1" = --visible ]; then
    search+=(--onlyvisible)
    shift
  fi
  # xdotool matches a regular expression: every character of the title is matched literally.
  local pattern
  pattern=$(printf '%s' "$1" | sed 's/[][\.*^$+?(){}|/]/\\&/g')
  "${search[@]}" --name "^$pattern\$" 2>/dev/null | head -n1 | grep .
}

x_wait_window() {
  local visible=()
  if [ "$1" = --visible ]; then
    visible=(--visible)
    shift
  fi
  local seconds=$1 title=$2
  if ! wait_for "$seconds" x_find_window "${visible[@]}" "$title" >/dev/null; then
    echo "no ${visible:+visible }window titled \"$title\" within $seconds s" >&2
    return 1
  fi
  x_find_window "${visible[@]}" "$title"
}

x_geometry() {
  xwininfo -id "$1" | awk '
    /Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
    /Width:/ {w = $NF} /Height:/ {h = $NF} END {print x, y, w, h}'
}

x_shot() {
  local frame=()
  if [ "$1" = --frame ]; then
    frame=(-frame)
    shift
  fi
  import -window "$1" "${frame[@]}" "$2"
}

x_pixels() {
  local window=$1 format="" point
  shift
  for point in "$@"; do
    format+="%[hex:p{${point%,*},${point#*,}}] "
  done
  import -window "$window" png:- | "$x_convert" png:- -format "${format% }" info:
}

x_viewable() {
  xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'
}

x_has_wm_state() {
  xprop -id "$1" _NET_WM_STATE 2>/dev/null | grep -qw "$2"
}

x_close() {
  xdotool windowactivate --sync "$1" key --clearmodifiers alt+F4
}
