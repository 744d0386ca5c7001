#!/usr/bin/env bash
# The Windows monitor as a user runs it: the real monitor.exe of the Windows build under Wine, on
# its own Xvfb display with openbox, in a fresh throwaway Wine prefix whose registry holds the
# settings of an earlier run. Checks the lamps on screen, always-on-top from the first map, ">>",
# unticking "Window always on top.", and closing through the window manager with an edit, which
# must reach the registry exactly, while a "tray" kept by hand as a REG_DWORD neither stops the
# start nor is rewritten; then a stored "ontop" of 3, which must show a message box and
# never the window, end with a non-zero status and leave the registry as it was. Saves
# screenshots of the collapsed and the expanded window and of the message box.
#
# usage: monitor_wine_e2e.sh MONITOR_EXE FIRST_MAP_STATE WINE_RUN SCREENSHOT_DIR
# Exits 0 on success, 1 on a failed check, 77 (skip) when monitor.exe is not built, Wine is
# missing or the user is not root (Wine sends echo requests for root only); with
# ORLO_REQUIRE_NETNS=1, as CI sets it, those are failures too.
set -euo pipefail

# Absolute, since the Wine programs run from the work folder.
monitor=$(realpath -m "$1")
first_map_state=$(realpath -m "$2")
wine_run=$(realpath -m "$3")
screenshots=$(realpath -m "$4")

unavailable() {
  if [ "${ORLO_REQUIRE_NETNS:-}" = 1 ]; then
    echo "FAIL: $* (ORLO_REQUIRE_NETNS=1 asks for this test to run)" >&2
    exit 1
  fi
  echo "SKIP: $*"
  exit 77
}
[ -f "$monitor" ] || unavailable "$monitor is missing: build the windows preset first (scripts/test does)"
command -v wine >/dev/null || unavailable "Wine is missing (scripts/install-deps installs it)"
[ "$(id -u)" -eq 0 ] || unavailable "Wine sends ICMP echo requests only for root here"

# A network namespace of its own, as the Linux end-to-end test has: the prefix made in it sends
# its echo requests there, and every X client reaches this test's Xvfb through its abstract socket.
if [ -z "${ORLO_E2E_OWN_NETNS:-}" ]; then
  export ORLO_E2E_OWN_NETNS=1
  exec unshare --net bash -c 'ip link set lo up && exec bash "$@"' bash "$0" "$@"
fi

key='HKEY_CURRENT_USER\Software\VB and VBA Program Settings\Orlo\Monitor'
# shellcheck source=SCRIPTDIR/../support/x-session.sh
source "$(dirname "$0")/../support/x-session.sh"
# shellcheck source=SCRIPTDIR/monitor_window_session.sh
source "$(dirname "$0")/monitor_window_session.sh"

monitor_need_tools iconv

step "start Xvfb on a free display, and openbox"
x_session_start || fail "no X session"
echo "display $DISPLAY"

step "a fresh Wine prefix that shows its windows on this display"
export ORLO_WINEPREFIX="$work/wine-prefix" ORLO_WINE_DISPLAY=1
remove_prefix() { "$wine_run" --remove; }
x_at_exit remove_prefix
"$wine_run" --fresh || fail "no Wine prefix"
# Wine's programs take Windows paths; run from the work folder, they find its files by name.
in_prefix() { (cd "$work" && "$wine_run" "$@" </dev/null); }
# The settings as UTF-8 lines, from the registry's own UTF-16 export.
export_settings() {
  in_prefix reg export "$key" "$1" /y >/dev/null || fail "reg export failed"
  iconv -f UTF-16LE -t UTF-8 "$work/$1" | sed '1s/^\xEF\xBB\xBF//' | tr -d '\r'
}

# The DPI the window lays out at: the prefix's, which Wine keeps as a REG_DWORD in hexadecimal,
# 96 where it has none.
dpi=$( (in_prefix reg query 'HKCU\Control Panel\Desktop' /v LogPixels 2>/dev/null || true) |
  awk '/LogPixels/ { print $3 }')
monitor_dpi=$((${dpi:-96}))
echo "DPI $monitor_dpi"

step "settings of an earlier run, non-ASCII text among them, and a \"tray\" of another type"
host4='10.0.0.4 "Köln → Büro"'
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n' "$key"
  printf '"%s"="%s"\r\n' ip0 127.0.0.1 ipen0 1 ip1 abc ipen1 1 ip2 127.0.0.2 ipen2 0
  printf '"ip4"="%s"\r\n' "${host4//\"/\\\"}"
  printf '"tray"=dword:00000001\r\n'
} | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe' && cat; } >"$work/earlier.reg"
in_prefix reg import earlier.reg >/dev/null || fail "reg import failed"

start_monitor() {
  (cd "$work" && exec "$wine_run" "$monitor" </dev/null >"$work/monitor.log" 2>&1) &
  monitor_pid=$!
}
screenshot_prefix='monitor-wine'
monitor_session start_monitor

saved=$(export_settings saved.reg)
expected_lines=("\"ip4\"=\"${host4//\"/\\\"}\"" '"tray"=dword:00000001')
for ((i = 0; i < ${#monitor_saved_values[@]}; i += 2)); do
  expected_lines+=("\"${monitor_saved_values[i]}\"=\"${monitor_saved_values[i + 1]}\"")
done
for line in "${expected_lines[@]}"; do
  grep -qxF "$line" <<<"$saved" || fail "the registry lacks $line: $saved"
done
echo "saved settings:"
echo "$saved"

step "a stored \"ontop\" of 3: a message box and never the window, status 1, nothing written"
in_prefix reg add "$key" /v ontop /d 3 /f >/dev/null || fail "reg add failed"
before=$(export_settings before.reg)
start_monitor
failing_pid=$monitor_pid
x_track "$failing_pid"
# The box has the program's name for its title, as the window has; the window is never shown.
window_seen=0
main_window_shown() {
  local candidate
  for candidate in $(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null); do
    if [ "$(x_geometry "$candidate" | cut -d' ' -f3-)" = "$(px 2805) $(px 825)" ]; then
      window_seen=1
    fi
  done
  ((window_seen))
}
box=$(x_wait_window --visible 60 "$title") || fail "no message box: $(cat "$work/monitor.log")"
! main_window_shown || fail "the window was shown"
x_shot --frame "$box" "$screenshots/monitor-wine-failure.png"
xdotool windowactivate --sync "$box" key Return
gone_unseen() { main_window_shown || x_gone "$failing_pid"; }
wait_for 20 gone_unseen || fail "the monitor did not end when its message box was dismissed"
((!window_seen)) || fail "the window was shown after the message box"
failing_status=0
wait "$failing_pid" || failing_status=$?
[ "$failing_status" -eq 1 ] || fail "the monitor ended with status $failing_status, not 1"
[ "$(export_settings after.reg)" = "$before" ] || fail "the failed start wrote to the registry"

echo "screenshots in $screenshots"
echo "PASS"
