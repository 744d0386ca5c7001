#!/usr/bin/env bash
# The memory of the monitor watching over many sweeps: the anonymous memory (Anonymous in
# /proc/PID/smaps_rollup) that the real orlo-monitor gains over SWEEPS sweeps, a sweep a second
# (refresh=-1), with the status icon and the notifications on, against the same program with both
# off in the same run. desktop_services stands in for the desktop's notification area and
# notification service on a private D-Bus session bus, and reads the icon and its menu again after
# each of their signals, as a panel does. As root, in a network namespace of its own, the one host
# watched (127.0.0.1) stops answering and answers again every second sweep; otherwise it always
# answers, and the figure is that of sweeps that change nothing. The memory is read after 50
# sweeps to settle, half way and at the end, so that growth that goes on shows apart from a level
# that is reached once.
#
# usage: status_memory.sh ORLO_MONITOR DESKTOP_SERVICES SWEEPS
# Runs on an Xvfb display of its own, with openbox; prints one line a subject:
#   <subject>: <kB> kB more over the first <n/2> sweeps, <kB> kB over the next <n/2>
# and exits non-zero only when it could not measure.
set -euo pipefail

monitor=$1
services=$2
sweeps=$3
if [ "$(id -u)" -eq 0 ] && [ -z "${ORLO_MEMORY_OWN_NETNS:-}" ]; then
  export ORLO_MEMORY_OWN_NETNS=1
  exec unshare --net bash -c 'ip link set lo up && exec bash "$@"' bash "$0" "$@"
fi
flapping=${ORLO_MEMORY_OWN_NETNS:-0}

# shellcheck source=SCRIPTDIR/../tests/support/x-session.sh
source "$(dirname "$0")/../tests/support/x-session.sh"
work=$x_work
fail() {
  echo "status_memory: $*" >&2
  exit 1
}
x_session_start || fail "no X session"

export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/bus"
dbus-daemon --session --address="$DBUS_SESSION_BUS_ADDRESS" --nofork --nopidfile \
  >"$work/bus.log" 2>&1 &
x_track $!
wait_for 10 test -S "$work/bus" || fail "no D-Bus session bus: $(cat "$work/bus.log")"
"$services" >"$work/services.log" 2>&1 &
x_track $!
wait_for 10 grep -qsx ready "$work/services.log" || fail "the desktop services did not start"

anonymous_kb() { awk '/^Anonymous:/ {print $2}' "/proc/$1/smaps_rollup"; }
sweeps_done() { (($(echoes_sent) >= $1)); }

# Runs the monitor with both options set to $2; prints its line.
measure() {
  local subject=$1 option=$2 config=$work/$1
  mkdir -p "$config/Orlo"
  printf '[Monitor]\nip0=127.0.0.1\nipen0=1\nrefresh=-1\nontop=0\ntray=%s\nnotify=%s\n' \
    "$option" "$option" >"$config/Orlo/Orlo.conf"
  XDG_CONFIG_HOME=$config "$monitor" >"$work/$subject.log" 2>&1 &
  local pid=$!
  x_track "$pid"
  # Settled: the sweeps at start-up, the icon registered and read, the allocator's arenas grown
  # to what a flapping host's sweeps need.
  local start
  start=$(echoes_sent)
  wait_for 90 sweeps_done $((start + 50)) || fail "$subject did not sweep: $(cat "$work/$subject.log")"
  local readings=("$(anonymous_kb "$pid")")
  start=$(echoes_sent)
  local done=0
  while ((done < sweeps)); do
    if ((flapping)); then
      sysctl -q -w net.ipv4.icmp_echo_ignore_all=$(((done / 2) % 2))
    fi
    wait_for 10 sweeps_done $((start + done + 1)) || fail "$subject stopped sweeping"
    done=$((done + 1))
    if ((done == sweeps / 2 || done == sweeps)); then
      readings+=("$(anonymous_kb "$pid")")
    fi
  done
  sysctl -q -w net.ipv4.icmp_echo_ignore_all=0 2>/dev/null || true
  x_stop "$pid"
  echo "$subject: $((readings[1] - readings[0])) kB more over the first $((sweeps / 2)) sweeps," \
    "$((readings[2] - readings[1])) kB over the next $((sweeps - sweeps / 2))"
}

((flapping)) && echo "the host stops and starts answering every second sweep" ||
  echo "the host answers every sweep (flapping needs root)"
measure watching 1
measure plain 0
