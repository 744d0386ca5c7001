#!/bin/sh
# Runs a Windows program under Wine in the 32-bit prefix $ORLO_WINEPREFIX: a throwaway folder,
# never the user's own ~/.wine. CTest runs the Windows build's tests through it.
#
#   wine-run.sh PROGRAM [ARGUMENT...]   runs the program, creating the prefix first when it does
#                                       not exist; passes the program's exit status on
#   wine-run.sh --fresh                 removes the prefix and creates it anew
#   wine-run.sh --remove                ends the prefix's Wine processes and removes it
#
# The first Wine program of a prefix starts its helper processes (services, devices, the ICMP
# echo service among them), and they keep the standard output and error they inherited. A test
# that started them would keep CTest waiting for the end of its output for as long as they live,
# so they are started here with none of ours, and the program joins them. They inherit open
# descriptors too: every Wine command gets the start-up lock closed (9>&-), or the helpers would
# hold it for as long as they live and the next start would wait for it forever.
#
# The helpers run in the network namespace the prefix was started in, and the program's ICMP
# requests go out from there: to probe inside a namespace, start a fresh prefix inside it.
#
# The programs run without a display: a prefix made here puts their windows on Wine's null display
# driver, where windows are made, sized and painted as on a desktop that nobody sees. With
# ORLO_WINE_DISPLAY=1 they use the X display in $DISPLAY instead, and so does a prefix made then.
set -eu

fail() {
  echo "wine-run.sh: $*" >&2
  exit 2
}

case "${ORLO_WINEPREFIX:-}" in
  /*) ;;
  "") fail "set ORLO_WINEPREFIX to the folder of a throwaway Wine prefix" ;;
  *) fail "ORLO_WINEPREFIX must be an absolute path, not $ORLO_WINEPREFIX" ;;
esac
export WINEPREFIX="$ORLO_WINEPREFIX"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
# No offer to install Mono or Gecko.
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ "${ORLO_WINE_DISPLAY:-}" = 1 ]; then
  [ -n "${DISPLAY:-}" ] || fail "ORLO_WINE_DISPLAY=1, but DISPLAY is not set"
else
  unset DISPLAY
fi

# Written into every prefix this script creates: it removes no folder without it.
marker="$WINEPREFIX/.orlo-throwaway-prefix"
# How long the Wine server stays after its last program: the next test joins it and its helpers.
linger_seconds=30

remove_prefix() {
  [ -e "$WINEPREFIX" ] || return 0
  [ -f "$marker" ] || fail "$WINEPREFIX is not a prefix this script created; not removing it"
  # Once the server has ended, nothing writes into the prefix any more.
  wineserver -k >/dev/null 2>&1 9>&- || true
  timeout 60 wineserver -w >/dev/null 2>&1 9>&- || true
  rm -rf "$WINEPREFIX"
}

# Creates the prefix when it is not complete, and starts its server and helpers when they are not
# running. Output goes nowhere, so that no Wine process holds the caller's.
start_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    if [ -e "$WINEPREFIX" ] && [ ! -f "$marker" ] && [ -n "$(ls -A "$WINEPREFIX")" ]; then
      fail "$WINEPREFIX exists and is not a prefix this script created"
    fi
    mkdir -p "$WINEPREFIX"
    : >"$marker"
    timeout 300 wineboot -i </dev/null >/dev/null 2>&1 9>&- ||
      fail "could not create a Wine prefix in $WINEPREFIX"
    if [ -z "${DISPLAY:-}" ]; then
      timeout 120 wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f \
        </dev/null >/dev/null 2>&1 9>&- || fail "could not choose the null display driver"
    fi
    timeout 120 wineserver -w 9>&-
  fi
  # Starting the server fails when it is already running, with its helpers.
  if wineserver -p"$linger_seconds" </dev/null >/dev/null 2>&1 9>&-; then
    timeout 120 wineboot </dev/null >/dev/null 2>&1 9>&- ||
      fail "could not start the Wine prefix in $WINEPREFIX"
  fi
}

mkdir -p "$(dirname "$WINEPREFIX")"
lock="$WINEPREFIX.lock"
case "${1:-}" in
  "") fail "usage: wine-run.sh PROGRAM [ARGUMENT...] | --fresh | --remove" ;;
  --fresh)
    (
      flock -w 300 9 || fail "the prefix $WINEPREFIX stays locked"
      remove_prefix
      start_prefix
    ) 9>"$lock"
    ;;
  --remove)
    (
      flock -w 300 9 || fail "the prefix $WINEPREFIX stays locked"
      remove_prefix
    ) 9>"$lock"
    rm -f "$lock"
    ;;
  *)
    (
      flock -w 300 9 || fail "the prefix $WINEPREFIX stays locked"
      start_prefix
    ) 9>"$lock"
    exec wine "$@"
    ;;
esac
