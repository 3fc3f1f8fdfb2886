#!/usr/bin/env bash
# Fixture: the private Wine prefix of this build folder, created once.
#   prefix.sh setup | cleanup     (WINEPREFIX and WINESERVER from the test)
set -euo pipefail
: "${WINEPREFIX:?}" "${WINESERVER:?}"
stamp="$WINEPREFIX/.lumarin-ready"
case "$1" in
setup)
  if [ ! -f "$stamp" ]; then
    rm -rf "$WINEPREFIX"
    /usr/lib/wine/wine64 wineboot -i
    # Wine has no Courier New; the metric-compatible face stands in for it.
    /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Fonts\Replacements' \
      /v 'Courier New' /t REG_SZ /d 'Liberation Mono' /f >/dev/null
    # The registry reaches the disk only once the server has exited.
    "$WINESERVER" -w
    touch "$stamp"
  fi
  # One server and one set of Wine's background services for all the
  # tests, started here with none of the test's descriptors: services
  # started by a test would hold its output open, and ctest would wait for
  # them to go (seconds after every test). The server ends by itself two
  # minutes after the last Wine program, should the cleanup never run.
  (
    for fd in /proc/self/fd/*; do
      n=${fd##*/}
      [ "$n" -gt 2 ] && eval "exec $n>&-" 2>/dev/null
    done
    exec </dev/null >/dev/null 2>&1
    "$WINESERVER" -p120
    /usr/lib/wine/wine64 wineboot
  )
  echo "prefix ready: $WINEPREFIX"
  ;;
cleanup)
  "$WINESERVER" -k || true
  ;;
*)
  echo "usage: prefix.sh setup|cleanup" >&2
  exit 2
  ;;
esac
