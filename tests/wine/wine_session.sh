#!/bin/sh
# Starts or ends the Wine session the Windows tests run in (WINEPREFIX names the prefix).
#
# usage: wine_session.sh start|stop WINE64 WINESERVER
#
# A Wine program that finds Wine's own services not running starts them, and they inherit its
# output: ctest would then wait for them as part of that test. Started here, before the tests,
# they write nowhere and serve every test; the server stays until "stop" (at most ten minutes
# after the last program, should "stop" never come).
set -eu
action=$1
wine64=$2
wineserver=$3
exec </dev/null >/dev/null 2>&1
case $action in
  start)
    # A server left from the build (test discovery) or an earlier run goes first.
    "$wineserver" -k || true
    "$wineserver" -w
    "$wineserver" -p600
    "$wine64" wineboot
    ;;
  stop)
    "$wineserver" -k || true
    "$wineserver" -w
    ;;
  *)
    exit 2
    ;;
esac
