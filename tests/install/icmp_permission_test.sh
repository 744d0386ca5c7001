#!/usr/bin/env bash
# Installs the monitor and a probe check into a scratch prefix the way a user would
# (cmake --install, as root, which grants cap_net_raw), then probes 127.0.0.1 as the
# unprivileged user nobody inside a network namespace of its own where unprivileged ICMP
# sockets are off (net.ipv4.ping_group_range = 1 0):
#   - with the capability the probe gets a reply (status 0, green);
#   - without it the probe cannot open a socket (status -1, red) and the lamp names the fix.
# Needs root, setcap, setpriv and ip; skips (77) elsewhere unless ORLO_REQUIRE_NETNS=1.
# Usage: icmp_permission_test.sh BUILD_DIR
set -euo pipefail

build_dir="$1"
skip() {
  if [ "${ORLO_REQUIRE_NETNS:-}" = 1 ]; then
    echo "FAIL: $1 (ORLO_REQUIRE_NETNS=1 demands this test)" >&2
    exit 1
  fi
  echo "SKIP: $1; run the tests as root to include it" >&2
  exit 77
}
[ "$(id -u)" -eq 0 ] || skip "installing with a capability needs root"
for tool in setcap getcap setpriv ip; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done

prefix=$(mktemp -d /tmp/orlo-install.XXXXXX)
namespace="orlo-$$-$(printf '%04x' $((RANDOM)))-perm"
cleanup() {
  ip netns del "$namespace" 2>/dev/null || true
  rm -rf "$prefix"
}
trap cleanup EXIT
chmod 755 "$prefix"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

cmake --install "$build_dir" --prefix "$prefix" --component monitor
cmake --install "$build_dir" --prefix "$prefix" --component permission_check
for program in orlo-monitor orlo-probe-permission-check; do
  getcap "$prefix/bin/$program" | grep -q 'cap_net_raw=ep' ||
    fail "cmake --install as root did not grant cap_net_raw to $program"
done

ip netns add "$namespace"
ip -n "$namespace" link set lo up
ip netns exec "$namespace" sysctl -q -w net.ipv4.ping_group_range="1 0"

check="$prefix/bin/orlo-probe-permission-check"
probe_as_nobody() {
  # A process with file capabilities cannot be traced, which LeakSanitizer needs.
  ASAN_OPTIONS=detect_leaks=0 timeout 20 ip netns exec "$namespace" \
    setpriv --reuid=nobody --regid=nogroup --clear-groups "$check" 127.0.0.1
}

with_capability=$(probe_as_nobody)
echo "with cap_net_raw: $with_capability"
grep -qx 'status 0' <<<"$with_capability" || fail "no reply with the capability"
grep -qx 'lamp green' <<<"$with_capability" || fail "lamp not green with the capability"

setcap -r "$check"
without_capability=$(probe_as_nobody)
echo "without cap_net_raw: $without_capability"
grep -qx 'status -1' <<<"$without_capability" || fail "status is not -1 without the capability"
grep -qx 'lamp red' <<<"$without_capability" || fail "lamp not red without the capability"
grep -q 'ping_group_range' <<<"$without_capability" || fail "the lamp does not name the sysctl"
grep -qF "setcap cap_net_raw+ep $check" <<<"$without_capability" ||
  fail "the lamp does not name the capability for this program"
echo "PASS"
